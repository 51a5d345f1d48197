// Measures what the tool adds to its long memory actions: an error-map load
// (8 selections, 512 register writes and the paced save), and a user-memory
// bulk save and bulk load of 64 banks, each against a bare replay of the
// very commands the action sent, over the same pseudo-terminal to the same
// simulated encoder, plus the pauses the action makes on purpose.
// Exits with 2 when an action takes more than 5 % over that.

#include "BenchClock.h"
#include "RawRoundTrip.h"
#include "encoder/ErrorMap.h"
#include "encoder/UserMemory.h"
#include "link/PowerCycle.h"
#include "sim/Simulator.h"
#include "util/CsvFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Measure {
    const char* name;
    int waitsMs; // the pauses the action makes on purpose, each time
    int repeat;  // times per round: a short action repeated, so one scheduling hiccup weighs less
    std::function<bool(int i)> run;
    std::function<void()> prepare = [] {}; // before each round, not timed
};

struct Result {
    double toolMs = 0;
    double bareMs = 0; // the replayed commands and the waits
    double ownCpuMs = 0; // processor time of the action beyond that of its replay, per action
    size_t commands = 0;
};

// Runs the action and right after it replays its commands raw, each time,
// in rounds, so that drift of the machine hits both alike.
bool Compare(Simulator& sim, int fd, const Measure& m, int rounds, Result& out)
{
    std::vector<double> tool, bare, own;
    std::vector<std::string> commands;
    for (int round = 0; round < rounds; ++round) {
        m.prepare();
        double toolMs = 0, bareMs = 0, cpuMs = 0;
        out.commands = 0;
        for (int i = 0; i < m.repeat; ++i) {
            sim.ClearCommandLog();
            Clock::time_point start = Clock::now();
            double cpu = ThreadCpuMs();
            if (!m.run(i))
                return false;
            toolMs += MsSince(start);
            cpuMs += ThreadCpuMs() - cpu;
            commands.clear();
            for (const SimLogEntry& e : sim.CommandLog())
                commands.push_back(e.command);
            out.commands += commands.size();
            start = Clock::now();
            cpu = ThreadCpuMs();
            std::string reply;
            for (const std::string& c : commands)
                if (!RawRoundTrip(fd, c, reply))
                    return false;
            bareMs += MsSince(start) + m.waitsMs;
            cpuMs -= ThreadCpuMs() - cpu;
        }
        tool.push_back(toolMs);
        bare.push_back(bareMs);
        own.push_back(cpuMs / m.repeat);
    }
    out.toolMs = Median(tool);
    out.bareMs = Median(bare);
    out.ownCpuMs = Median(own);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    SimOptions options;
    options.speed = 0;
    options.userBankFirst = 24;
    options.userBankLast = 87;
    Simulator sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    Link link;
    link.ComHandle = PosixSerialPort::Open(sim.PortPath(), &error);
    if (!link.ComHandle) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const int fd = static_cast<PosixSerialPort*>(link.Port())->Fd();
    const UserBankRange range{24, 87};
    // In memory where the system offers it: a save puts its file on the disk
    // (synced) before it replaces the earlier one, and that takes the disk's
    // time (milliseconds on a journalling disk), not the tool's.
    const std::filesystem::path folder =
        std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
    auto FileName = [&folder](int i) { return (folder / ("k417_bench_memory" + std::to_string(i) + ".csv")).string(); };

    ErrorMapPages map{};
    for (int p = 0; p < 512; ++p)
        map[static_cast<size_t>(p / 64)][static_cast<size_t>(p % 64)] = static_cast<uint8_t>(p * 7);
    const std::vector<Measure> measures = {
        {"error-map load, 8 pages", 1500, 1, [&](int) { return WriteErrorMap(link, map, 8, nullptr, SleepMs).ok; }},
        {"user-memory bulk save, 64 banks", 0, 20,
         [&](int i) {
             const UserMemorySaveOutcome out =
                 SaveUserMemoryFile(link, range, link.EncoderSignature, FileName(i), nullptr);
             return out.ReadOk() && out.fileError.empty();
         },
         // New files each round: emptying an old one costs the file system (up to
         // milliseconds on a journalling disk), not the tool.
         [&] {
             for (int i = 0; i < 20; ++i)
                 std::filesystem::remove(FileName(i));
         }},
        {"user-memory bulk load, 64 banks", 500, 1,
         [&](int) {
             CsvLineReader in;
             return in.Open(FileName(0)) && LoadUserMemoryLines(link, range, in, nullptr, SleepMs).trafficOk;
         }},
    };

    bool missed = false;
    for (const Measure& m : measures) {
        Result r;
        if (!Compare(sim, fd, m, rounds, r)) {
            std::fprintf(stderr, "%s failed\n", m.name);
            return 1;
        }
        const double ratio = r.toolMs / r.bareMs;
        std::printf("%-33s %5zu commands + %5d ms waits: %8.1f ms, bare %8.1f ms, ratio %.3f (target at most 1.05); "
                    "own processor time %.2f ms per action\n",
                    m.name, r.commands, m.waitsMs * m.repeat, r.toolMs, r.bareMs, ratio, r.ownCpuMs);
        missed = missed || ratio > 1.05;
    }
    for (int i = 0; i < 20; ++i)
        std::filesystem::remove(FileName(i));
    return missed ? 2 : 0;
}
