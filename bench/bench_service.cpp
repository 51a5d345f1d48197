// What a configuration read, write and save of the "Torvik Config" page costs
// beyond its transactions and waits. The session's service actions read bank 0
// and write the fields back with the save command against the simulated
// encoder; right after, the very same commands go to the box as bare
// transactions over the same port. The waits the actions are given are
// counted (the read and the write have none). The tool's share is the
// difference; target: at most 5 % above the transactions and waits.
//
//   bench_service [rounds]   (default 40)

#include "SessionBench.h"
#include "link/PowerCycle.h"
#include "session/ServiceActions.h"
#include "sim/Simulator.h"
#include "BenchClock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
using Clock = BenchClock;

// The actions must run without asking or telling anything.
class Unattended final : public ServicePrompts {
public:
    void Message(const std::string& text) override
    {
        std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        std::exit(1);
    }
    bool Confirm(const std::string&) override { return true; }
};
} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    SimOptions options;
    options.speed = 0;
    Simulator sim(options);
    const std::unique_ptr<Session> connected = ConnectBenchSession(sim);
    if (!connected)
        return 1;
    Session& session = *connected;

    Unattended prompts;
    double waitedMs = 0;
    auto wait = [&waitedMs](int ms) {
        waitedMs += ms;
        SleepMs(ms);
    };
    ServiceActions actions(session, prompts, ServiceWaits{wait, wait, {}});

    std::vector<double> toolMs, bareMs, waitMs;
    size_t transactions = 0;
    std::string reply;
    for (int round = 0; round < rounds; ++round) {
        sim.ClearCommandLog();
        waitedMs = 0;
        const auto start = Clock::now();
        const ConfigurationReading reading = actions.Read(ConfigPage::Torvik);
        ConfigurationTexts texts;
        texts.offset = reading.offset.value_or("");
        texts.posFilterValue = reading.posFilterValue.value_or("");
        texts.posFilterSpeed = reading.posFilterSpeed.value_or("");
        texts.velocityFilterValue = reading.velocityFilterValue.value_or("");
        texts.velocityFilterSpeed = reading.velocityFilterSpeed.value_or("");
        texts.errorArc = reading.errorArc.value_or("");
        const bool written = actions.Write(ConfigPage::Torvik, texts);
        toolMs.push_back(Ms(Clock::now() - start));
        waitMs.push_back(waitedMs);
        if (!reading.ok || !written) {
            std::fprintf(stderr, "configuration read or write failed\n");
            return 1;
        }

        const std::vector<SimLogEntry> log = sim.CommandLog();
        transactions = log.size();
        const auto bare = Clock::now();
        for (const SimLogEntry& e : log) {
            if (SerialTransact(session.GetLink().Port(), e.command, 0, reply) != kSerialOk) {
                std::fprintf(stderr, "bare transaction %s failed\n", e.command.c_str());
                return 1;
            }
        }
        bareMs.push_back(Ms(Clock::now() - bare));
    }

    const double tool = Median(toolMs), bare = Median(bareMs), waits = Median(waitMs);
    const double ratio = tool / (bare + waits);
    std::printf("configuration read + write + save (%zu transactions): %.3f ms\n", transactions, tool);
    std::printf("the same transactions, bare:                     %.3f ms\n", bare);
    std::printf("waits of the actions:                            %.3f ms\n", waits);
    std::printf("ratio tool / (transactions + waits):             %.3f (target at most 1.05)\n", ratio);
    return ratio <= 1.05 ? 0 : 2;
}
