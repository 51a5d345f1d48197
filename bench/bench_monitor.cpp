// What the monitor cycle costs beyond its transactions, and how much of a
// processor core the tool takes while it shows the position.
//
// The whole window with its pages runs against the simulated box on a
// pseudo-terminal. On the Encoder Position page with a 1 ms interval, each
// tick is the interval, one position transaction and the tool's own work
// (decoding, display, timer). Rounds of ticks alternate with rounds of bare
// "4" transactions through SerialTransact over the same port, so both see
// the same machine; the bare transactions wait the interval between them as
// the ticks do. Then, at the default 50 ms interval, the processor time
// of the tool's thread is compared with the wall time.

#include "BenchSupport.h"
#include "shell/MainWindow.h"
#include "shell/ScriptedDialogs.h"
#include "app/PageList.h"
#include "sim/Simulator.h"

#include <QApplication>
#include <QEventLoop>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {
using Clock = BenchClock;
} // namespace

int main(int argc, char** argv)
{
    OffscreenUnlessChosen();
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;

    BenchWindow rig;
    if (!rig.Open())
        return 1;
    Simulator& sim = rig.sim;
    MainWindow& window = *rig.window;

    if (!RunUntil([&] { return window.Identity().EncoderConnected && window.LoopTimerActive(); }, 10000)) {
        std::fprintf(stderr, "the tool did not find the simulated encoder\n");
        return 1;
    }
    window.SetActivePage(PageId::TabPosition);
    auto* interval = window.findChild<QSpinBox*>("seFrekvencaBranja");
    auto* loop = window.findChild<QTimer*>("LoopTimer");
    interval->setValue(1);

    std::vector<double> periods, bare, cpuPerTick;
    double minPeriod = 1e9;
    size_t ticks = 0;
    std::string reply;
    for (int round = 0; round < rounds; ++round) {
        // Ticks at 1 ms.
        sim.ClearCommandLog();
        window.SetLoopTimerActive(true);
        const double c0 = ThreadCpuMs();
        RunFor(1000);
        cpuPerTick.push_back((ThreadCpuMs() - c0) / std::max<size_t>(Ticks(sim).ticks, 1));
        window.SetLoopTimerActive(false);
        RunFor(20); // a tick still waiting in the queue is let through
        const TickStats s = Ticks(sim);
        periods.push_back(s.meanPeriodMs);
        minPeriod = std::min(minPeriod, s.minPeriodMs);
        ticks += s.ticks;

        // Bare transactions over the same port, each after the same idle
        // interval as a tick has, so that both find the box and the
        // pseudo-terminal equally rested.
        const int count = 500;
        double spent = 0;
        for (int i = 0; i < count; ++i) {
            const timespec pause{0, loop->interval() * 1000000L};
            nanosleep(&pause, nullptr);
            const auto start = Clock::now();
            if (SerialTransact(window.GetLink().Port(), "4", 0, reply) != kSerialOk) {
                std::fprintf(stderr, "bare transaction failed\n");
                return 1;
            }
            spent += Ms(Clock::now() - start);
        }
        bare.push_back(spent / count);
    }
    const double period = Median(periods);
    const double transaction = Median(bare);
    const double own = period - loop->interval() - transaction;
    std::printf("monitor interval:                  %d ms (%s timer)\n", loop->interval(),
                loop->timerType() == Qt::PreciseTimer ? "precise" : "coarse");
    std::printf("ticks measured:                    %zu\n", ticks);
    std::printf("mean tick period:                  %.3f ms (shortest %.3f ms)\n", period, minPeriod);
    std::printf("mean bare position transaction:    %.3f ms\n", transaction);
    std::printf("tool's processor time per tick:    %.3f ms (display and painting included)\n", Median(cpuPerTick));
    std::printf("tool's own cost per tick:          %.3f ms (target under 0.300)\n", own);
    std::printf("interval kept:                     %s\n",
                loop->timerType() == Qt::PreciseTimer && minPeriod >= loop->interval() - 0.05 ? "yes" : "NO");

    // Processor share at the default interval.
    interval->setValue(50);
    window.SetLoopTimerActive(true);
    RunFor(500);
    const double cpu0 = ThreadCpuMs();
    const auto wall0 = Clock::now();
    RunFor(5000);
    const double cpu = ThreadCpuMs() - cpu0;
    const double wall = Ms(Clock::now() - wall0);
    std::printf("processor share at 50 ms:          %.2f %% of one core (target under 3)\n", 100.0 * cpu / wall);

    const bool ok = own < 0.3 && loop->timerType() == Qt::PreciseTimer && cpu / wall < 0.03;
    window.close();
    sim.Stop();
    return ok ? 0 : 2;
}
