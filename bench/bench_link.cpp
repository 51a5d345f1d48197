// Measures what the tool adds to a position transaction: "4" through Link
// (transport, trimming, decoding, CRC) against a bare write/read round trip
// of the same bytes over the same pseudo-terminal and the same peer.
// Both sides run on one processor core: the peer's reply then follows the
// command directly, and what is measured is the work of the two ways. Spread
// over two cores, each round trip also waits for an idle core to wake, which
// on a virtual machine takes from microseconds to a tenth of a millisecond
// and hides a difference of a few per cent.

#include "BenchClock.h"
#include "PtyPeer.h"
#include "RawRoundTrip.h"
#include "link/Link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sched.h>
#include <vector>

using Clock = BenchClock;

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int perRound = 200;
    // Pinned before the peer's thread starts, which inherits the core.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(std::max(sched_getcpu(), 0), &one);
    const bool pinned = sched_setaffinity(0, sizeof one, &one) == 0;
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
    auto linkOnce = [&] {
        const auto start = Clock::now();
        link.ReadPosition();
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        if (link.EncoderPosition.ErrComm != 0 || link.EncoderPosition.ST_value != 175053) {
            std::fprintf(stderr, "position transaction failed (%d)\n", link.EncoderPosition.ErrComm);
            std::exit(1);
        }
        return us;
    };
    auto rawOnce = [&] {
        const auto start = Clock::now();
        if (!RawRoundTrip(fd, "4", reply)) {
            std::fprintf(stderr, "raw round trip failed\n");
            std::exit(1);
        }
        return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    };
    // The two alternate one by one, in turns of which goes first, so that
    // the machine's drift and the peer's wake-ups hit both alike; each is
    // timed alone and the medians compared, so that a transaction slowed by
    // a stray interruption weighs no more than any other.
    std::vector<double> linkTimes, rawTimes;
    for (int i = 0; i < rounds * perRound; ++i) {
        if (i % 2 == 0) {
            linkTimes.push_back(linkOnce());
            rawTimes.push_back(rawOnce());
        } else {
            rawTimes.push_back(rawOnce());
            linkTimes.push_back(linkOnce());
        }
    }
    const double linkUs = Median(linkTimes);
    const double rawUs = Median(rawTimes);
    std::printf("position transaction through Link: %.1f us\n", linkUs);
    std::printf("raw write/read round trip:         %.1f us\n", rawUs);
    std::printf("ratio Link / raw:                  %.3f (target at most 1.03)%s\n", linkUs / rawUs,
                pinned ? "" : ", not on one core: noisy");
    return 0;
}
