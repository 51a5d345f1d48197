#include "app/MainWindow.h"

#include "app/Colours.h"
#include "app/Logo.h"
#include "app/PageControl.h"
#include "app/QtDialogs.h"
#include "app/QtStatusView.h"
#include "app/WaitWithMessages.h"
#include "app/WidgetFactory.h"
#include "link/InterfaceSettingsPage.h"
#include "link/PortList.h"
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

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ownDialogs_(options.dialogs ? nullptr : std::make_unique<QtDialogs>(this)),
      dialogs_(options.dialogs ? options.dialogs : ownDialogs_.get())
{
    setObjectName("MainForm");
    setWindowTitle(QString("Zolvan K417-3C bidirectional BiSS (%1)").arg(K417_VERSION));
    QFont font("Tahoma");
    font.setPointSize(8);
    setFont(font);

    BuildBanner();
    statusView_ = std::make_unique<QtStatusView>(lblStatus_, pnlComm_);
    statusLine_ = std::make_unique<StatusLine>(link_, identity_, *statusView_);
    BuildPositionStrip();
    BuildPages();
    BuildRightColumn();

    initTimer_ = new QTimer(this);
    initTimer_->setObjectName("initTimer");
    initTimer_->setInterval(250);
    loopTimer_ = new QTimer(this);
    loopTimer_->setObjectName("LoopTimer");
    loopTimer_->setInterval(50);
    // The monitor interval goes down to 1 ms; a coarse timer would stretch it.
    loopTimer_->setTimerType(Qt::PreciseTimer);
    connect(initTimer_, &QTimer::timeout, this, [this] { initTimerTimer(); });
    connect(loopTimer_, &QTimer::timeout, this, &MainWindow::LoopTimerTimer);

    PortLister lister = options.portLister ? std::move(options.portLister) : PortLister([] { return ListUsbSerialPorts(); });
    PortOpener opener = options.portOpener ? std::move(options.portOpener) : PortOpener(OpenSerialDevice);
    discovery_ = std::make_unique<Discovery>(link_, static_cast<DiscoveryHost&>(*this), std::move(lister), std::move(opener));

    // Start-up: shrunk to the banner and narrow to the pages until a box is found.
    shrunk_ = true;
    wide_ = false;
    if (options.production) {
        wide_ = true;
        pnlProizvodnja_->setVisible(true);
    }
    ApplySize();

    // Key preview: the gestures work whichever control has the focus.
    qApp->installEventFilter(this);

    if (options.startSearch)
        initTimer_->start();
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    initTimer_->stop();
    loopTimer_->stop();
}

void MainWindow::BuildBanner()
{
    pnl1Top_ = Make<QFrame>(this, "pnl1Top", QRect(0, 0, kDesignWidth, kBannerHeight));
    SetPanelColour(pnl1Top_, kWhite);
    pnl1Top_->lower();

    image1_ = Make<LogoLabel>(this, "Image1", QRect(293, 23, 126, 31));
    image1_->setPixmap(MakeLogo(126, 31));
    image1_->setCursor(Qt::PointingHandCursor);
    image1_->setToolTip("Click to restart the position read-out");
    connect(image1_, &LogoLabel::clicked, this, &MainWindow::Image1Click);

    gInterfaceInfo_ = Make<QGroupBox>(this, "gInterfaceInfo", QRect(8, 6, 270, 59));
    gInterfaceInfo_->setTitle("Interface info");
    lblComPort_ = MakeLabel(gInterfaceInfo_, "lblComPort", "Com Port", QRect(8, 16, 256, 18));
    lblComPort_->setFont(PointFont(font(), 10));
    lblInterfaceVer_ = MakeLabel(gInterfaceInfo_, "lblInterfaceVer", "Interface Version", QRect(8, 36, 256, 18));
    lblInterfaceVer_->setFont(PointFont(font(), 10));

    // Two lines show, the outcome and its reason, at the foot of the banner;
    // the whole text (with the command and reply) is its tooltip.
    const QFont statusFont = PointFont(font(), 7);
    const int statusHeight = 2 * QFontMetrics(statusFont).lineSpacing();
    lblStatus_ = Make<QLabel>(this, "lblStatus", QRect(280, kBannerHeight - statusHeight, 149, statusHeight));
    lblStatus_->setFont(statusFont);
    lblStatus_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lblStatus_->setAutoFillBackground(true);
    SetPanelColour(lblStatus_, kWhite);

    pnlComm_ = Make<QFrame>(this, "pnlComm", QRect(407, 6, 12, 12));
    pnlComm_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    SetPanelColour(pnlComm_, kColourLampStart);

    pnl2Mid_ = Make<QFrame>(this, "pnl2Mid", QRect(0, kBannerHeight, kDesignWidth, kBandHeight));
    SetPanelColour(pnl2Mid_, kBandColour);
}

