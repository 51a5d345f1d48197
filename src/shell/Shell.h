#pragma once
// What the window frame offers its pages: the session, the status line and
// its lamp, dialogs, the shared log list, the position strip above the pages,
// and the wait that keeps the window responsive.

#include "shell/Dialogs.h"
#include "shell/StatusLine.h"
#include "session/Session.h"

#include <string>

class ChartView;
class TickerLabel;
class QLabel;
class QWidget;

// The position strip (pnl1) above the pages; the position page fills it.
struct PositionStripWidgets {
    TickerLabel* lblPosUnit = nullptr;
    QWidget* pnlEncWarn = nullptr;
    QWidget* pnlEncErr = nullptr;
};

class Shell {
public:
    virtual ~Shell() = default;

    virtual Session& GetSession() = 0;
    virtual StatusLine& Status() = 0;
    virtual Dialogs& UserDialogs() = 0;

    // The log list at the right edge, shared by the position and status logs.
    // Showing it widens the window; hiding it narrows the window again.
    virtual void ShowLogList(bool show) = 0;
    virtual void ClearLog() = 0;
    virtual void AppendLog(const std::string& line) = 0;

    virtual PositionStripWidgets PositionStrip() = 0;

    // Asks for a file name in the window's save dialog for chart images and
    // saves the chart there (SaveChartImage).
    virtual void SaveChartImage(const ChartView& chart) = 0;

    // Handles window events until ms have passed (at least one pass), sleeping
    // in the event loop in between. Timer ticks and clicks can run meanwhile.
    virtual void WaitWithMessages(int ms) = 0;

    // While an action must stay on its page (the self-calibration wait), no page can be chosen.
    virtual void EnablePageControl(bool enabled) = 0;
    // While a long action must stay on its page but keep its own controls
    // (the production test's Stop), no other page can be chosen.
    virtual void EnablePageSwitching(bool enabled) = 0;
};
