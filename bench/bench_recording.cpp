// What the position recording costs at the fastest interval, and whether it
// keeps every tick.
//
// The whole window runs against the simulated box on the "Test" page at the
// 1 ms interval and records positions for a minute. Every tick must leave
// one row (rows = position commands the box received while recording). The
// recording's own time per tick is measured two ways: inside the tick,
// between a probe step run just before the recording rows and one run just
// after them (row, buffer, file writes); and as the processor time of the
// window's thread per tick with and without the recording (row, writes, the
// page's elapsed-time label), rounds without it before and after.
//
//   bench_recording [seconds]   (default 60)

#include "BenchSupport.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {
constexpr double kTargetMs = 0.05;

// Marks the time at its place in the tick: before the recording rows (first)
// or after them (adds the time since the mark).
class Probe final : public TickStep {
public:
    Probe(Phase phase, const Recorder& recorder, BenchClock::time_point& mark)
        : phase_(phase), recorder_(recorder), mark_(mark)
    {
    }
    Phase StepPhase() const override { return phase_; }
    bool Active() const override { return recorder_.Running() || phase_ == Phase::PageRead; }
    bool Run(Link&) override
    {
        const auto now = BenchClock::now();
        if (phase_ == Phase::PageRead) {
            mark_ = now;
        } else {
            spentMs += Ms(now - mark_);
            ++ticks;
        }
        return true;
    }
    double spentMs = 0;
    size_t ticks = 0;

private:
    Phase phase_;
    const Recorder& recorder_;
    BenchClock::time_point& mark_;
};

// Processor time of the window's thread per tick over a round.
double CpuPerTick(Simulator& sim, int ms)
{
    sim.ClearCommandLog();
    const double cpu0 = ThreadCpuMs();
    RunFor(ms);
    return (ThreadCpuMs() - cpu0) / static_cast<double>(std::max<size_t>(Ticks(sim).ticks, 1));
}
} // namespace

int main(int argc, char** argv)
{
    OffscreenUnlessChosen();
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;

    RecordingWindow rig(1000000); // every command of the minute, for the tick count
    if (!rig.Prepare())
        return 1;
    Simulator& sim = rig.sim;
    MainWindow& window = *rig.window;
    Session& session = window.GetSession();
    BenchClock::time_point mark;
    Probe before(TickStep::Phase::PageRead, session.Recording(), mark);
    Probe after(TickStep::Phase::Recording, session.Recording(), mark);
    session.Monitor().AddStep(&before);
    session.Monitor().AddStep(&after);

    RunFor(500);
    const double idleBefore = CpuPerTick(sim, 5000);

    sim.ClearCommandLog();
    rig.box->click();
    const double cpu0 = ThreadCpuMs();
    RunFor(seconds * 1000);
    const double cpu = ThreadCpuMs() - cpu0;
    rig.box->click();
    const TickStats ticks = Ticks(sim);
    const double idleAfter = CpuPerTick(sim, 5000);

    const RecordedFile file = ReadRecordedFile(window);
    if (!file.readable) {
        std::fprintf(stderr, "the recording file cannot be read\n");
        return 1;
    }
    const size_t rows = file.rows - file.brokenRows;
    const double inTick = after.spentMs / static_cast<double>(std::max<size_t>(after.ticks, 1));
    const double withRecording = cpu / static_cast<double>(std::max<size_t>(ticks.ticks, 1));
    const double added = withRecording - (idleBefore + idleAfter) / 2;

    std::printf("monitor interval:                   %d ms\n", window.LoopInterval());
    std::printf("recording time:                     %d s\n", seconds);
    std::printf("ticks while recording:              %zu (mean period %.3f ms)\n", ticks.ticks, ticks.meanPeriodMs);
    std::printf("rows written:                       %zu (%s)\n", rows, rows == ticks.ticks ? "one per tick, none lost" : "ROWS LOST");
    std::printf("file size:                          %lld bytes\n", file.bytes);
    std::printf("recording's time inside the tick:   %.4f ms per tick (row, buffer, writes)\n", inTick);
    std::printf("thread time per tick, not recording: %.4f ms before, %.4f ms after\n", idleBefore, idleAfter);
    std::printf("thread time per tick, recording:     %.4f ms\n", withRecording);
    std::printf("tool's own time added per tick:      %.4f ms (target at most %.2f)\n", std::max(added, inTick),
                kTargetMs);
    window.close();
    sim.Stop();
    return rows == ticks.ticks && file.brokenRows == 0 && std::max(added, inTick) <= kTargetMs ? 0 : 2;
}
