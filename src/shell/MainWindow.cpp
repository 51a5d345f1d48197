#include "shell/MainWindow.h"

#include "shell/ChartSaving.h"
#include "shell/Colours.h"
#include "shell/Logo.h"
#include "shell/PageControl.h"
#include "shell/QtDialogs.h"
#include "shell/QtStatusView.h"
#include "shell/SessionTimers.h"
#include "shell/TickerLabel.h"
#include "shell/WaitWithMessages.h"
#include "shell/WidgetFactory.h"
#include "util/Text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#ifndef K417_VERSION
#define K417_VERSION ""
#endif

namespace {
constexpr Rgb kBandColour{255, 128, 64};
constexpr Rgb kWarnColour{255, 170, 0};
constexpr Rgb kWhite{255, 255, 255};

QFont PointFont(const QFont& base, int points, bool bold = false)
{
    QFont font = base;
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}
} // namespace

namespace {
// Waiting inside a session step serves the window's events.
class WindowClock final : public SessionClock {
public:
    void Wait(int ms) override { ::WaitWithMessages(ms); }
};
} // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ownDialogs_(options.dialogs ? nullptr : std::make_unique<QtDialogs>(this)),
      dialogs_(options.dialogs ? options.dialogs : ownDialogs_.get()),
      chartSaver_(std::make_unique<ChartImageSaver>(*dialogs_))
{
    setObjectName("MainForm");
    setWindowTitle(QString("Zolvan K417-3C bidirectional BiSS (%1)").arg(K417_VERSION));
    QFont font("Tahoma");
    font.setPointSize(8);
    setFont(font);

    initTimer_ = new QTimer(this);
    initTimer_->setObjectName("initTimer");
    initTimer_->setInterval(250);
    loopTimer_ = new QTimer(this);
    loopTimer_->setObjectName("LoopTimer");
    loopTimer_->setInterval(50);
    // The monitor interval goes down to 1 ms; a coarse timer would stretch it.
    loopTimer_->setTimerType(Qt::PreciseTimer);
    searchTimer_ = std::make_unique<QtSessionTimer>(initTimer_, [this] { initTimerTimer(); });
    monitorTimer_ = std::make_unique<QtSessionTimer>(loopTimer_, [this] { LoopTimerTimer(); }, true);
    clock_ = std::make_unique<WindowClock>();

    SessionEnvironment environment;
    environment.portLister = std::move(options.portLister);
    environment.portOpener = std::move(options.portOpener);
    environment.searchTimer = searchTimer_.get();
    environment.monitorTimer = monitorTimer_.get();
    environment.clock = clock_.get();
    session_ = std::make_unique<Session>(std::move(environment));

    BuildBanner();
    statusView_ = std::make_unique<QtStatusView>(statusBox_, pnlComm_);
    statusLine_ = std::make_unique<StatusLine>(*statusView_);
    // The frame is told first: the status line, then what the frame shows.
    session_->AddObserver(statusLine_.get());
    session_->AddObserver(static_cast<SessionObserver*>(this));
    BuildPositionStrip();
    BuildRightColumn();
    BuildPages(options.pages);


    // Start-up: shrunk to the banner and narrow to the pages until a box is found.
    shrunk_ = true;
    wide_ = false;
    ApplySize();
    SetProduction(options.production);

    // Key preview: the gestures work whichever control has the focus.
    qApp->installEventFilter(this);

    if (options.startSearch) {
        initTimer_->start();
        // The first search runs as soon as the event loop does, not a whole
        // search interval later.
        QTimer::singleShot(0, this, [this] {
            if (initTimer_->isActive())
                initTimerTimer();
        });
    }
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    initTimer_->stop();
    loopTimer_->stop();
    // Pages observe the session: they go before it does, and without the
    // page switches that removing their tabs would report.
    disconnect(pageControl_, nullptr, this, nullptr);
    contents_.fill(nullptr);
    for (QWidget* page : pages_)
        delete page;
    pages_.fill(nullptr);
    session_->RemoveObserver(static_cast<SessionObserver*>(this));
    session_->RemoveObserver(statusLine_.get());
}

