// What the Torvik status page costs beyond its transactions while the install
// chart fills, and whether that cost grows as the points accumulate.
//
// The whole window runs against the simulated box on the "Torvik Status"
// page with "Draw " on, the shaft turning and a 1 ms interval: each tick is
// the interval, the position and status transactions, and the tool's own
// work (decoding, lamps and values, a chart point, painting). Over the first
// and over the last minute of the run the mean tick period is measured in
// rounds that alternate with bare "4" and status-block transactions over the
// same port (each pair after the same idle interval): the link's share. The
// tool's own cost per tick is their difference less the interval; the
// processor time per tick and the resident memory show whether anything
// grows with the points.
//
//   bench_status [minutes]   (default 10)

#include "BenchSupport.h"
#include "app/PageList.h"
#include "monitor/ui/TorvikStatusPage.h"
#include "shell/ChartView.h"
#include "shell/MainWindow.h"
#include "shell/ScriptedDialogs.h"
#include "sim/Simulator.h"

#include <QApplication>
#include <QCheckBox>
#include <QSpinBox>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
// Mean time of a bare position and status transaction pair, each pair after the interval.
double BareTransactionsMs(MainWindow& window, int intervalMs)
{
    constexpr int kPairs = 500;
    std::string reply;
    double spent = 0;
    for (int i = 0; i < kPairs; ++i) {
        const timespec pause{0, intervalMs * 1000000L};
        nanosleep(&pause, nullptr);
        const auto start = BenchClock::now();
        if (SerialTransact(window.GetLink().Port(), "4", 0, reply) != kSerialOk ||
            SerialTransact(window.GetLink().Port(), "R09:074", 0, reply) != kSerialOk) {
            std::fprintf(stderr, "bare transaction failed\n");
            std::exit(1);
        }
        spent += Ms(BenchClock::now() - start);
    }
    return spent / kPairs;
}

struct Minute {
    double periodMs = 0;
    double transactionsMs = 0;
    double ownMs = 0;
    double cpuMs = 0; // processor time of the tool's thread per tick, transactions' system calls included
    size_t ticks = 0;
};

// A minute in six rounds: ten seconds of ticks, then the bare transactions,
// so that both see the machine alike; medians over the rounds. The monitor
// runs on after.
Minute MeasureMinute(MainWindow& window, Simulator& sim, QTimer& loop)
{
    constexpr int kRounds = 6;
    std::vector<double> periods, transactions, cpu;
    Minute m;
    for (int round = 0; round < kRounds; ++round) {
        sim.ClearCommandLog();
        const double cpu0 = ThreadCpuMs();
        RunFor(10000);
        const double spent = ThreadCpuMs() - cpu0;
        window.SetLoopTimerActive(false);
        RunFor(20); // a tick still waiting in the queue is let through
        const TickStats s = Ticks(sim);
        periods.push_back(s.meanPeriodMs);
        cpu.push_back(spent / static_cast<double>(std::max<size_t>(s.ticks, 1)));
        m.ticks += s.ticks;
        transactions.push_back(BareTransactionsMs(window, loop.interval()));
        window.SetLoopTimerActive(true);
    }
    m.periodMs = Median(periods);
    m.transactionsMs = Median(transactions);
    m.cpuMs = Median(cpu);
    m.ownMs = m.periodMs - loop.interval() - m.transactionsMs;
    return m;
}

void Print(const char* name, const Minute& m)
{
    std::printf("%-14s %zu ticks, mean period %.3f ms, bare transactions %.3f ms, own cost %.3f ms per tick"
                " (processor %.3f ms per tick)\n",
                name, m.ticks, m.periodMs, m.transactionsMs, m.ownMs, m.cpuMs);
}
} // namespace

int main(int argc, char** argv)
{
    OffscreenUnlessChosen();
    QApplication app(argc, argv);
    const int minutes = std::max(2, argc > 1 ? std::atoi(argv[1]) : 10);

    BenchWindow rig;
    if (!rig.Open())
        return 1;
    Simulator& sim = rig.sim;
    MainWindow& window = *rig.window;
    if (!RunUntil([&] { return window.Identity().EncoderConnected && window.PageVisible(PageId::TabTorvikStatus); }, 10000)) {
        std::fprintf(stderr, "the tool did not identify the simulated encoder\n");
        return 1;
    }
    window.SetActivePage(PageId::TabTorvikStatus);
    window.findChild<QCheckBox*>("cbTinstallDraw")->click();
    window.findChild<QSpinBox*>("seFrekvencaBranja")->setValue(1);
    auto* loop = window.findChild<QTimer*>("LoopTimer");
    const ChartSeries& points = window.findChild<TorvikStatusPage*>()->InstallChart().Model().Series().front();
    sim.SetShaftSpeed(120);
    const long startKb = ResidentKb();

    const Minute first = MeasureMinute(window, sim, *loop);
    RunFor((minutes - 2) * 60000);
    const Minute last = MeasureMinute(window, sim, *loop);
    const long endKb = ResidentKb();

    std::printf("monitor interval:  %d ms, shaft %.0f rpm, %d minutes\n", loop->interval(), sim.ShaftSpeed(), minutes);
    Print("first minute:", first);
    Print("last minute:", last);
    std::printf("chart points:      %zu\n", points.Count());
    std::printf("resident memory:   %ld kB at start, %ld kB at the end\n", startKb, endKb);
    std::printf("target:            own cost at most 0.300 ms per tick in both minutes\n");
    const bool ok = first.ownMs <= 0.3 && last.ownMs <= 0.3 && points.Count() > 0;
    window.close();
    sim.Stop();
    return ok ? 0 : 2;
}
