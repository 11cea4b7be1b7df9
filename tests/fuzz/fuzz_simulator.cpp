// The simulator's request handling. The input is one frame as the line
// delivers it (its CRC is added here), after a first byte that picks the
// faults to simulate. The simulator answers with a well-formed reply to the
// requester, or stays silent; an exception or silence changes no register.

#include "fuzz_check.h"
#include "model.h"
#include "simulator.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kAddress = 192;

// The requester's end of a pseudo terminal; the simulator opens the other.
struct Line {
    int master = -1;
    std::string slave;
    Line()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            std::abort();
        slave = ptsname(master);
    }
};

Line &line()
{
    static Line l;
    return l;
}

bool readByte(int fd, int timeoutMs, uint8_t *byte)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0 && ::read(fd, byte, 1) == 1;
}

// One reply frame, read as far as its own length field says.
std::vector<uint8_t> readReply(int fd, int firstByteTimeoutMs)
{
    std::vector<uint8_t> reply;
    uint8_t b = 0;
    if (!readByte(fd, firstByteTimeoutMs, &b))
        return reply;
    reply.push_back(b);
    size_t expected = 5;
    while (reply.size() < expected && readByte(fd, 1000, &b)) {
        reply.push_back(b);
        if (reply.size() == 3) {
            const int function = reply[1];
            expected = function & 0x80 ? 5 : function == 3 || function == 4 ? 5u + reply[2] : 8;
        }
    }
    return reply;
}

bool crcOk(const std::vector<uint8_t> &f)
{
    const uint16_t crc = sim::model::crc16(f.data(), int(f.size()) - 2);
    return f[f.size() - 2] == (crc & 0xFF) && f[f.size() - 1] == (crc >> 8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t faults = data[0];
    std::vector<uint8_t> frame(data + 1, data + size);
    frame[0] = faults & 0x10 ? 0 : kAddress;   // the line passes on only these two
    const uint16_t crc = sim::model::crc16(frame.data(), int(frame.size()));
    frame.push_back(uint8_t(crc & 0xFF));
    frame.push_back(uint8_t(crc >> 8));

    sim::Simulator s;
    sim::Config c;
    c.port = line().slave;
    c.address = kAddress;
    c.latencyMs = 0;
    if (!s.open(c))
        std::abort();
    const bool corrupt = faults & 0x01;
    s.setCorruptCrc(corrupt);
    if (faults & 0x02)
        s.setShortRead(1 + faults % 7);
    s.setSilent(faults & 0x04);
    if (faults & 0x08)
        s.setException(faults & 0x20 ? -1 : frame[1], faults & 0x40 ? -1 : 5, 2);
    if (faults & 0x80)
        s.ignoreWrites(5);

    const std::vector<uint16_t> before = s.holdingImage();
    s.handleFrame(frame.data(), int(frame.size()));
    const std::vector<uint16_t> after = s.holdingImage();

    const std::vector<sim::Request> log = s.requests();
    FUZZ_REQUIRE(log.size() == 1 && log.back().function == frame[1]);
    const sim::Request &r = log.back();
    if (faults & 0x04)
        FUZZ_REQUIRE(!r.answered && r.exception == 0);
    // A whole request of a fixed-length function is never dropped.
    if (frame.size() == 8 && (frame[1] == 3 || frame[1] == 4 || frame[1] == 6) && !(faults & 0x04))
        FUZZ_REQUIRE(r.answered || r.exception != 0);
    const bool expectReply = frame[0] != 0 && (r.answered || r.exception != 0);
    const std::vector<uint8_t> reply = readReply(line().master, expectReply ? 1000 : 2);
    if (!r.answered)
        FUZZ_REQUIRE(before == after);
    if (!expectReply) {
        FUZZ_REQUIRE(reply.empty());
        return 0;
    }
    FUZZ_REQUIRE(reply.size() >= 5 && reply[0] == kAddress);
    FUZZ_REQUIRE(corrupt && r.answered ? !crcOk(reply) : crcOk(reply));
    if (!r.answered) {
        FUZZ_REQUIRE(reply.size() == 5 && reply[1] == (frame[1] | 0x80) && reply[2] == r.exception);
        return 0;
    }
    FUZZ_REQUIRE(reply[1] == frame[1]);
    if (frame[1] == 3 || frame[1] == 4)
        FUZZ_REQUIRE(reply[2] == 2 * r.count || (faults & 0x02 && reply[2] < 2 * r.count));
    else
        FUZZ_REQUIRE(reply.size() == 8 && reply[2] == frame[2] && reply[3] == frame[3]);
    return 0;
}
