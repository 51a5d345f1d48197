// k417ctl against the simulated box: "position --interval 0" as a share of
// the bare transaction rate over the same port (the fastest of five runs
// each), and what "info" costs beyond
// the probe's settle wait and a bare replay of its own transactions.

#include "cli/Cli.h"
#include "link/SerialPort.h"
#include "monitor/MonitorCycle.h"
#include "sim/Simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

int RunOn(const Simulator& sim, std::vector<std::string> args)
{
    args.insert(args.begin(), {"--port", sim.PortPath()});
    std::ostringstream out, err;
    return RunCli(ParseCliOptions(args), {}, out, err);
}

// The commands sent bare over a port of their own, one after the other.
double ReplayMs(const Simulator& sim, const std::vector<std::string>& commands)
{
    auto port = PosixSerialPort::Open(sim.PortPath());
    if (!port)
        return -1;
    std::string reply;
    const auto start = Clock::now();
    for (const std::string& command : commands)
        SerialTransact(port.get(), command, 0, reply);
    return Ms(Clock::now() - start);
}
} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    Simulator sim;
    if (!sim.Start())
        return 1;

    // Bare runs of "4" and runs through k417ctl alternate, five of each; the
    // fastest of each kind is compared, so that a moment of load on the
    // machine counts for neither side. k417ctl's connection and
    // identification are timed apart (a run of one word) and taken off.
    const std::vector<std::string> positions(static_cast<size_t>(count), "4");
    double bareMs = 1e9, cliMs = 1e9;
    for (int round = 0; round < 5; ++round) {
        bareMs = std::min(bareMs, ReplayMs(sim, positions));
        auto start = Clock::now();
        RunOn(sim, {"position", "--count", "1"});
        const double connectMs = Ms(Clock::now() - start);
        start = Clock::now();
        if (RunOn(sim, {"position", "--count", std::to_string(count), "--interval", "0"}) != kExitOk)
            return 1;
        cliMs = std::min(cliMs, Ms(Clock::now() - start) - connectMs);
    }
    const double share = bareMs / cliMs;
    std::printf("position: %d words in %.1f ms, bare %.1f ms: %.1f %% of the bare rate (target >= 90 %%)\n", count,
                cliMs, bareMs, 100 * share);

    // info: its own transactions replayed bare, plus the probe's settle wait.
    sim.ClearCommandLog();
    auto start = Clock::now();
    if (RunOn(sim, {"info"}) != kExitOk)
        return 1;
    const double infoMs = Ms(Clock::now() - start);
    std::vector<std::string> commands;
    for (const SimLogEntry& e : sim.CommandLog())
        commands.push_back(e.command);
    const double replayMs = ReplayMs(sim, commands);
    const double extraMs = infoMs - MonitorCycle::kProbeSettleMs - replayMs;
    std::printf("info: %.1f ms = %d ms settle + %.1f ms for its %zu transactions + %.1f ms (target <= 50 ms)\n", infoMs,
                MonitorCycle::kProbeSettleMs, replayMs, commands.size(), extraMs);
    sim.Stop();
    return share >= 0.9 && extraMs <= 50 ? 0 : 2;
}
