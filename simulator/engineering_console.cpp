#include "engineering_console.h"

#include "simulator.h"

#include <cstdlib>
#include <sstream>

namespace sim {

namespace {

bool toNumber(const std::string &s, double &out)
{
    char *end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return !s.empty() && end && *end == '\0';
}

} // namespace

bool runErrorCommand(Simulator &s, const std::vector<std::string> &words)
{
    if (words.size() == 3 && words[2] == "off") {
        s.setInputError(1.0, 0.0);
        return true;
    }
    engineering::InputError e = s.inputError();
    if (words.size() < 4 || words.size() % 2 != 0)
        return false;
    for (size_t i = 2; i + 1 < words.size(); i += 2) {
        double value = 0;
        if (!toNumber(words[i + 1], value))
            return false;
        if (words[i] == "gain")
            e.gain = value;
        else if (words[i] == "offset")
            e.offset = value;
        else
            return false;
    }
    s.setInputError(e.gain, e.offset);
    return true;
}

bool runCurvesCommand(Simulator &s, const std::vector<std::string> &words)
{
    if (words.size() != 2 || (words[1] != "standard" && words[1] != "linear"))
        return false;
    s.setCurves(words[1] == "standard" ? model::Curves::Standard : model::Curves::Linear);
    return true;
}

std::string describeEngineeringInput(const Simulator &s)
{
    std::ostringstream o;
    o.setf(std::ios::fixed);
    o.precision(3);
    if (const auto c = s.appliedCelsius())
        o << "applied " << *c << " degC\n";
    const auto e = s.inputError();
    o << "input error gain " << e.gain << " offset " << e.offset << "\n"
      << "curves " << (s.curves() == model::Curves::Standard ? "standard" : "linear") << "\n";
    return o.str();
}

} // namespace sim
