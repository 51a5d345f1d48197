// Whether the tool can be trusted for hours with a flaky link: the position
// recording keeps exact accounts, the monitor always comes back, and the
// memory does not grow.
//
// The whole window runs against the simulated box on the "Test" page at the
// 1 ms interval and records positions while 1 % of the box's replies meet a
// random transport fault (silence, a reply 450 ms late, garbage, a missing
// CR, a reply in two pieces, bytes after the CR, "TIMEOUT"). A failed
// transaction ends its tick with the error ending; the next tick probes the
// encoder and identifies it anew. That identification hides the service
// tabs, so the window leaves the "Test" page and the monitor falls back to
// 50 ms; the run then brings the page and the 1 ms interval back as a user
// would, and counts how often.
//
// The accounting. A row is written by the recording step, which runs at the
// end of every tick that reached it while the recording runs: the tick read a
// position reply (a "TIMEOUT" reply included: its row says "ENCODER
// DISCONNECTED") and every page read before the step succeeded. A tick that
// ends with the error ending writes no row: its position reply failed (none
// in time, garbage, no CR), or a later read failed. A tick whose probe of the
// encoder failed sent no position command and is no tick here. So, exactly:
//   ticks        = ticks that sent the position command while recording
//   failed ticks = of them, those that ended with the error ending
//   rows         = ticks - failed ticks
// all taken from the session's tick reports, and the rows from the file after
// the recording stopped.
//
// and the rows with "ENCODER DISCONNECTED" are the ticks with a "TIMEOUT"
// reply that ended well.
//
// It fails (exit 2) when the rows differ from that, when a row is broken,
// when the recording stops by itself, when no position command goes out for
// 5 s (the monitor stopped for good), or, in runs of at least 2 minutes, when
// the resident memory at the end is more than 5 MB above its value after the
// first minute.
//
//   bench_soak [seconds] [seed]   (defaults 60 and 1)

#include "BenchSupport.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
constexpr int kFaultPercent = 1;
constexpr int kStallLimitMs = 5000;
constexpr long kMemoryGrowthLimitKb = 5 * 1024;
constexpr int kCheckEveryMs = 250;

// Counts the ticks of the recording from the session's reports.
class TickCounter final : public SessionObserver {
public:
    bool counting = false;
    size_t ticks = 0;
    size_t failed = 0;
    size_t timeoutReplies = 0;
    size_t identifications = 0;
    BenchClock::time_point lastPosition = BenchClock::now();
    double longestGapMs = 0;

    void Ticked(const TickReport& report) override
    {
        if (!counting)
            return;
        if (report.identified)
            ++identifications;
        if (!report.positionSent)
            return;
        const auto now = BenchClock::now();
        longestGapMs = std::max(longestGapMs, Ms(now - lastPosition));
        lastPosition = now;
        ++ticks;
        if (report.ending == TickReport::Ending::Error)
            ++failed;
        else if (report.disconnected)
            ++timeoutReplies;
    }
};

// Counts the searches for the box.
class SearchCounter final : public SessionObserver {
public:
    size_t searches = 0;
    void SearchStarted(const std::string&) override { ++searches; }
};
} // namespace