void MainWindow::BuildBanner()
{
    pnl1Top_ = Make<QFrame>(this, "pnl1Top", QRect(0, 0, kDesignWidth, kBannerHeight));
    SetPanelColour(pnl1Top_, kWhite);
    pnl1Top_->lower();

    // The logo sits at the top so that the status text below it has room for
    // its outcome, cause, command and reply.
    image1_ = Make<LogoLabel>(this, "Image1", QRect(293, 4, 126, 31));
    image1_->setPixmap(MakeLogo(126, 31));
    image1_->setCursor(Qt::PointingHandCursor);
    image1_->setToolTip("Click to restart the position read-out");
    connect(image1_, &LogoLabel::clicked, this, [this] { session_->RestartMonitor(); });

    gInterfaceInfo_ = Make<QGroupBox>(this, "gInterfaceInfo", QRect(8, 6, 270, 59));
    gInterfaceInfo_->setTitle("Interface info");
    lblComPort_ = MakeTickerLabel(gInterfaceInfo_, "lblComPort", "Com Port", QRect(8, 16, 256, 18));
    lblComPort_->setFont(PointFont(font(), 10));
    lblInterfaceVer_ = MakeTickerLabel(gInterfaceInfo_, "lblInterfaceVer", "Interface Version", QRect(8, 36, 256, 18));
    lblInterfaceVer_->setFont(PointFont(font(), 10));
    // Both labels change at every search and the port label is repainted at
    // once while its port is probed: on the banner's white of their own, a
    // new text repaints the label alone, not the group and banner beneath,
    // from glyphs drawn once (a search every quarter second while no box
    // answers).
    for (TickerLabel* label : {lblComPort_, lblInterfaceVer_})
        SetPanelColour(label, kWhite);

    statusBox_ = new StatusBox(this, QRect(kStatusLeft, kStatusTop, kNarrowWidth - kStatusLeft - 4,
                                           kBannerHeight - kStatusTop), PointFont(font(), 7));
    lblStatus_ = statusBox_->Label();
    lblStatus_->setAutoFillBackground(true);
    SetPanelColour(lblStatus_, kWhite);

    pnlComm_ = Make<ActivityLamp>(this, "pnlComm", QRect(280, 6, 12, 12));
    pnlComm_->SetColour(kColourLampStart);

    pnl2Mid_ = Make<QFrame>(this, "pnl2Mid", QRect(0, kBannerHeight, kDesignWidth, kBandHeight));
    SetPanelColour(pnl2Mid_, kBandColour);
}

void MainWindow::BuildPositionStrip()
{
    pnl1_ = Make<QFrame>(this, "pnl1", QRect(8, 95, 407, 49));
    pnl1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnl1_->setToolTip("Encoder Singleturn position");
    auto* lblPosUnit = strip_.lblPosUnit = MakeTickerLabel(pnl1_, "lblPosUnit", "Position in units", QRect(4, 4, 330, 41));
    lblPosUnit->setFont(PointFont(font(), 14, true));
    lblPosUnit->setAlignment(Qt::AlignCenter);
    QPalette navy = lblPosUnit->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    lblPosUnit->setPalette(navy);
    auto* pnlEncWarn = MakeLabel(pnl1_, "pnlEncWarn", "warning", QRect(340, 4, 62, 19));
    pnlEncWarn->setAlignment(Qt::AlignCenter);
    SetPanelColour(pnlEncWarn, kWarnColour);
    auto* pnlEncErr = MakeLabel(pnl1_, "pnlEncErr", "error", QRect(340, 26, 62, 19));
    pnlEncErr->setAlignment(Qt::AlignCenter);
    SetPanelColour(pnlEncErr, kColourError);
    strip_.pnlEncWarn = pnlEncWarn;
    strip_.pnlEncErr = pnlEncErr;
}

