// Launch to the first live position: k417-service is started as a user
// starts it, against the simulated box on a pseudo-terminal (--port), and
// the time from the start of the process to the box's first position
// command ("4") is taken, with the steps on the way: the box's version
// query ("v", the search), the probe of the encoder and the datasheet read.
// The simulator answers at once; the encoder's own settle time before its
// identification (200 ms) is part of the launch.
//
// Then the program searches a box that never answers: the processor time
// of the whole process (from /proc) per probe of the silent port, each
// waiting out the 400 ms reply time.

#include "link/Discovery.h"
#include "monitor/MonitorCycle.h"
#include "sim/Simulator.h"
#include "BenchClock.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {
using Clock = BenchClock;

struct Launch {
    double version = -1, probe = -1, position = -1; // ms from the start of the process
};

// The time of the first logged command that starts with prefix, from start.
double FirstCommand(const Simulator& sim, const std::string& prefix, Clock::time_point start)
{
    for (const SimLogEntry& e : sim.CommandLog())
        if (e.command.rfind(prefix, 0) == 0)
            return Ms(e.time - start);
    return -1;
}

// Starts program on the box's port; 0 when it cannot.
pid_t Spawn(const char* program, const std::string& port)
{
    std::vector<char*> args{const_cast<char*>(program), const_cast<char*>("--port"), const_cast<char*>(port.c_str()),
                            nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, program, nullptr, nullptr, args.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", program);
        return 0;
    }
    return child;
}

// Processor time of all threads of a process, in ms (from the scheduler's
// nanosecond counts, finer than the clock ticks of /proc/PID/stat).
double ProcessCpuMs(pid_t pid)
{
    double ns = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::ifstream stat(task.path() / "schedstat");
        double onCpu = 0;
        if (stat >> onCpu)
            ns += onCpu;
    }
    return ns / 1e6;
}

// The floor beneath a probe on this machine: the same probe of the silent
// box through the link alone, every quarter second as the search does,
// with no window. Processor time of this thread per probe, in ms.
double BareProbeMs(const Simulator& silent, int seconds)
{
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    const double cpu0 = ThreadCpuMs();
    int probes = 0;
    while (Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ProbeForBox({silent.PortPath()}, {});
        ++probes;
    }
    return (ThreadCpuMs() - cpu0) / std::max(probes, 1);
}

size_t Count(const Simulator& sim, const std::string& command)
{
    size_t n = 0;
    for (const SimLogEntry& e : sim.CommandLog())
        n += e.command == command;
    return n;
}

bool LaunchOnce(const char* program, Launch& out)
{
    Simulator sim;
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "cannot start the simulated box: %s\n", error.c_str());
        return false;
    }
    const auto start = Clock::now();
    const pid_t child = Spawn(program, sim.PortPath());
    if (!child)
        return false;
    const bool live = sim.WaitForCommand("4", 10000);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    if (!live) {
        std::fprintf(stderr, "no position command within 10 s\n");
        return false;
    }
    out.version = FirstCommand(sim, "v", start);
    out.probe = FirstCommand(sim, "R02:064", start);
    out.position = FirstCommand(sim, "4", start);
    sim.Stop();
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    const char* program = argc > 2 ? argv[2] : K417_SERVICE_PATH;
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<double> version, probe, position;
    for (int i = 0; i < runs; ++i) {
        Launch launch;
        if (!LaunchOnce(program, launch))
            return 1;
        version.push_back(launch.version);
        probe.push_back(launch.probe);
        position.push_back(launch.position);
        std::printf("run %d: version query %.0f ms, encoder probe %.0f ms, first position %.0f ms\n", i + 1,
                    launch.version, launch.probe, launch.position);
    }
    const double median = Median(position);

    // A box that never answers, searched for 20 s after the first probe.
    Simulator silent;
    SimFaults none;
    none.noReply = true;
    silent.SetFaults(none);
    if (!silent.Start())
        return 1;
    const pid_t child = Spawn(program, silent.PortPath());
    if (!child || !silent.WaitForCommand("v", 10000))
        return 1;
    const size_t probes0 = Count(silent, "v");
    const double cpu0 = ProcessCpuMs(child);
    std::this_thread::sleep_for(std::chrono::seconds(20));
    const size_t probes = Count(silent, "v") - probes0;
    const double cpuPerProbe = (ProcessCpuMs(child) - cpu0) / static_cast<double>(std::max<size_t>(probes, 1));
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    const double bareProbe = BareProbeMs(silent, 10);
    silent.Stop();
    std::printf("silent box: %zu probes in 20 s, %.2f ms processor time each (target at most 1)\n", probes,
                cpuPerProbe);
    std::printf("the same probe through the link alone, no window: %.2f ms each\n", bareProbe);

    std::printf("median: version query %.0f ms, encoder probe %.0f ms (then %d ms settle), first position %.0f ms"
                " (target at most 300)\n",
                Median(version), Median(probe), MonitorCycle::kProbeSettleMs, median);
    return median <= 300 && cpuPerProbe <= 1 ? 0 : 2;
}
