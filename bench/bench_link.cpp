// Measures what the tool adds to a position transaction: "4" through Link
// (transport, trimming, decoding, CRC) against a bare write/read round trip
// of the same bytes over the same pseudo-terminal and the same peer.

#include "PtyPeer.h"
#include "link/Link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A plain round trip: write the command, read until the CR is in.
bool RawRoundTrip(int fd, std::string& reply)
{
    if (::write(fd, "4", 1) != 1)
        return false;
    reply.clear();
    char buffer[64];
    while (reply.find('\r') == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            return false;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            reply.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int perRound = 200;
    PtyPeer peer;
    peer.SetDefaultReply("123AAF3728000000\r");
    Link link;
    std::string error;
    link.ComHandle = PosixSerialPort::Open(peer.SlavePath(), &error);
    if (!link.ComHandle) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    link.PositionMTLength = 12;
    link.PositionSTLength = 18;
    const int fd = static_cast<PosixSerialPort*>(link.Port())->Fd();

    std::string reply;
    std::vector<double> linkTimes, rawTimes;
    // Alternate the two in rounds so that drift of the machine hits both alike.
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        for (int i = 0; i < perRound; ++i) {
            link.ReadPosition();
            if (link.EncoderPosition.ErrComm != 0 || link.EncoderPosition.ST_value != 175053) {
                std::fprintf(stderr, "position transaction failed (%d)\n", link.EncoderPosition.ErrComm);
                return 1;
            }
        }
        linkTimes.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / perRound);
        start = Clock::now();
        for (int i = 0; i < perRound; ++i) {
            if (!RawRoundTrip(fd, reply)) {
                std::fprintf(stderr, "raw round trip failed\n");
                return 1;
            }
        }
        rawTimes.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / perRound);
    }
    const double linkUs = Median(linkTimes);
    const double rawUs = Median(rawTimes);
    std::printf("position transaction through Link: %.1f us\n", linkUs);
    std::printf("raw write/read round trip:         %.1f us\n", rawUs);
    std::printf("ratio Link / raw:                  %.3f (target at most 1.10)\n", linkUs / rawUs);
    return 0;
}