int main(int argc, char** argv)
{
    OffscreenUnlessChosen();
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: bench_soak [seconds] [seed]\n");
        return 1;
    }

    // Declared before the window, whose page-change hook uses them.
    TickCounter counter;
    SearchCounter searches;
    size_t pageRestores = 0;
    bool restoreDue = false;

    // The box keeps only a short command log: a long one would fill for
    // minutes and pass for the tool's memory growing.
    RecordingWindow rig(1000);
    if (!rig.Prepare())
        return 1;
    MainWindow& window = *rig.window;
    Session& session = window.GetSession();
    QCheckBox* box = rig.box;
    auto* interval = window.findChild<QSpinBox*>("seFrekvencaBranja");
    session.AddObserver(&counter);
    session.AddObserver(&searches);

    // When an identification hides the "Test" page, the page and the 1 ms
    // interval come back once the tick is over.
    window.OnPageChange([&](PageId page) {
        if (page == PageId::tabTest || !counter.counting || restoreDue)
            return;
        restoreDue = true;
        QTimer::singleShot(0, &window, [&] {
            restoreDue = false;
            ++pageRestores;
            window.FullServiceGesture();
            window.SetActivePage(PageId::tabTest);
            interval->setValue(1);
        });
    });

    RunFor(500);
    const long startKb = ResidentKb();
    long minuteKb = 0;
    const size_t searchesBefore = searches.searches;

    counter.counting = true;
    counter.lastPosition = BenchClock::now();
    box->click();
    if (!session.Recording().Running()) {
        std::fprintf(stderr, "the recording did not start: %s\n", session.Recording().FileName().c_str());
        return 1;
    }
    SimFaults faults;
    faults.randomPercent = kFaultPercent;
    faults.randomSeed = seed;
    rig.sim.SetFaults(faults);

    std::string failure;
    const auto start = BenchClock::now();
    while (failure.empty()) {
        const double elapsedMs = Ms(BenchClock::now() - start);
        if (elapsedMs >= seconds * 1000.0)
            break;
        RunFor(static_cast<int>(std::min<double>(kCheckEveryMs, seconds * 1000.0 - elapsedMs)) + 1);
        if (minuteKb == 0 && seconds > 60 && Ms(BenchClock::now() - start) >= 60000)
            minuteKb = ResidentKb();
        if (!box->isChecked() || !session.Recording().Running()) {
            failure = "the recording stopped by itself";
            for (const std::string& message : rig.dialogs.Messages())
                failure += ": " + message;
        } else if (Ms(BenchClock::now() - counter.lastPosition) > kStallLimitMs) {
            failure = "the window stopped monitoring: no position command for " +
                      std::to_string(kStallLimitMs / 1000) + " s (search timer " +
                      (window.InitTimerActive() ? "on" : "off") + ", monitor timer " +
                      (window.LoopTimerActive() ? "on" : "off") + ")";
        }
    }
    const double ranS = Ms(BenchClock::now() - start) / 1000;
    const long endKb = ResidentKb();
    counter.counting = false;
    if (box->isChecked())
        box->click();
    rig.sim.SetFaults(SimFaults{});

    const RecordedFile file = ReadRecordedFile(window);
    const size_t expected = counter.ticks - counter.failed;
    if (failure.empty() && !file.readable)
        failure = "the recording file cannot be read";
    else if (failure.empty() && file.brokenRows > 0)
        failure = std::to_string(file.brokenRows) + " broken rows in the file";
    else if (failure.empty() && file.rows != expected)
        failure = file.rows < expected ? "rows lost" : "more rows than ticks that read a position";
    else if (failure.empty() && file.disconnectedRows != counter.timeoutReplies)
        failure = "the rows with ENCODER DISCONNECTED are not the ticks with a TIMEOUT reply";
    const bool memoryChecked = seconds >= 120 && minuteKb > 0;
    if (failure.empty() && memoryChecked && endKb - minuteKb > kMemoryGrowthLimitKb)
        failure = "resident memory grew by " + std::to_string(endKb - minuteKb) + " kB after the first minute";

    std::printf("run time:                          %.1f s, %d %% of the replies faulty (seed %u)\n", ranS,
                kFaultPercent, seed);
    std::printf("monitor interval:                  1 ms on the \"Test\" page, set again %zu times after an "
                "identification hid it\n",
                pageRestores);
    std::printf("ticks while recording:             %zu (each sent the position command)\n", counter.ticks);
    std::printf("failed ticks:                      %zu (ended with an error: no row)\n", counter.failed);
    std::printf("ticks with a TIMEOUT reply:        %zu (a row with ENCODER DISCONNECTED)\n", counter.timeoutReplies);
    std::printf("encoder identified anew:           %zu times\n", counter.identifications);
    std::printf("searches for the box:              %zu\n", searches.searches - searchesBefore);
    std::printf("longest wait for a position read:  %.0f ms\n", counter.longestGapMs);
    std::printf("rows written:                      %zu (expected ticks - failed ticks = %zu)\n", file.rows, expected);
    std::printf("rows with ENCODER DISCONNECTED:    %zu\n", file.disconnectedRows);
    std::printf("file size:                         %lld bytes\n", file.bytes);
    std::printf("resident memory at start:          %ld kB\n", startKb);
    if (minuteKb > 0)
        std::printf("resident memory after 1 minute:    %ld kB\n", minuteKb);
    std::printf("resident memory at the end:        %ld kB%s\n", endKb,
                memoryChecked ? " (at most 5 MB above the first minute's)" : "");
    std::printf("result:                            %s\n", failure.empty() ? "passed" : ("FAILED: " + failure).c_str());
    window.close();
    rig.sim.Stop();
    return failure.empty() ? 0 : 2;
}
