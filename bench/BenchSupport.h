#pragma once
// Helpers the window benchmarks share: clocks, running the event loop for a
// while or until something happens, medians, resident memory, the window on
// a simulated box, and the position recording on the "Test" page.

#include "BenchClock.h"
#include "app/PageList.h"
#include "shell/MainWindow.h"
#include "shell/ScriptedDialogs.h"
#include "sim/Simulator.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>


// The window draws off screen unless the caller chose a platform.
inline void OffscreenUnlessChosen()
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
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

// The number after key in a /proc status file; 0 when it has none.
inline long ProcStatusNumber(const char* path, const std::string& key)
{
    std::ifstream status(path);
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    return 0;
}

// Resident memory of this process (VmRSS), in kB.
inline long ResidentKb()
{
    return ProcStatusNumber("/proc/self/status", "VmRSS:");
}

// How often the calling thread went to sleep and was woken since it started
// (voluntary context switches).
inline long ThreadSleeps()
{
    return ProcStatusNumber("/proc/thread-self/status", "voluntary_ctxt_switches:");
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

    BenchWindow() = default;
    explicit BenchWindow(const SimOptions& options) : sim(options) {}

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

    // False, after saying why, when the window has not found the box,
    // identified the encoder and started its monitor within 10 s.
    bool WaitConnected()
    {
        if (RunUntil([&] { return window->Identity().EncoderConnected && window->LoopTimerActive(); }, 10000))
            return true;
        std::fprintf(stderr, "the tool did not find the simulated encoder\n");
        return false;
    }
};

// The window on a simulated box, connected, on the "Test" page with every
// tab shown, the monitor at its fastest interval (1 ms) and no row limit, as
// a user sets it up for a long position recording; the files go to a
// temporary folder. box starts and stops the recording.
struct RecordingWindow : BenchWindow {
    QTemporaryDir folder;
    QCheckBox* box = nullptr;

    // The box keeps the latest commandLogLimit commands.
    explicit RecordingWindow(size_t commandLogLimit) : BenchWindow(LogLimit(commandLogLimit)) {}

    // False, after saying why, when the window did not get that far.
    bool Prepare()
    {
        if (!Open() || !WaitConnected())
            return false;
        window->FullServiceGesture();
        window->SetActivePage(PageId::tabTest);
        window->findChild<QSpinBox*>("seFrekvencaBranja")->setValue(1);
        window->findChild<QSpinBox*>("seSteviloShranjenihMeritev")->setValue(0);
        window->GetSession().Recording().SetFolder(folder.path().toStdString());
        box = window->findChild<QCheckBox*>("cbShranjujMeritvePos");
        return true;
    }

private:
    static SimOptions LogLimit(size_t commandLogLimit)
    {
        SimOptions options;
        options.commandLogLimit = commandLogLimit;
        return options;
    }
};

// What a position recording file holds after the recording stopped.
struct RecordedFile {
    bool readable = false;
    long long bytes = 0;
    size_t rows = 0;              // lines after the header, each ended by CR LF
    size_t brokenRows = 0;        // of them: not five fields, or a line without CR LF
    size_t disconnectedRows = 0;  // of them: ticks with a "TIMEOUT" reply
};

// The file named on the page (mmShranjujIme).
inline RecordedFile ReadRecordedFile(MainWindow& window)
{
    RecordedFile out;
    QFile file(window.findChild<QPlainTextEdit*>("mmShranjujIme")->toPlainText());
    if (!file.open(QIODevice::ReadOnly))
        return out;
    out.readable = true;
    out.bytes = file.size();
    bool header = true;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (header) {
            header = false;
            continue;
        }
        ++out.rows;
        if (!line.endsWith(";\r\n") || line.count(';') != 5)
            ++out.brokenRows;
        else if (line.contains(";ENCODER DISCONNECTED;"))
            ++out.disconnectedRows;
    }
    return out;
}