void MainWindow::BuildPositionStrip()
{
    pnl1_ = Make<QFrame>(this, "pnl1", QRect(8, 95, 407, 49));
    pnl1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnl1_->setToolTip("Encoder Singleturn position");
    auto* lblPosUnit = MakeLabel(pnl1_, "lblPosUnit", "Position in units", QRect(4, 4, 330, 41));
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
}

void MainWindow::BuildPages()
{
    pageControl_ = Make<PageControl>(this, "Page", QRect(kPageLeft, kPageTop, kPageWidth, kPageHeight));
    for (const PageInfo& info : kPages) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(info.objectName.data(), static_cast<qsizetype>(info.objectName.size())));
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        pages_[static_cast<size_t>(PageIndex(info.page))] = page;
        pageControl_->addTab(page, QString::fromLatin1(info.caption.data(), static_cast<qsizetype>(info.caption.size())));
    }

    settingsPage_ = new InterfaceSettingsPage(link_, [this] { Status().FlipActivity(); });
    InstallPage(Page::TabSettings, settingsPage_);
    BuildTestPage();

    connect(pageControl_, &PageControl::pageChanged, this, &MainWindow::PageChange);
}

void MainWindow::BuildTestPage()
{
    auto* content = new QWidget;
    content->setObjectName("TestPageContent");
    powerCycle_ = new PowerCyclePanel(*settingsPage_, content);
    powerCycle_->setGeometry(8, 8, 385, 78);

    auto* gMonitor = Make<QGroupBox>(content, "gMonitorInterval", QRect(8, 92, 385, 52));
    gMonitor->setTitle(" Reading ");
    MakeLabel(gMonitor, "lblFrekvencaBranja", "Delay between readings (ms)", QRect(10, 22, 180, 18));
    seFrekvencaBranja_ = Make<QSpinBox>(gMonitor, "seFrekvencaBranja", QRect(192, 20, 62, 22));
    seFrekvencaBranja_->setRange(1, 10000);
    seFrekvencaBranja_->setValue(50);
    auto* btn2 = Make<QPushButton>(gMonitor, "btn2", QRect(260, 18, 115, 26));
    btn2->setText("Max update rate");
    connect(seFrekvencaBranja_, &QSpinBox::valueChanged, this, [this](int ms) { loopTimer_->setInterval(ms); });
    connect(btn2, &QPushButton::clicked, this, [this] {
        settingsPage_->SetFrequency(1);
        seFrekvencaBranja_->setValue(1);
    });
    InstallPage(Page::tabTest, content);
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

void MainWindow::SetShrunk(bool shrunk)
{
    shrunk_ = shrunk;
    ApplySize();
}

PowerSwitch& MainWindow::EncoderPower()
{
    return *settingsPage_;
}

bool MainWindow::InitTimerActive() const
{
    return initTimer_->isActive();
}

void MainWindow::SetInitTimerActive(bool on)
{
    if (on && !initTimer_->isActive())
        initTimer_->start();
    else if (!on)
        initTimer_->stop();
}

bool MainWindow::LoopTimerActive() const
{
    return loopTimer_->isActive();
}

void MainWindow::SetLoopTimerActive(bool on)
{
    if (on && !loopTimer_->isActive())
        loopTimer_->start();
    else if (!on)
        loopTimer_->stop();
}

int MainWindow::LoopInterval() const
{
    return loopTimer_->interval();
}

void MainWindow::SetLoopInterval(int ms)
{
    loopTimer_->setInterval(ms);
}

Page MainWindow::ActivePage() const
{
    return static_cast<Page>(pageControl_->currentIndex());
}

void MainWindow::SetActivePage(Page page)
{
    pageControl_->setCurrentIndex(PageIndex(page));
}

bool MainWindow::PageVisible(Page page) const
{
    return pageControl_->isTabVisible(PageIndex(page));
}

void MainWindow::SetPageVisible(Page page, bool visible)
{
    pageControl_->SetPageVisible(PageIndex(page), visible);
}

void MainWindow::WaitWithMessages(int ms)
{
    ::WaitWithMessages(ms);
}

QWidget* MainWindow::PageWidget(Page page) const
{
    return pages_[static_cast<size_t>(PageIndex(page))];
}

void MainWindow::InstallPage(Page page, QWidget* content)
{
    PageWidget(page)->layout()->addWidget(content);
}

bool MainWindow::initTimerTimer()
{
    if (searching_)
        return false;
    searching_ = true;
    bool found = discovery_->Search();
    searching_ = false;
    return found;
}

void MainWindow::LoopTimerTimer()
{
    if (inTick_ || searching_ || !monitorTick_)
        return;
    inTick_ = true;
    monitorTick_();
    inTick_ = false;
}

void MainWindow::PageChange(int index)
{
    const Page page = static_cast<Page>(index);
    for (const auto& hook : pageChangeHooks_)
        hook(page);
    if (seFrekvencaBranja_->value() == 1)
        seFrekvencaBranja_->setValue(50);
    // Leaving the monitor off while searching; a running tick re-arms it itself.
    if (!initTimer_->isActive() && !searching_ && !inTick_)
        SetLoopTimerActive(true);
}

void MainWindow::Image1Click()
{
    if (!searching_ && !inTick_)
        SetLoopTimerActive(true);
}

// --- Service gestures -------------------------------------------------------

void MainWindow::ProductionGesture()
{
    if (wide_) {
        SetWide(false);
    } else {
        SetWide(true);
        pnlProizvodnja_->setVisible(true);
    }
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
}

void MainWindow::ServiceGesture()
{
    PageVisibility visibility = Visibility();
    visibility.RevealService(link_.EncoderSignature.Zolvan_PartNumber);
    ApplyVisibility(visibility);
    for (const char* name : {"edTC0_2E", "edQC0_2E"})
        if (auto* edit = findChild<QLineEdit*>(name))
            edit->setReadOnly(false);
    powerCycle_->RevealControls();
}

void MainWindow::FullServiceGesture()
{
    PageVisibility visibility;
    visibility.RevealAll();
    ApplyVisibility(visibility);
    powerCycle_->setVisible(true);
}

void MainWindow::DebugGesture()
{
    if (!PageVisible(Page::tabTorvikCalibration))
        return;
    if (auto* button = findChild<QWidget*>("btnTorvikDebugUnlock"))
        button->setVisible(true);
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
    initTimer_->stop();
    loopTimer_->stop();
    for (const auto& hook : shutdownHooks_)
        hook();
    link_.ClosePort();
    QWidget::closeEvent(event);
}

// --- Interface search -------------------------------------------------------

void MainWindow::StopTimers()
{
    initTimer_->stop();
    loopTimer_->stop();
}

void MainWindow::RetrySearchLater()
{
    initTimer_->start();
}

void MainWindow::StartMonitor()
{
    initTimer_->stop();
    loopTimer_->start();
}

void MainWindow::SelectEncoderPower(bool on)
{
    settingsPage_->Select(on);
}

std::string MainWindow::InterfaceText() const
{
    QByteArray text = lblInterfaceVer_->text().toLatin1();
    return std::string(text.constData(), static_cast<size_t>(text.size()));
}

void MainWindow::ShowInterfaceText(const std::string& text)
{
    lblInterfaceVer_->setText(Latin1Text(text));
}

void MainWindow::ShowPort(const std::string& port)
{
    lblComPort_->setText(QString::fromStdString(port));
}

void MainWindow::ProcessEventsOnce()
{
    QCoreApplication::processEvents();
}

void MainWindow::Warn(const std::string& text)
{
    dialogs_->Message(text, MessageKind::Warning);
}

void MainWindow::ForgetEncoder()
{
    identity_.EncoderConnected = false;
}

void MainWindow::ResetWorkingValues()
{
    identity_.ResetForConnection();
    for (const auto& hook : resetHooks_)
        hook();
}

void MainWindow::ShowConnectedPages()
{
    // "Direct registers" first, so that hiding the current page does not pass
    // through other pages on the way.
    SetActivePage(Page::TabRegDirect);
    PageVisibility visibility = Visibility();
    visibility.HideEncoderPages();
    ApplyVisibility(visibility);
}

void MainWindow::SearchDone()
{
    Status().FlipActivity();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}
