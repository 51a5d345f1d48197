#pragma once
// What the main window offers the subsystems that plug into it, without Qt:
// the link and the encoder identity it owns, its timers, its pages, the
// status line, dialogs and the wait that keeps the window responsive.

#include "app/Dialogs.h"
#include "app/Pages.h"
#include "app/StatusLine.h"
#include "biss/EncoderIdentity.h"
#include "link/InterfaceSettings.h"
#include "link/Link.h"

#include <functional>

class Shell {
public:
    virtual ~Shell() = default;

    virtual Link& GetLink() = 0;
    virtual EncoderIdentity& Identity() = 0;
    virtual StatusLine& Status() = 0;
    virtual Dialogs& UserDialogs() = 0;
    virtual PowerSwitch& EncoderPower() = 0;

    // Connection timer (the interface search, 250 ms).
    virtual bool InitTimerActive() const = 0;
    virtual void SetInitTimerActive(bool on) = 0;
    // Monitor timer (the monitor cycle, 50 ms by default).
    virtual bool LoopTimerActive() const = 0;
    virtual void SetLoopTimerActive(bool on) = 0;
    virtual int LoopInterval() const = 0;
    virtual void SetLoopInterval(int ms) = 0;

    virtual Page ActivePage() const = 0;
    virtual void SetActivePage(Page page) = 0;
    virtual bool PageVisible(Page page) const = 0;
    virtual void SetPageVisible(Page page, bool visible) = 0;

    // Handles window events until ms have passed (at least one pass), sleeping
    // in the event loop in between. Timer ticks and clicks can run meanwhile.
    virtual void WaitWithMessages(int ms) = 0;

    // Extension points, run in the order of registration:
    // on every change of the active page (before the monitor timer is re-armed),
    virtual void OnPageChange(std::function<void(Page)> handler) = 0;
    // when a box has been found (reset of the per-encoder working values),
    virtual void OnConnectionReset(std::function<void()> handler) = 0;
    // when the window closes.
    virtual void OnShutdown(std::function<void()> handler) = 0;
    // The monitor cycle: one tick per LoopTimer timeout. The tick switches the
    // timer off at its start and re-arms it at its end.
    virtual void SetMonitorTick(std::function<void()> tick) = 0;
};
