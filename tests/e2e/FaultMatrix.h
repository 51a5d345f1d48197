#pragma once
// The faults a flaky cable, a box in a bad state or an unwell encoder show,
// and a rig that runs the whole window through one action under each of them
// against the simulated box: it measures how long the window stays without
// serving its events, notes whether the fault was reported, and afterwards
// clears the fault and waits until the position comes back.

#include "TestFiles.h"
#include "WindowHarness.h"

#include "shell/Colours.h"
#include "shell/StatusLine.h"
#include "sim/Simulator.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

// What an action must do under a fault.
enum class Expect {
    Completes, // as without the fault, with nothing reported
    Fails,     // stops (or, for the monitor, shows the fault) and says so
    Either,    // either of them, never a failure claimed as success
};

struct FaultCase {
    const char* name;
    // Sets the fault; transport faults and a pulled cable start after the
    // given number of commands, so that they hit the middle of an action.
    void (*set)(SimFaults& faults, int after);
    Expect onRegisters; // register traffic of the long actions
    Expect onPositions; // the monitor cycle's position reads
};

inline const std::vector<FaultCase>& Faults()
{
    static const std::vector<FaultCase> faults = {
        {"silence", [](SimFaults& f, int after) { f.noReply = true, f.startAfter = after; }, Expect::Fails,
         Expect::Fails},
        {"reply 350 ms late (3 replies)",
         [](SimFaults& f, int after) { f.replyDelayMs = 350, f.hitsLeft = 3, f.startAfter = after; },
         Expect::Completes, Expect::Completes},
        {"reply 450 ms late", [](SimFaults& f, int after) { f.replyDelayMs = 450, f.startAfter = after; },
         Expect::Fails, Expect::Fails},
        {"garbage", [](SimFaults& f, int after) { f.garbage = true, f.startAfter = after; }, Expect::Fails,
         Expect::Fails},
        {"missing CR", [](SimFaults& f, int after) { f.missingCr = true, f.startAfter = after; }, Expect::Fails,
         Expect::Fails},
        // Each split reply costs its 30 ms gap; twenty of them.
        {"split replies (20 replies)",
         [](SimFaults& f, int after) { f.splitReply = true, f.hitsLeft = 20, f.startAfter = after; },
         Expect::Completes, Expect::Completes},
        {"bytes after the CR", [](SimFaults& f, int after) { f.afterCr = "0\r", f.startAfter = after; },
         Expect::Completes, Expect::Completes},
        {"TIMEOUT replies", [](SimFaults& f, int after) { f.timeoutReply = true, f.startAfter = after; },
         Expect::Fails, Expect::Fails},
        // Buffered writes answer a CRC error; plain register access is untouched.
        {"CRC error", [](SimFaults& f, int) { f.crcError = true; }, Expect::Either, Expect::Fails},
        {"error bit", [](SimFaults& f, int) { f.errorBit = true; }, Expect::Completes, Expect::Fails},
        {"warning bit", [](SimFaults& f, int) { f.warningBit = true; }, Expect::Completes, Expect::Fails},
        {"5 % random",
         [](SimFaults& f, int after) { f.randomPercent = 5, f.randomSeed = 5, f.startAfter = after; },
         Expect::Either, Expect::Either},
        {"30 % random",
         [](SimFaults& f, int after) { f.randomPercent = 30, f.randomSeed = 30, f.startAfter = after; },
         Expect::Either, Expect::Either},
        {"unplugged", [](SimFaults& f, int after) { f.unplugAfter = after; }, Expect::Fails, Expect::Fails},
    };
    return faults;
}

// The longest time the window went without serving its events, measured by
// a timer that should fire every 10 ms.
class Responsiveness {
public:
    Responsiveness()
    {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { Mark(); });
        timer_.start(10);
    }
    qint64 WorstGapMs()
    {
        Mark();
        return worst_;
    }

