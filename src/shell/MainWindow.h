#pragma once
// The main window: banner with the interface info, logo and status line, the
// position strip, the fourteen pages, the log list and the production panel;
// the connection, monitor and power-cycling timers; the interface search; the
// page switch; the service key gestures.

#include "app/Shell.h"
#include "link/Discovery.h"

#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class InterfaceSettingsPage;
class PowerCyclePanel;
class LogoLabel;
class PageControl;
class QtDialogs;
class QtStatusView;
class QGroupBox;
class QLabel;
class QFrame;
class QPlainTextEdit;
class QSpinBox;
class QTimer;

struct MainWindowOptions {
    bool production = false;   // open with the production panel at full width
    // Ports the search probes; by default the USB serial ports.
    PortLister portLister;
    PortOpener portOpener;     // by default real serial devices
    Dialogs* dialogs = nullptr; // by default real Qt dialogs owned by the window
    bool startSearch = true;   // enable the connection timer at creation
};

class MainWindow : public QWidget, public Shell, private DiscoveryHost {
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

    explicit MainWindow(MainWindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Shell
    Link& GetLink() override { return link_; }
    EncoderIdentity& Identity() override { return identity_; }
    StatusLine& Status() override { return *statusLine_; }
    Dialogs& UserDialogs() override { return *dialogs_; }
    PowerSwitch& EncoderPower() override;
    bool InitTimerActive() const override;
    void SetInitTimerActive(bool on) override;
    bool LoopTimerActive() const override;
    void SetLoopTimerActive(bool on) override;
    int LoopInterval() const override;
    void SetLoopInterval(int ms) override;
    Page ActivePage() const override;
    void SetActivePage(Page page) override;
    bool PageVisible(Page page) const override;
    void SetPageVisible(Page page, bool visible) override;
    void WaitWithMessages(int ms) override;
    void OnPageChange(std::function<void(Page)> handler) override { pageChangeHooks_.push_back(std::move(handler)); }
    void OnConnectionReset(std::function<void()> handler) override { resetHooks_.push_back(std::move(handler)); }
    void OnShutdown(std::function<void()> handler) override { shutdownHooks_.push_back(std::move(handler)); }
    void SetMonitorTick(std::function<void()> tick) override { monitorTick_ = std::move(tick); }

    // The page widget that holds a page's content (object name as in kPages).
    QWidget* PageWidget(Page page) const;
    // Puts a page's content into its page, filling it.
    void InstallPage(Page page, QWidget* content);
    PageControl* Pages() const { return pageControl_; }
    InterfaceSettingsPage* SettingsPage() const { return settingsPage_; }
    PowerCyclePanel* PowerCycle() const { return powerCycle_; }
    // The log list at the right edge (shared by the position and status logs).
    QPlainTextEdit* LogList() const { return memo1_; }

    // Window width: design width with the right-hand column, or narrow (pages only).
    bool IsWide() const { return wide_; }
    void SetWide(bool wide);
    // Shows or hides the log list; the window widens with it.
    void ShowLogList(bool show);
    bool IsShrunk() const { return shrunk_; }

    // One interface search (the connection timer's tick); true when a box was found.
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
    // DiscoveryHost
    void StopTimers() override;
    void RetrySearchLater() override;
    void StartMonitor() override;
    void SelectEncoderPower(bool on) override;
    std::string InterfaceText() const override;
    void ShowInterfaceText(const std::string& text) override;
    void ShowPort(const std::string& port) override;
    void ProcessEventsOnce() override;
    void Warn(const std::string& text) override;
    void ForgetEncoder() override;
    void ShowConnectedPages() override;
    void ResetWorkingValues() override;
    void SetShrunk(bool shrunk) override;
    void SearchDone() override;

    void BuildBanner();
    void BuildPositionStrip();
    void BuildPages();
    void BuildTestPage();
    void BuildRightColumn();
    void ApplySize();
    PageVisibility Visibility() const;
    void ApplyVisibility(const PageVisibility& visibility);
    void PageChange(int index);
    void Image1Click();

    Link link_;
    EncoderIdentity identity_;
    std::unique_ptr<QtDialogs> ownDialogs_;
    Dialogs* dialogs_;
    std::unique_ptr<QtStatusView> statusView_;
    std::unique_ptr<StatusLine> statusLine_;
    std::unique_ptr<Discovery> discovery_;

    bool wide_ = false;
    bool shrunk_ = false;
    bool searching_ = false;
    bool inTick_ = false;
    int armedGesture_ = 0; // the gesture letter pressed with Ctrl+Shift, until it comes up

    QFrame* pnl1Top_ = nullptr;
    LogoLabel* image1_ = nullptr;
    QGroupBox* gInterfaceInfo_ = nullptr;
    QLabel* lblComPort_ = nullptr;
    QLabel* lblInterfaceVer_ = nullptr;
    QLabel* lblStatus_ = nullptr;
    QFrame* pnlComm_ = nullptr;
    QFrame* pnl2Mid_ = nullptr;
    QFrame* pnl1_ = nullptr;
    PageControl* pageControl_ = nullptr;
    std::array<QWidget*, kPageCount> pages_{};
    InterfaceSettingsPage* settingsPage_ = nullptr;
    PowerCyclePanel* powerCycle_ = nullptr;
    QSpinBox* seFrekvencaBranja_ = nullptr;
    QPlainTextEdit* memo1_ = nullptr;
    QFrame* pnlProizvodnja_ = nullptr;
    QLabel* lblSerijskaRezultat_ = nullptr;

    QTimer* initTimer_ = nullptr;
    QTimer* loopTimer_ = nullptr;

    std::vector<std::function<void(Page)>> pageChangeHooks_;
    std::vector<std::function<void()>> resetHooks_;
    std::vector<std::function<void()>> shutdownHooks_;
    std::function<void()> monitorTick_;
};
