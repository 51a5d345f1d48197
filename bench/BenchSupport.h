#pragma once
// Helpers the window benchmarks share: clocks, running the event loop for a
// while or until something happens, and medians.

#include "app/PageList.h"
#include "shell/MainWindow.h"
#include "shell/ScriptedDialogs.h"
#include "sim/Simulator.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

using BenchClock = std::chrono::steady_clock;

inline double Ms(BenchClock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Runs the event loop (sleeping between events) until done() or timeoutMs.
template <class F>
bool RunUntil(F done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(10);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

inline void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct TickStats {
    double meanPeriodMs = 0;
    double minPeriodMs = 0;
    size_t ticks = 0;
};

// Position commands the box received in the last run of ticks.
inline TickStats Ticks(const Simulator& sim)
{
    std::vector<BenchClock::time_point> times;
    for (const SimLogEntry& e : sim.CommandLog())
        if (e.command == "4")
            times.push_back(e.time);
    TickStats s;
    if (times.size() < 2)
        return s;
    s.ticks = times.size();
    s.meanPeriodMs = Ms(times.back() - times.front()) / static_cast<double>(times.size() - 1);
    s.minPeriodMs = 1e9;
    for (size_t i = 1; i < times.size(); ++i)
        s.minPeriodMs = std::min(s.minPeriodMs, Ms(times[i] - times[i - 1]));
    return s;
}

// The window with every page on a simulated box, shown.
struct BenchWindow {
    Simulator sim;
    ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;

    // False, after saying why, when the box cannot start.
    bool Open()
    {
        std::string error;
        if (!sim.Start(&error)) {
            std::fprintf(stderr, "cannot start the simulated box: %s\n", error.c_str());
            return false;
        }
        MainWindowOptions options;
        options.dialogs = &dialogs;
        options.portLister = [this] { return std::vector<std::string>{sim.PortPath()}; };
        options.pages = ServicePages();
        window = std::make_unique<MainWindow>(std::move(options));
        window->show();
        return true;
    }
};