void MainWindow::BuildPages(const std::vector<PageEntry>& entries)
{
    pageControl_ = Make<PageControl>(this, "Page", QRect(kPageLeft, kPageTop, kPageWidth, kPageHeight));
    std::vector<PageInfo> tabs(kPages.begin(), kPages.end());
    tabs.push_back(kProductionPage);
    for (const PageInfo& info : tabs) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(info.objectName.data(), static_cast<qsizetype>(info.objectName.size())));
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        pages_[static_cast<size_t>(PageIndex(info.page))] = page;
        pageControl_->addTab(page, QString::fromLatin1(info.caption.data(), static_cast<qsizetype>(info.caption.size())));
    }
    for (const PageEntry& entry : entries) {
        const size_t index = static_cast<size_t>(PageIndex(entry.id));
        if (!entry.make || contents_[index])
            continue;
        Page* content = entry.make(*this);
        if (!content)
            continue;
        content->SetId(entry.id);
        contents_[index] = content;
        pages_[index]->layout()->addWidget(content);
    }
    const PageId current = ActivePage();
    TellPages([current](Page& page) { page.PageSwitched(current); });

    connect(pageControl_, &PageControl::pageChanged, this, &MainWindow::PageChange);
}

void MainWindow::TellPages(const std::function<void(Page&)>& tell)
{
    for (Page* page : contents_)
        if (page)
            tell(*page);
}

void MainWindow::BuildRightColumn()
{
    memo1_ = Make<QPlainTextEdit>(this, "Memo1", QRect(427, 95, 177, 572));
    memo1_->setFont(PointFont(font(), 7));
    memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo1_->setVisible(false);

    pnlProizvodnja_ = Make<QFrame>(this, "pnlProizvodnja", QRect(441, 178, 152, 282));
    pnlProizvodnja_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    MakeLabel(pnlProizvodnja_, "Label4", QString::fromUtf8("Serijska številka"), QRect(10, 12, 132, 18));
    auto* edSerijskaVpis = Make<QLineEdit>(pnlProizvodnja_, "edSerijskaVpis", QRect(10, 34, 132, 24));
    edSerijskaVpis->setMaxLength(6);
    edSerijskaVpis->setFont(PointFont(font(), 10));
    auto* btnVpisSerijske = Make<QPushButton>(pnlProizvodnja_, "btnVpisSerijske", QRect(10, 66, 132, 26));
    btnVpisSerijske->setText(QString::fromUtf8("Vpiši serijsko"));
    lblSerijskaRezultat_ = MakeLabel(pnlProizvodnja_, "lblSerijskaRezultat", "", QRect(10, 100, 132, 40));
    lblSerijskaRezultat_->setWordWrap(true);
    // Entering a serial number is not offered yet: the button only clears the result.
    connect(btnVpisSerijske, &QPushButton::clicked, this, [this] { lblSerijskaRezultat_->clear(); });
    pnlProizvodnja_->setVisible(false);
}

void MainWindow::ApplySize()
{
    const int width = wide_ ? kDesignWidth : kNarrowWidth;
    const int height = shrunk_ ? kShrunkHeight : kDesignHeight;
    pnl1Top_->setGeometry(0, 0, width, kBannerHeight);
    pnl2Mid_->setGeometry(0, kBannerHeight, width, kBandHeight);
    // The status text takes the banner's whole right-hand side.
    statusBox_->resize(width - kStatusLeft - 4, statusBox_->height());
    setFixedSize(width, height);
}

void MainWindow::SetWide(bool wide)
{
    wide_ = wide;
    ApplySize();
}

void MainWindow::ShowLogList(bool show)
{
    memo1_->setVisible(show);
    // The log the user asked for lies over the production panel.
    if (show)
        memo1_->raise();
    SetWide(show);
}

void MainWindow::ClearLog()
{
    memo1_->clear();
}

void MainWindow::AppendLog(const std::string& line)
{
    memo1_->appendPlainText(Latin1Text(line));
}

