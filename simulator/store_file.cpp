// The stored image on disk: one "address value" pair per line, written
// beside and renamed so that a crash never leaves half a file.

#include "simulator.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace sim {

bool Simulator::loadStoreFile(const std::string &path, HoldingImage &image)
{
    std::ifstream in(path);
    if (!in)
        return false;
    HoldingImage h = model::defaultHolding();
    std::string line;
    bool any = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream s(line);
        long addr = -1, value = -1;
        if (!(s >> addr >> value) || addr < 0 || addr >= model::kHoldingCount || value < 0 || value > 0xFFFF)
            continue;
        h[addr] = static_cast<uint16_t>(value);
        any = true;
    }
    if (any)
        image = h;
    return any;
}

bool Simulator::saveStoreFile(const std::string &path, const HoldingImage &image)
{
    // Write beside and rename, so that a crash never leaves half a file.
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out)
            return false;
        out << "# tcal-sim stored holding registers: address value\n";
        for (int i = 0; i < model::kHoldingCount; ++i)
            out << i << ' ' << image[i] << '\n';
        if (!out.flush())
            return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

int Simulator::storedBaud(const std::string &path)
{
    HoldingImage h{};
    if (!loadStoreFile(path, h))
        return 0;
    return h[13];
}

} // namespace sim