private:
    void Mark()
    {
        const qint64 now = clock_.elapsed();
        worst_ = std::max(worst_, now - last_);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

// The window with every page against the simulator, its timers running.
struct FaultRig {
    Simulator sim;
    WindowHarness h;
    QTemporaryDir dir;
    std::vector<std::string> problems; // every check that failed, with its cell

    explicit FaultRig(const SimOptions& options) : sim(options)
    {
        h.listing = [this] { return std::vector<std::string>{sim.PortPath()}; }; // follows a replug
        h->show();
    }
    bool Open()
    {
        if (!dir.isValid() || !ConnectRunning(h, sim))
            return false;
        h->FullServiceGesture();
        return true;
    }
    MainWindow* operator->() { return h.window.get(); }
    template <class T>
    T* Find(const char* name) const
    {
        return h.Find<T>(name);
    }
    QString Text(const char* name) const { return Find<QLabel>(name)->text(); }
    std::string Status() const { return Text("lblStatus").toStdString(); }
    bool StatusOk() const { return Status().rfind("Comm OK", 0) == 0; }
    bool StatusError() const { return Status().rfind("Error", 0) == 0; }
    QString Path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)); }

    void Check(bool ok, const std::string& cell, const std::string& what)
    {
        if (!ok)
            problems.push_back(cell + ": " + what + " (status: " + Status() + ")");
    }
    // What the matrix expects of a register action under the fault.
    void CheckExpected(const FaultCase& fault, const std::string& cell, bool claimed)
    {
        if (fault.onRegisters == Expect::Completes)
            Check(claimed, cell, "a harmless fault stopped the action");
        if (fault.onRegisters == Expect::Fails)
            Check(!claimed, cell, "the failure was reported as success");
    }
    // One line per cell in the test's output: what the action ended in.
    static void Tell(const std::string& cell, const char* outcome, qint64 worstGapMs)
    {
        qInfo("%s: %s; longest time without events %lld ms", cell.c_str(), outcome, static_cast<long long>(worstGapMs));
    }
    void Apply(const FaultCase& fault, int after)
    {
        SimFaults f;
        fault.set(f, after);
        sim.SetFaults(f);
    }
    // Clears the fault (plugging the box in again when it was pulled) and
    // waits until the monitor reads positions again with "Comm OK".
    bool Recover(const std::string& cell)
    {
        sim.SetFaults({});
        if (!sim.Plugged() && !sim.Replug())
            return Check(false, cell, "the box could not be plugged in again"), false;
        if (!h->InitTimerActive() && !h->LoopTimerActive())
            h->SetLoopTimerActive(true);
        const bool connected = QTest::qWaitFor(
            [&] { return h->Identity().EncoderConnected && h->LoopTimerActive(); }, 8000);
        sim.ClearCommandLog();
        const bool positions = connected && QTest::qWaitFor(
                                                [&] {
                                                    const auto log = CommandsSent(sim);
                                                    return std::count(log.begin(), log.end(), "4") >= 3 &&
                                                           StatusOk() && PositionShown();
                                                },
                                                5000);
        Check(positions, cell, "the position did not come back after the fault cleared");
        return positions;
    }
    bool PositionShown() const
    {
        const QString unit = Text("lblPosUnit");
        return !unit.isEmpty() && unit[0].isDigit();
    }
    // Stops the monitor between ticks, as a click between two ticks finds it.
    void StillMonitor() { h->SetLoopTimerActive(false); }
    std::vector<std::string> TakeMessages()
    {
        std::vector<std::string> messages = h.dialogs.Messages();
        h.dialogs.Clear();
        return messages;
    }
};

// Runs one long action under every fault: on its page, started between two
// monitor ticks; afterwards the fault is cleared and the position awaited.
template <class Action>
void UnderEveryFault(FaultRig& r, const char* action, PageId page, Action run)
{
    for (const FaultCase& fault : Faults()) {
        const std::string cell = std::string(action) + " × " + fault.name;
        r->SetActivePage(page);
        r.StillMonitor();
        r.TakeMessages();
        run(fault, cell);
        r.Recover(cell);
        r->SetActivePage(PageId::TabPosition);
    }
}

// All problems in one failure message, so one run shows the whole row.
inline QByteArray Listed(const std::vector<std::string>& problems)
{
    std::string text;
    for (const std::string& p : problems)
        text += "\n  " + p;
    return QByteArray::fromStdString(text);
}