void MainWindow::SetShrunk(bool shrunk)
{
    shrunk_ = shrunk;
    ApplySize();
}

bool MainWindow::InitTimerActive() const
{
    return initTimer_->isActive();
}

void MainWindow::SetInitTimerActive(bool on)
{
    if (on)
        searchTimer_->Start();
    else
        searchTimer_->Stop();
}

bool MainWindow::LoopTimerActive() const
{
    return monitorTimer_->Active();
}

void MainWindow::SetLoopTimerActive(bool on)
{
    if (on)
        monitorTimer_->Start();
    else
        monitorTimer_->Stop();
}

int MainWindow::LoopInterval() const
{
    return loopTimer_->interval();
}

PageId MainWindow::ActivePage() const
{
    return static_cast<PageId>(pageControl_->currentIndex());
}

void MainWindow::SetActivePage(PageId page)
{
    pageControl_->setCurrentIndex(PageIndex(page));
}

bool MainWindow::PageVisible(PageId page) const
{
    return pageControl_->isTabVisible(PageIndex(page));
}

void MainWindow::SetPageVisible(PageId page, bool visible)
{
    pageControl_->SetPageVisible(PageIndex(page), visible);
}

void MainWindow::SaveChartImage(const ChartView& chart)
{
    chartSaver_->Save(chart);
}

void MainWindow::WaitWithMessages(int ms)
{
    ::WaitWithMessages(ms);
}

void MainWindow::EnablePageControl(bool enabled)
{
    pageControl_->setEnabled(enabled);
}

void MainWindow::EnablePageSwitching(bool enabled)
{
    pageControl_->SetSwitching(enabled);
}

QWidget* MainWindow::PageWidget(PageId page) const
{
    return pages_[static_cast<size_t>(PageIndex(page))];
}

Page* MainWindow::PageContent(PageId page) const
{
    return contents_[static_cast<size_t>(PageIndex(page))];
}

bool MainWindow::initTimerTimer()
{
    return session_->SearchTick();
}

void MainWindow::LoopTimerTimer()
{
    session_->MonitorTick();
}

void MainWindow::PageChange(int index)
{
    const PageId page = static_cast<PageId>(index);
    TellPages([page](Page& content) { content.PageSwitched(page); });
    for (const auto& hook : pageChangeHooks_)
        hook(page);
    // The fastest read-out lasts until the next page switch.
    if (session_->MonitorInterval() == 1)
        session_->SetMonitorInterval(50);
    session_->ResumeMonitor();
}

// --- Service gestures -------------------------------------------------------

void MainWindow::ProductionGesture()
{
    SetProduction(!wide_);
}

void MainWindow::SetProduction(bool on)
{
    production_ = on;
    if (on)
        pnlProizvodnja_->setVisible(true);
    SetWide(on);
    if (!on && ActivePage() == PageId::tabProduction)
        SetActivePage(PageId::TabRegDirect);
    SetPageVisible(PageId::tabProduction, on);
}

PageVisibility MainWindow::Visibility() const
{
    PageVisibility visibility;
    for (const PageInfo& info : kPages)
        visibility.Set(info.page, PageVisible(info.page));
    return visibility;
}

void MainWindow::ApplyVisibility(const PageVisibility& visibility)
{
    for (const PageInfo& info : kPages)
        SetPageVisible(info.page, visibility.Visible(info.page));
    // The production page goes with the production layout alone.
    SetPageVisible(PageId::tabProduction, production_);
}

void MainWindow::ServiceGesture()
{
    PageVisibility visibility = Visibility();
    visibility.RevealService(GetLink().EncoderSignature.Zolvan_PartNumber);
    ApplyVisibility(visibility);
    TellPages([](Page& page) { page.ServiceRevealed(::ServiceGesture::Service); });
}

void MainWindow::FullServiceGesture()
{
    PageVisibility visibility;
    visibility.RevealAll();
    ApplyVisibility(visibility);
    TellPages([](Page& page) { page.ServiceRevealed(::ServiceGesture::FullService); });
}

