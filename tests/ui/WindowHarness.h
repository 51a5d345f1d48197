#pragma once
// The tool's main window with every page, for tests: scripted dialogs, a
// port list the test controls, and a record of the ports the search opened,
// in order.

#include "shell/MainWindow.h"
#include "shell/PageControl.h"
#include "shell/ScriptedDialogs.h"
#include "app/PageList.h"
#include "link/ui/InterfaceSettingsPage.h"
#include "link/PortList.h"
#include "sim/Simulator.h"

#include <QTest>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct WindowHarness {
    struct Options {
        bool production = false;
        bool startSearch = false;
    };

    ScriptedDialogs dialogs;
    std::vector<std::string> ports;  // what the port listing returns
    std::function<std::vector<std::string>()> listing; // when set, used instead of ports
    std::vector<std::string> opened; // every port the search tried to open
    std::vector<std::chrono::steady_clock::time_point> openedAt;
    std::unique_ptr<MainWindow> window;

    WindowHarness() : WindowHarness(Options{}) {}
    explicit WindowHarness(Options options)
    {
        MainWindowOptions o;
        o.production = options.production;
        o.startSearch = options.startSearch;
        o.dialogs = &dialogs;
        o.portLister = [this] { return listing ? listing() : ports; };
        o.pages = ServicePages();
        o.portOpener = [this](const std::string& path) -> std::unique_ptr<SerialPort> {
            opened.push_back(path);
            openedAt.push_back(std::chrono::steady_clock::now());
            return PosixSerialPort::Open(path);
        };
        window = std::make_unique<MainWindow>(std::move(o));
    }

    MainWindow& operator*() { return *window; }
    MainWindow* operator->() { return window.get(); }

    template <class T>
    T* Find(const char* name) const
    {
        return window->findChild<T*>(name);
    }
    QTimer* Timer(const char* name) const { return Find<QTimer>(name); }
    InterfaceSettingsPage* SettingsPage() const { return window->findChild<InterfaceSettingsPage*>(); }
};

// Starts the simulator and connects the window to it with the encoder
// identified, its datasheet read and every page revealed; the monitor stays
// still, so the simulator's log holds only what the test's actions send.
inline bool ConnectIdentified(WindowHarness& h, Simulator& sim)
{
    if (!sim.Start())
        return false;
    h.ports = {sim.PortPath()};
    if (!h->initTimerTimer())
        return false;
    h->GetSession().Identify();
    h->GetSession().ReadDatasheet();
    h->FullServiceGesture();
    h->SetLoopTimerActive(false);
    sim.ClearCommandLog();
    return true;
}

// Starts the simulator and lets the window find it with its own timers
// running; true once the encoder is identified, the monitor ticks and ready()
// (when given) holds.
inline bool ConnectRunning(WindowHarness& h, Simulator& sim, const std::function<bool()>& ready = {})
{
    if (!sim.Start())
        return false;
    h.ports = {sim.PortPath()};
    h->SetInitTimerActive(true);
    return QTest::qWaitFor(
        [&] { return h->Identity().EncoderConnected && h->LoopTimerActive() && (!ready || ready()); }, 5000);
}

// The commands the simulated box received, in order.
inline std::vector<std::string> CommandsSent(const Simulator& sim)
{
    std::vector<std::string> out;
    for (const SimLogEntry& e : sim.CommandLog())
        out.push_back(e.command);
    return out;
}

// Command logs that differ show in full.
namespace QTest {
template <>
inline char* toString(const std::vector<std::string>& log)
{
    std::string text;
    for (const std::string& command : log)
        text += (text.empty() ? "" : " ") + command;
    return qstrdup(text.c_str());
}
} // namespace QTest

// Indices of the tabs shown.
inline std::vector<int> VisibleTabs(MainWindow& w)
{
    std::vector<int> v;
    for (int i = 0; i < kPageCount; ++i)
        if (w.Pages()->isTabVisible(i))
            v.push_back(i);
    return v;
}
