// The main window: layout and start-up, the production switch, page
// visibility and the service gestures, the Interface Settings controls and
// the power-cycling test, against the simulated box.

#include "WindowHarness.h"

#include "app/CommandLine.h"
#include "shell/PageControl.h"
#include "shell/QtDialogs.h"
#include "shell/QtStatusView.h"
#include "shell/StatusLine.h"
#include "link/ui/InterfaceSettingsPage.h"
#include "sim/Simulator.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QSpinBox>
#include <QTabBar>
#include <QtTest>

#include <chrono>
#include <ctime>

namespace {

Rgb Colour(const QWidget* w)
{
    QColor c = w->palette().color(QPalette::Window);
    return Rgb{static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue())};
}

std::vector<std::string> Commands(const Simulator& sim, std::initializer_list<const char*> only)
{
    std::vector<std::string> out;
    for (const SimLogEntry& e : sim.CommandLog())
        for (const char* c : only)
            if (e.command == c)
                out.push_back(e.command);
    return out;
}

// Ctrl+Shift+letter; by default the modifiers come up before the letter, as
// they often do (and as xdotool sends them).
void Gesture(MainWindow& w, Qt::Key key, bool modifiersUpFirst = true)
{
    QWidget* target = w.focusWidget() ? w.focusWidget() : &w;
    QTest::keyPress(target, key, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyRelease(target, key, modifiersUpFirst ? Qt::NoModifier : Qt::ControlModifier | Qt::ShiftModifier);
}

std::vector<bool> TabsVisible(MainWindow& w)
{
    std::vector<bool> v;
    for (int i = 0; i < kPageCount; ++i)
        v.push_back(w.Pages()->isTabVisible(i));
    return v;
}

const std::vector<bool> kConnected = {true, true, true, false, false, false, false,
                                      false, false, false, false, false, false, false};

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    // Starts the simulator and lets the window find it.
    bool Connect(WindowHarness& h, Simulator& sim)
    {
        if (!sim.Running() && !sim.Start())
            return false;
        h.ports = {sim.PortPath()};
        return h->initTimerTimer();
    }

private slots:
    void startupLayout()
    {
        WindowHarness h({.production = false, .startSearch = true});
        h->show();
        QCOMPARE(h->windowTitle(), QString("Zolvan K417-3C bidirectional BiSS (" K417_VERSION ")"));
        QVERIFY(QString(K417_VERSION).count('.') >= 2);
        // Shrunk to the banner, narrow to the pages.
        QCOMPARE(h->size(), QSize(433, 89));
        QCOMPARE(h->maximumSize(), h->minimumSize());

        for (const char* name : {"pnl1Top", "Image1", "gInterfaceInfo", "lblComPort", "lblInterfaceVer", "lblStatus",
                                 "pnlComm", "pnl2Mid", "pnl1", "lblPosUnit", "pnlEncWarn", "pnlEncErr", "Page",
                                 "Memo1", "pnlProizvodnja", "edSerijskaVpis", "btnVpisSerijske", "lblSerijskaRezultat"})
            QVERIFY2(h.Find<QWidget>(name), name);
        QCOMPARE(h.Find<QLabel>("lblInterfaceVer")->text(), QString("Interface Version"));
        QCOMPARE(h.Find<QLabel>("lblComPort")->text(), QString("Com Port"));
        QCOMPARE(h.Find<QGroupBox>("gInterfaceInfo")->title(), QString("Interface info"));
        QCOMPARE(h.Find<QLabel>("lblPosUnit")->text(), QString("Position in units"));
        QCOMPARE(h.Find<ActivityLamp>("pnlComm")->Colour(), (Rgb{0, 68, 0}));
        QCOMPARE(Colour(h.Find<QWidget>("pnl2Mid")), (Rgb{255, 128, 64}));
        QCOMPARE(Colour(h.Find<QWidget>("pnl1Top")), (Rgb{255, 255, 255}));
        QVERIFY(!h.Find<QWidget>("Memo1")->isVisibleTo(h.window.get()));
        QVERIFY(!h.Find<QWidget>("pnlProizvodnja")->isVisibleTo(h.window.get()));
        QCOMPARE(h.Find<QWidget>("pnl1")->geometry(), QRect(8, 95, 407, 49));
        QCOMPARE(h->Pages()->geometry(), QRect(8, 147, 411, 520));

        QTabWidget* page = h->Pages();
        QCOMPARE(page->objectName(), QString("Page"));
        // The fourteen pages, and the production test page after them, hidden without the production layout.
        QCOMPARE(page->count(), kTabCount);
        QCOMPARE(page->tabText(kPageCount), QString("Production test"));
        QVERIFY(!page->isTabVisible(kPageCount));
        for (const PageInfo& info : kPages) {
            const int i = PageIndex(info.page);
            QCOMPARE(page->tabText(i), QString::fromLatin1(info.caption.data(), info.caption.size()));
            QCOMPARE(page->widget(i)->objectName(), QString::fromLatin1(info.objectName.data(), info.objectName.size()));
            QVERIFY(page->isTabVisible(i));
        }
        QCOMPARE(page->tabText(0), QString("Interface Settings"));
        QCOMPARE(page->tabText(13), QString("Test"));

        QTimer* init = h.Timer("initTimer");
        QTimer* loop = h.Timer("LoopTimer");
        QTimer* onOff = h.Timer("timerOnOff");
        QVERIFY(init && loop && onOff);
        QCOMPARE(init->interval(), 250);
        QVERIFY(init->isActive());
        QCOMPARE(loop->interval(), 50);
        QCOMPARE(loop->timerType(), Qt::PreciseTimer);
        QVERIFY(!loop->isActive());
        QCOMPARE(onOff->interval(), 100);
        QVERIFY(!onOff->isActive());

        // Interface Settings page at its design values.
        auto* power = h.Find<QGroupBox>("rgEncoderPower");
        QCOMPARE(power->title(), QString(" Set Encoder Power "));
        QCOMPARE(h.SettingsPage()->PowerItem(), 1);
        QCOMPARE(h.Find<QSpinBox>("seFrequency")->value(), 4);
        QVERIFY(!h.Find<QSpinBox>("seDataLength")->isEnabled());
        QCOMPARE(h.Find<QLabel>("lblFrequencyResult")->text(), QString("(Result)"));
        for (const char* name : {"lblRXv", "lblRXi", "lblRX4", "lblRXm", "lblRXb", "lblRXe", "lblRXt", "lblRXs", "lblRXr"})
            QCOMPARE(h.Find<QLabel>(name)->text(), QString(name));
    }

    void statusLineShowsTheWholeTextWithCommandAndReply()
    {
        WindowHarness h;
        h->show();
        auto* label = h.Find<QLabel>("lblStatus");
        auto* box = h.Find<QScrollArea>("StatusBox");
        QVERIFY(label && box);
        // A short read of a whole bank: the reply is one long word.
        h->GetLink().LastErrorText = "End of bank reached\r\nCMD: R64:000 RCV: 1:10:" + std::string(128, 'A');
        h->GetSession().Report(true);
        QCOMPARE(label->text(), QString::fromStdString("Comm OK\r\n" + h->GetLink().LastErrorText));
        QCOMPARE(Colour(label), kColourOk);
        // Every line fits the box's width; what is taller than the box scrolls into view.
        const int width = box->viewport()->width();
        QVERIFY(label->width() <= width);
        QVERIFY(label->height() >= static_cast<WrappingLabel*>(label)->HeightFor(label->width()));
        QVERIFY(box->verticalScrollBar()->maximum() > 0);
        // The outcome, the cause and the command show without scrolling.
        QVERIFY(box->viewport()->height() >= 4 * label->fontMetrics().lineSpacing() - 2);
        if (const char* dir = std::getenv("K417_SHOTS"))
            h->grab().save(QString(dir) + "/status-long.png");

        h->GetLink().LastErrorText.clear();
        h->GetSession().Report(false);
        QCOMPARE(label->text(), QString("Error\r\n"));
        QCOMPARE(box->verticalScrollBar()->maximum(), 0);
        QCOMPARE(Colour(label), kColourError);
        // The banner's controls do not overlap.
        for (const char* a : {"gInterfaceInfo", "Image1", "pnlComm", "StatusBox"})
            for (const char* b : {"gInterfaceInfo", "Image1", "pnlComm", "StatusBox"})
                if (qstrcmp(a, b) < 0)
                    QVERIFY2(!h.Find<QWidget>(a)->geometry().intersects(h.Find<QWidget>(b)->geometry()),
                             qPrintable(QString("%1 over %2").arg(a, b)));
    }

    void fileDialogsRememberTheFolderUsedLast()
    {
        QStandardPaths::setTestModeEnabled(true);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        RememberFileFolder(dir.filePath("map.csv"));
        QCOMPARE(LastFileFolder(), dir.path());
        dir.remove(); // a folder that is gone is not offered
        QCOMPARE(LastFileFolder(), QString());
        QSettings().clear();
    }

    void searchWithoutBoxAlternatesAndStaysShrunk()
    {
        WindowHarness h({.production = false, .startSearch = true});
        h.ports = {"/nonexistent/ttyACM0"};
        auto* label = h.Find<QLabel>("lblInterfaceVer");
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), QString("Searching for interface"), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), QString("Searching for interface....."), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), QString("Searching for interface"), 2000);
        QCOMPARE(h->height(), MainWindow::kShrunkHeight);
        QVERIFY(h.Timer("initTimer")->isActive());
        QVERIFY(!h.Timer("LoopTimer")->isActive());
        QVERIFY(h.opened.size() >= 3);
        // The lamp blinks once per search.
        Rgb lamp = h.Find<ActivityLamp>("pnlComm")->Colour();
        QVERIFY(lamp == (Rgb{0, 68, 0}) || lamp == (Rgb{0, 187, 0}));
    }

    void productionSwitchInAnyCase()
    {
        for (const char* arg : {"/proizvodnja", "/ProIzvodNJA", "/PROIZVODNJA"}) {
            WindowHarness h({.production = ParseCommandLine({arg}).production});
            QCOMPARE(h->width(), MainWindow::kDesignWidth);
            QVERIFY(h.Find<QWidget>("pnlProizvodnja")->isVisibleTo(h.window.get()));
        }
        WindowHarness plain;
        QCOMPARE(plain->width(), MainWindow::kNarrowWidth);

        // The production button only clears its result label.
        WindowHarness h({.production = true});
        auto* result = h.Find<QLabel>("lblSerijskaRezultat");
        result->setText("old");
        QTest::mouseClick(h.Find<QPushButton>("btnVpisSerijske"), Qt::LeftButton);
        QCOMPARE(result->text(), QString());
        QCOMPARE(h.Find<QLineEdit>("edSerijskaVpis")->maxLength(), 6);
    }

    void connectedPagesAndGestures()
    {
        Simulator sim;
        WindowHarness h;
        h->show();
        h->SetActivePage(PageId::tabTest);
        QVERIFY(Connect(h, sim));
        QCOMPARE(TabsVisible(*h), kConnected);
        QCOMPARE(h->ActivePage(), PageId::TabRegDirect);
        QCOMPARE(h->height(), MainWindow::kDesignHeight);
        QVERIFY(h.Timer("LoopTimer")->isActive());
        QVERIFY(!h.Timer("initTimer")->isActive());
        QCOMPARE(h.SettingsPage()->PowerItem(), 0);
        QCOMPARE(Commands(sim, {"v", "N", "F"}), (std::vector<std::string>{"v", "N"}));
        QVERIFY(!h->Identity().EncoderConnected);

        auto* group = h.Find<QGroupBox>("GroupBoxPowerCycle");
        auto* start = h.Find<QCheckBox>("cbCiklirajIzklope");
        QWidget* testPage = h->PageWidget(PageId::tabTest);
        QVERIFY(!group->isVisibleTo(testPage));
        QVERIFY(!start->isVisibleTo(group));

        // Service gesture: User mem, BiSS Banks and Test; Error Map only for a Torvik part number.
        Gesture(*h, Qt::Key_S);
        std::vector<bool> service = kConnected;
        service[4] = service[5] = service[13] = true;
        QCOMPARE(TabsVisible(*h), service);
        QVERIFY(start->isVisibleTo(group));
        QVERIFY(!group->isVisibleTo(testPage));
        h->GetLink().EncoderSignature.Zolvan_PartNumber = "TV641-A";
        Gesture(*h, Qt::Key_S);
        service[8] = true;
        QCOMPARE(TabsVisible(*h), service);

        // Debug gesture: only while the Calibration page is shown.
        auto* unlock = h.Find<QPushButton>("btnTorvikDebugUnlock");
        QVERIFY(unlock && unlock->isHidden());
        Gesture(*h, Qt::Key_D);
        QVERIFY(unlock->isHidden());

        // Full service: every page and the power-cycling group.
        Gesture(*h, Qt::Key_F);
        QCOMPARE(TabsVisible(*h), std::vector<bool>(kPageCount, true));
        QVERIFY(group->isVisibleTo(testPage));
        Gesture(*h, Qt::Key_D);
        QVERIFY(!unlock->isHidden());

        // Production gesture toggles between narrow and full width.
        QCOMPARE(h->width(), MainWindow::kNarrowWidth);
        Gesture(*h, Qt::Key_P, false);
        QCOMPARE(h->width(), MainWindow::kDesignWidth);
        QVERIFY(h.Find<QWidget>("pnlProizvodnja")->isVisibleTo(h.window.get()));
        Gesture(*h, Qt::Key_P);
        QCOMPARE(h->width(), MainWindow::kNarrowWidth);

        // Only the exact combination counts, and only a press followed by its release.
        QTest::keyClick(h.window.get(), Qt::Key_P, Qt::ControlModifier);
        QTest::keyClick(h.window.get(), Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
        QTest::keyRelease(h.window.get(), Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(h->width(), MainWindow::kNarrowWidth);
        // A gesture typed into an edit field works too, and types nothing.
        auto* edit = h.Find<QLineEdit>("edSerijskaVpis");
        Gesture(*h, Qt::Key_P);
        edit->setFocus();
        QTest::keyPress(edit, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyRelease(edit, Qt::Key_P, Qt::NoModifier);
        QCOMPARE(h->width(), MainWindow::kNarrowWidth);
        QCOMPARE(edit->text(), QString());

        // The next search hides the revealed pages again.
        QVERIFY(h->initTimerTimer());
        QCOMPARE(TabsVisible(*h), kConnected);
    }

    void hiddenPagesCannotBeReachedFromTheKeyboard()
    {
        Simulator sim;
        WindowHarness h;
        h->show();
        QVERIFY(Connect(h, sim));
        PageControl* pages = h->Pages();
        std::vector<int> seen;
        // Tied to seen's lifetime: closing the window switches pages as its tabs go.
        QObject guard;
        QObject::connect(pages, &QTabWidget::currentChanged, &guard, [&](int i) { seen.push_back(i); });
        QWidget* focus = h.SettingsPage();
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(pages->currentWidget() ? pages->currentWidget() : focus, Qt::Key_Tab, Qt::ControlModifier);
            QVERIFY(pages->isTabVisible(pages->currentIndex()));
            QVERIFY(pages->currentIndex() <= 2);
        }
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(pages->currentWidget(), Qt::Key_PageDown, Qt::ControlModifier);
            QVERIFY(pages->currentIndex() <= 2);
            QTest::keyClick(pages->currentWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
            QVERIFY(pages->currentIndex() <= 2);
        }
        // Arrow keys on the tab bar itself.
        pages->setCurrentIndex(2);
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(pages->tabBar(), Qt::Key_Right);
            QVERIFY(pages->currentIndex() <= 2);
        }
        // Even a direct request for a hidden page leaves a visible one current.
        pages->setCurrentIndex(PageIndex(PageId::TabTorvikDebug));
        QVERIFY(pages->currentIndex() <= 2);
        QVERIFY(!seen.empty());
        // Ctrl+Tab did move through the visible pages.
        QVERIFY(std::find(seen.begin(), seen.end(), 0) != seen.end());
        QVERIFY(std::find(seen.begin(), seen.end(), 1) != seen.end());
    }

    void tabsWrapOntoRowsAndEachVisibleTabCanBeClicked()
    {
        Simulator sim;
        WindowHarness h;
        h->show();
        QVERIFY(Connect(h, sim));
        h->SetLoopTimerActive(false);
        PageControl* pages = h->Pages();
        MultiRowTabBar* tabs = pages->Tabs();
        const int rowsConnected = tabs->RowCount();
        Gesture(*h, Qt::Key_F);
        QVERIFY(tabs->RowCount() > rowsConnected);
        QCOMPARE(tabs->height(), tabs->RowCount() * tabs->RowTabRect(0).height());
        // The pages start below the last row of tabs.
        QVERIFY(h->PageWidget(PageId::TabSettings)->mapTo(pages, QPoint(0, 0)).y() >= tabs->geometry().bottom() - 2);

        for (int i = 0; i < kPageCount; ++i) {
            const QRect r = tabs->RowTabRect(i);
            QVERIFY(tabs->rect().contains(r));
            for (int j = 0; j < i; ++j)
                QVERIFY(!r.intersects(tabs->RowTabRect(j)));
            QTest::mouseClick(tabs, Qt::LeftButton, {}, r.center());
            QCOMPARE(pages->currentIndex(), i);
            // The row of the current tab lies next to the page.
            QCOMPARE(tabs->RowTabRect(i).bottom(), tabs->rect().bottom());
        }

        // The next search hides pages 3-13: they take no place and no click reaches them.
        QVERIFY(h->initTimerTimer());
        QCOMPARE(tabs->RowCount(), rowsConnected);
        QVERIFY(tabs->RowTabRect(PageIndex(PageId::tabTest)).isEmpty());
        QCOMPARE(tabs->RowTabAt(QPoint(tabs->width() - 2, tabs->height() / 2)), -1);
    }

    void pageSwitchStartsMonitorOnlyWhenNotSearching()
    {
        WindowHarness h({.production = false, .startSearch = true});
        QTimer* loop = h.Timer("LoopTimer");
        h->SetActivePage(PageId::TabPosition);
        QVERIFY(!loop->isActive());

        Simulator sim;
        QVERIFY(Connect(h, sim));
        int changes = 0;
        h->OnPageChange([&](PageId) { ++changes; });
        loop->stop();
        h->SetActivePage(PageId::TabSettings);
        QCOMPARE(changes, 1);
        QVERIFY(loop->isActive());

        // "Max update rate": clock setting 1 and a 1 ms interval, until the next page switch.
        sim.ClearCommandLog();
        QTest::mouseClick(h.Find<QPushButton>("btn2"), Qt::LeftButton);
        QCOMPARE(loop->interval(), 1);
        QCOMPARE(h.Find<QSpinBox>("seFrequency")->value(), 1);
        QVERIFY(sim.WaitForCommand("M01", 1000));
        h->SetActivePage(PageId::TabPosition);
        QCOMPARE(h.Find<QSpinBox>("seFrekvencaBranja")->value(), 50);
        QCOMPARE(loop->interval(), 50);
        QCOMPARE(changes, 2);
    }

    void logoClickRestartsTheMonitor()
    {
        Simulator sim;
        WindowHarness h;
        QVERIFY(Connect(h, sim));
        h->SetLoopTimerActive(false);
        QTest::mouseClick(h.Find<QWidget>("Image1"), Qt::LeftButton);
        QVERIFY(h.Timer("LoopTimer")->isActive());
    }

    void waitWithMessagesServesEventsWithoutSpinning()
    {
        WindowHarness h;
        bool posted = false;
        QMetaObject::invokeMethod(h.window.get(), [&] { posted = true; }, Qt::QueuedConnection);
        h->WaitWithMessages(0);
        QVERIFY(posted); // one pass even for no time at all

        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(20);
        const auto wallStart = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        h->WaitWithMessages(300);
        const auto wall = std::chrono::steady_clock::now() - wallStart;
        const double cpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        QVERIFY(wall >= std::chrono::milliseconds(300));
        QVERIFY(wall < std::chrono::milliseconds(1000));
        QVERIFY(ticks >= 5); // timers run during the wait
        QVERIFY2(cpuMs < 150, qPrintable(QString("busy for %1 ms of a 300 ms wait").arg(cpuMs)));
    }

    void powerSelectorSendsOnlyOnChange()
    {
        Simulator sim;
        WindowHarness h;
        QVERIFY(Connect(h, sim));
        h->SetLoopTimerActive(false);
        InterfaceSettingsPage* page = h.SettingsPage();
        auto* result = h.Find<QLabel>("lblEncoderPowerResult");
        QCOMPARE(result->text(), QString("Encoder power ON\r"));
        sim.ClearCommandLog();

        page->Select(true); // already ON
        page->Select(false);
        page->Select(false);
        QCOMPARE(result->text(), QString("Encoder power OFF\r"));
        QVERIFY(!sim.EncoderPowered());
        page->Select(true);
        QCOMPARE(Commands(sim, {"N", "F"}), (std::vector<std::string>{"F", "N"}));
        QVERIFY(sim.EncoderPowered());

        // A click by the user goes the same way.
        sim.ClearCommandLog();
        QTest::mouseClick(h.Find<QWidget>("rgEncoderPowerOFF"), Qt::LeftButton, {}, QPoint(5, 9));
        QCOMPARE(page->PowerItem(), 1);
        QTest::mouseClick(h.Find<QWidget>("rgEncoderPowerOFF"), Qt::LeftButton, {}, QPoint(5, 9));
        QCOMPARE(Commands(sim, {"N", "F"}), (std::vector<std::string>{"F"}));
    }

    void powerWithoutBoxShowsError()
    {
        WindowHarness h;
        h.SettingsPage()->Select(true);
        QCOMPARE(h.Find<QLabel>("lblEncoderPowerResult")->text(), QString("Error -3"));
    }

    void frequencyCommands()
    {
        Simulator sim;
        WindowHarness h;
        QVERIFY(Connect(h, sim));
        h->SetLoopTimerActive(false);
        auto* spin = h.Find<QSpinBox>("seFrequency");
        auto* result = h.Find<QLabel>("lblFrequencyResult");
        auto* lamp = h.Find<ActivityLamp>("pnlComm");
        sim.ClearCommandLog();

        const Rgb before = lamp->Colour();
        spin->setValue(0);
        QCOMPARE(lamp->Colour().g, static_cast<uint8_t>(255 - before.g));
        spin->setValue(9);
        spin->setValue(10);
        spin->setValue(10); // no change, nothing sent
        QCOMPARE(result->text(), QString("Clock 10\r"));
        spin->setValue(4);

        // Typing sends on every keystroke: "12" sends M01, then M12.
        spin->setFocus();
        spin->selectAll();
        QTest::keyClick(spin, Qt::Key_Backspace);
        QTest::keyClicks(spin, "12");
        QCOMPARE(CommandsSent(sim), (std::vector<std::string>{"M00", "M09", "M10", "M04", "M01", "M12"}));

        // Without a port the result label carries the transport result.
        h->GetLink().ClosePort();
        spin->setValue(5);
        QCOMPARE(result->text(), QString("Error -3"));
    }

    void powerCyclingThreeCyclesThenNone()
    {
        Simulator sim;
        WindowHarness h;
        QVERIFY(Connect(h, sim));
        h->SetLoopTimerActive(false);
        Gesture(*h, Qt::Key_S);
        Gesture(*h, Qt::Key_F);
        auto* count = h.Find<QSpinBox>("seSteviloIzklopov");
        auto* delay = h.Find<QSpinBox>("seIzklopDelay");
        auto* start = h.Find<QCheckBox>("cbCiklirajIzklope");
        QVERIFY(start->isVisibleTo(h->PageWidget(PageId::tabTest)));
        QCOMPARE(delay->value(), 100);
        count->setValue(3);
        std::vector<int> counts;
        QObject::connect(count, &QSpinBox::valueChanged, [&](int v) { counts.push_back(v); });
        std::chrono::steady_clock::time_point stopped{};
        QObject::connect(start, &QCheckBox::toggled, [&](bool on) {
            if (!on)
                stopped = std::chrono::steady_clock::now();
        });
        sim.ClearCommandLog();

        QTest::mouseClick(start, Qt::LeftButton, {}, QPoint(5, start->height() / 2));
        QVERIFY(start->isChecked());
        QVERIFY(h.Timer("timerOnOff")->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(!start->isChecked(), 5000);
        QVERIFY(!h.Timer("timerOnOff")->isActive());
        QCOMPARE(count->value(), 0);
        QCOMPARE(counts, (std::vector<int>{2, 1, 0}));

        std::vector<SimLogEntry> switches;
        for (const SimLogEntry& e : sim.CommandLog())
            if (e.command == "N" || e.command == "F")
                switches.push_back(e);
        QCOMPARE(switches.size(), size_t(6));
        for (size_t i = 0; i < switches.size(); ++i) {
            QCOMPARE(switches[i].command, std::string(i % 2 == 0 ? "F" : "N"));
            // One switch per interval of 100 ms: never two in one tick. (Half the
            // interval leaves room for timer and scheduling jitter.)
            if (i > 0)
                QVERIFY(switches[i].time - switches[i - 1].time >= std::chrono::milliseconds(50));
        }
        QVERIFY(sim.EncoderPowered());
        // "Start" clears itself one tick after the last power-on.
        QVERIFY(stopped - switches.back().time >= std::chrono::milliseconds(50));

        // With the count at 0 a start ends at the first tick and switches nothing.
        sim.ClearCommandLog();
        start->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!start->isChecked(), 2000);
        QVERIFY(Commands(sim, {"N", "F"}).empty());
        QVERIFY(!h.Timer("timerOnOff")->isActive());
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