void MainWindow::DebugGesture()
{
    if (!PageVisible(PageId::tabTorvikCalibration))
        return;
    TellPages([](Page& page) { page.ServiceRevealed(::ServiceGesture::Debug); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A gesture is the letter pressed with exactly Ctrl+Shift; it acts when
    // that letter comes up, whether or not the modifiers are still held then.
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->isAutoRepeat())
        return armedGesture_ != 0 && key->key() == armedGesture_;
    if (event->type() == QEvent::KeyPress) {
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        const bool gestureKey =
            key->key() == Qt::Key_P || key->key() == Qt::Key_S || key->key() == Qt::Key_F || key->key() == Qt::Key_D;
        if (!gestureKey || mods != (Qt::ControlModifier | Qt::ShiftModifier))
            return false;
        armedGesture_ = key->key();
        return true;
    }
    if (armedGesture_ == 0 || key->key() != armedGesture_)
        return false;
    const int gesture = armedGesture_;
    armedGesture_ = 0;
    switch (gesture) {
    case Qt::Key_P:
        ProductionGesture();
        break;
    case Qt::Key_S:
        ServiceGesture();
        break;
    case Qt::Key_F:
        FullServiceGesture();
        break;
    case Qt::Key_D:
        DebugGesture();
        break;
    }
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Pages finish their work (an open recording file among it) first.
    TellPages([](Page& page) { page.WindowClosing(); });
    session_->Close();
    QWidget::closeEvent(event);
}

// --- What the session reports -----------------------------------------------

void MainWindow::SearchStarted(const std::string& interfaceText)
{
    lblInterfaceVer_->setText(Latin1Text(interfaceText));
    // The port label is emptied at the start of a search; the search itself
    // runs without serving events, so nobody sees it empty unless no port
    // is probed: it is emptied then (SearchFinished), and otherwise goes
    // straight to the port probed.
    portProbed_ = false;
}

void MainWindow::Probing(const std::string& port)
{
    portProbed_ = true;
    const QString text = QString::fromStdString(port);
    // A search every quarter second probes the same port again and again:
    // the label already shows it.
    if (lblComPort_->text() == text)
        return;
    lblComPort_->setText(text);
    // The label shows the port while it is probed, without serving other events.
    lblComPort_->repaint();
}

void MainWindow::BoxFound(const SearchOutcome& outcome)
{
    lblComPort_->setText(QString::fromStdString(outcome.port));
    lblInterfaceVer_->setText(Latin1Text(outcome.interfaceText));
    if (outcome.oldFirmware)
        dialogs_->Message(std::string(kOldFirmwareWarning), MessageKind::Warning);
}

void MainWindow::ConnectionReset()
{
    // "Direct registers" first, so that hiding the current page does not pass
    // through other pages on the way.
    SetActivePage(PageId::TabRegDirect);
    PageVisibility visibility = Visibility();
    visibility.HideEncoderPages();
    ApplyVisibility(visibility);
}

void MainWindow::SearchFinished(const SearchOutcome& outcome)
{
    if (!portProbed_)
        lblComPort_->clear();
    SetShrunk(!outcome.found);
    Status().FlipActivity();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void MainWindow::Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities)
{
    Status().FlipActivity();
    if (!outcome.signatureRead)
        return;
    const PageSet shown = IdentifiedPages(capabilities);
    for (int i = PageIndex(PageId::TabEDS); i < kPageCount; ++i)
        SetPageVisible(static_cast<PageId>(i), shown.test(static_cast<size_t>(i)));
    if (outcome.compatibilityMessage)
        dialogs_->Message(*outcome.compatibilityMessage, MessageKind::Warning);
}

void MainWindow::DebugUnlocked(bool ok)
{
    if (ok)
        PageChange(pageControl_->currentIndex());
}

void MainWindow::Ticked(const TickReport& report)
{
    for (const std::string& line : report.logLines)
        AppendLog(line);
    if (report.ending == TickReport::Ending::Ok)
        Status().FlipActivity();
}
