#include "scpi_switch.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace sim {

namespace {

std::string stripped(const std::string &s)
{
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c)))
            out.push_back(c);
    return out;
}

std::optional<int> channelNumber(const std::string &s)
{
    if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::atoi(s.c_str());
}

// A range longer than any card is a typing error, not a request.
constexpr int kLongestRange = 1000;

} // namespace

ScpiSwitch::ScpiSwitch(std::set<int> channels, Listener onChange)
    : m_channels(std::move(channels)), m_onChange(std::move(onChange))
{
}

std::optional<std::vector<int>> ScpiSwitch::parseChannelList(const std::string &text)
{
    const std::string s = stripped(text);
    if (s.size() < 4 || s.compare(0, 2, "(@") != 0 || s.back() != ')')
        return std::nullopt;
    std::vector<int> out;
    std::stringstream items(s.substr(2, s.size() - 3));
    std::string item;
    while (std::getline(items, item, ',')) {
        const auto colon = item.find(':');
        const auto first = channelNumber(item.substr(0, colon));
        const auto last = colon == std::string::npos ? first : channelNumber(item.substr(colon + 1));
        if (!first || !last || *last < *first || *last - *first > kLongestRange)
            return std::nullopt;
        for (int c = *first; c <= *last; ++c)
            out.push_back(c);
    }
    if (out.empty() || s[s.size() - 2] == ',')
        return std::nullopt;
    return out;
}

std::string ScpiSwitch::identity() const
{
    return "TCAL,SIM-SW-1,SW-0001,1.0";
}

void ScpiSwitch::resetLocked()
{
    m_closed.clear();
    if (m_onChange)
        m_onChange(m_closed);
}

std::optional<std::vector<int>> ScpiSwitch::channelsLocked(const std::string &parameter, bool hasParameter)
{
    if (!hasParameter) {
        pushErrorLocked(-109);
        return std::nullopt;
    }
    const auto list = parseChannelList(parameter);
    if (!list) {
        pushErrorLocked(-104);
        return std::nullopt;
    }
    for (int c : *list)
        if (!m_channels.count(c)) {
            pushErrorLocked(-222);
            return std::nullopt;
        }
    return list;
}

std::optional<std::string> ScpiSwitch::execute(const std::string &header, const std::string &parameter,
                                               bool hasParameter)
{
    if (header == "ROUT:OPEN:ALL") {
        if (hasParameter) {
            pushErrorLocked(-108);
            return std::nullopt;
        }
        resetLocked();
        return std::nullopt;
    }
    if (header != "ROUT:CLOS" && header != "ROUT:OPEN" && header != "ROUT:CLOS?") {
        pushErrorLocked(-113);
        return std::nullopt;
    }
    const auto list = channelsLocked(parameter, hasParameter);
    if (!list)
        return std::nullopt;
    if (header == "ROUT:CLOS?") {
        std::string answer;
        for (int c : *list)
            answer += std::string(answer.empty() ? "" : ",") + (m_closed.count(c) ? "1" : "0");
        return answer;
    }
    for (int c : *list)
        header == "ROUT:CLOS" ? (void)m_closed.insert(c) : (void)m_closed.erase(c);
    if (m_onChange)
        m_onChange(m_closed);
    return std::nullopt;
}

std::set<int> ScpiSwitch::closed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

std::string ScpiSwitch::describe() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string text;
    for (int c : m_closed)
        text += (text.empty() ? "" : ",") + std::to_string(c);
    return "closed " + (text.empty() ? std::string("none") : "(@" + text + ")");
}

} // namespace sim
