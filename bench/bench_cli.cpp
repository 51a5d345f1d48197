// k417ctl against the simulated box: "position --interval 0" as a share of
// the bare transaction rate over the same port, and what "info" costs beyond
// the probe's settle wait and a bare replay of its own transactions.

#include "BenchClock.h"
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
using Clock = BenchClock;

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

// The times between the last count "4" commands the box received, in us,
// appended to periods; their mean, or -1 when fewer came.
double AddPeriods(const Simulator& sim, int count, std::vector<double>& periods)
{
    std::vector<Clock::time_point> times;
    for (const SimLogEntry& e : sim.CommandLog())
        if (e.command == "4")
            times.push_back(e.time);
    if (count < 2 || times.size() < static_cast<size_t>(count))
        return -1;
    const size_t first = times.size() - static_cast<size_t>(count);
    for (size_t i = first + 1; i < times.size(); ++i)
        periods.push_back(std::chrono::duration<double, std::micro>(times[i] - times[i - 1]).count());
    return std::chrono::duration<double, std::micro>(times.back() - times[first]).count() / (count - 1);
}
} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    Simulator sim;
    if (!sim.Start())
        return 1;

    // Bare runs of "4" and runs through k417ctl alternate, fifteen of each.
    // The rates are read from the times at which the box received the words,
    // so k417ctl's connection and identification before them do not count.
    // The rate of a run is its words over its time; the medians of the runs'
    // rates are compared, so that a run in a bad moment of the machine counts
    // for neither side. Beside it, the median time from one word to the next
    // leaves out the words that waited for an idle core to wake: nearly all
    // that is left is the work of each side.
    const std::vector<std::string> positions(static_cast<size_t>(count), "4");
    std::vector<double> bareMeans, cliMeans, barePeriods, cliPeriods;
    for (int round = 0; round < 15; ++round) {
        sim.ClearCommandLog();
        ReplayMs(sim, positions);
        bareMeans.push_back(AddPeriods(sim, count, barePeriods));
        sim.ClearCommandLog();
        if (RunOn(sim, {"position", "--count", std::to_string(count), "--interval", "0"}) != kExitOk)
            return 1;
        cliMeans.push_back(AddPeriods(sim, count, cliPeriods));
        if (bareMeans.back() <= 0 || cliMeans.back() <= 0)
            return 1;
    }
    const double share = Median(bareMeans) / Median(cliMeans);
    std::printf("position: %.2f us a word through k417ctl, %.2f us bare: %.1f %% of the bare rate (target >= 97 %%)\n",
                Median(cliMeans), Median(bareMeans), 100 * share);
    std::printf("  word to word, median: %.2f us through k417ctl, %.2f us bare (%.1f %%)\n", Median(cliPeriods),
                Median(barePeriods), 100 * Median(barePeriods) / Median(cliPeriods));

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
    return share >= 0.97 && extraMs <= 50 ? 0 : 2;
}
