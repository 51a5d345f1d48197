#pragma once
// The main window frame: banner with the interface info, logo and status
// line, the position strip, the page control with the pages it is given, the
// log list and the production panel; the search and monitor timers of the
// session; the page switch and the service key gestures. It owns the one
// session and shows what the session reports; the pages show the rest.

#include "shell/Page.h"
#include "shell/Shell.h"

#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class ChartImageSaver;
class LogoLabel;
class PageControl;
class QtDialogs;
class ActivityLamp;
class QtStatusView;
class QtSessionTimer;
class StatusBox;
class QGroupBox;
class QLabel;
class TickerLabel;
class QFrame;
class QPlainTextEdit;
class QTimer;

struct MainWindowOptions {
    bool production = false;   // open with the production panel at full width
    // Ports the search probes; by default the USB serial ports.
    PortLister portLister;
    PortOpener portOpener;     // by default real serial devices
    Dialogs* dialogs = nullptr; // by default real Qt dialogs owned by the window
    bool startSearch = true;   // enable the search timer at creation
    std::vector<PageEntry> pages; // the content of the pages, in any order
};

class MainWindow : public QWidget, public Shell, private SessionObserver {
    Q_OBJECT
public:
    // Design geometry of the client area.
    static constexpr int kDesignWidth = 612;
    static constexpr int kDesignHeight = 672;
    static constexpr int kBannerHeight = 81;
    static constexpr int kBandHeight = 8;
    static constexpr int kPageLeft = 8, kPageTop = 147, kPageWidth = 411, kPageHeight = 520;
    static constexpr int kNarrowWidth = kPageLeft + kPageWidth + 14;
    // While no box is connected only the banner and the band show. (Sizes here
    // are of the client area; the window manager adds its frame outside.)
    static constexpr int kShrunkHeight = kBannerHeight + kBandHeight;
    // The status text's box: under the logo, to the banner's foot.
    static constexpr int kStatusLeft = 282, kStatusTop = 37;

    explicit MainWindow(MainWindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Shell
    Session& GetSession() override { return *session_; }
    StatusLine& Status() override { return *statusLine_; }
    Dialogs& UserDialogs() override { return *dialogs_; }
    void ShowLogList(bool show) override;
    void ClearLog() override;
    void AppendLog(const std::string& line) override;
    PositionStripWidgets PositionStrip() override { return strip_; }
    void SaveChartImage(const ChartView& chart) override;
    void WaitWithMessages(int ms) override;
    void EnablePageControl(bool enabled) override;
    void EnablePageSwitching(bool enabled) override;

    // Short ways to the session's parts.
    Link& GetLink() { return session_->GetLink(); }
    EncoderIdentity& Identity() { return session_->Identity(); }

    // Timers: the search (initTimer) and the monitor cycle (LoopTimer).
    bool InitTimerActive() const;
    void SetInitTimerActive(bool on);
    bool LoopTimerActive() const;
    void SetLoopTimerActive(bool on);
    int LoopInterval() const;

    PageId ActivePage() const;
    void SetActivePage(PageId page);
    bool PageVisible(PageId page) const;
    void SetPageVisible(PageId page, bool visible);
    // Run after every change of the active page, after the pages were told.
    void OnPageChange(std::function<void(PageId)> handler) { pageChangeHooks_.push_back(std::move(handler)); }

    // The tab page that holds a page's content (object name as in kPages).
    QWidget* PageWidget(PageId page) const;
    // The content installed in a page, or null.
    Page* PageContent(PageId page) const;
    PageControl* Pages() const { return pageControl_; }
    QPlainTextEdit* LogList() const { return memo1_; }

    // Window width: design width with the right-hand column, or narrow (pages only).
    bool IsWide() const { return wide_; }
    void SetWide(bool wide);
    // The production layout: the production panel and the "Production test" page.
    bool IsProduction() const { return production_; }
    bool IsShrunk() const { return shrunk_; }

    // One interface search (the search timer's tick); true when a box was found.
    bool initTimerTimer();
    // One monitor tick.
    void LoopTimerTimer();

    // The service key gestures.
    void ProductionGesture();
    void ServiceGesture();
    void FullServiceGesture();
    void DebugGesture();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // SessionObserver: what the frame itself shows.
    void SearchStarted(const std::string& interfaceText) override;
    void Probing(const std::string& port) override;
    void BoxFound(const SearchOutcome& outcome) override;
    void ConnectionReset() override;
    void SearchFinished(const SearchOutcome& outcome) override;
    void Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities) override;
    void Ticked(const TickReport& report) override;
    // A successful unlock runs the page change: the page's bank is selected again.
    void DebugUnlocked(bool ok) override;

    void BuildBanner();
    void BuildPositionStrip();
    void BuildPages(const std::vector<PageEntry>& entries);
    void BuildRightColumn();
    void SetShrunk(bool shrunk);
    void ApplySize();
    PageVisibility Visibility() const;
    void ApplyVisibility(const PageVisibility& visibility);
    void SetProduction(bool on);
    void PageChange(int index);
    void TellPages(const std::function<void(Page&)>& tell);

    std::unique_ptr<QtDialogs> ownDialogs_;
    Dialogs* dialogs_;
    std::unique_ptr<QtSessionTimer> searchTimer_;
    std::unique_ptr<QtSessionTimer> monitorTimer_;
    std::unique_ptr<SessionClock> clock_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<QtStatusView> statusView_;
    std::unique_ptr<StatusLine> statusLine_;
    std::unique_ptr<ChartImageSaver> chartSaver_;

    bool wide_ = false;
    bool production_ = false;
    bool shrunk_ = false;
    int armedGesture_ = 0; // the gesture letter pressed with Ctrl+Shift, until it comes up
    bool portProbed_ = false; // in the search under way

    QFrame* pnl1Top_ = nullptr;
    LogoLabel* image1_ = nullptr;
    QGroupBox* gInterfaceInfo_ = nullptr;
    TickerLabel* lblComPort_ = nullptr;
    TickerLabel* lblInterfaceVer_ = nullptr;
    StatusBox* statusBox_ = nullptr;
    QLabel* lblStatus_ = nullptr;
    ActivityLamp* pnlComm_ = nullptr;
    QFrame* pnl2Mid_ = nullptr;
    QFrame* pnl1_ = nullptr;
    PositionStripWidgets strip_;
    PageControl* pageControl_ = nullptr;
    std::array<QWidget*, kTabCount> pages_{};
    std::array<Page*, kTabCount> contents_{};
    QPlainTextEdit* memo1_ = nullptr;
    QFrame* pnlProizvodnja_ = nullptr;
    QLabel* lblSerijskaRezultat_ = nullptr;

    QTimer* initTimer_ = nullptr;
    QTimer* loopTimer_ = nullptr;

    std::vector<std::function<void(PageId)>> pageChangeHooks_;
};
