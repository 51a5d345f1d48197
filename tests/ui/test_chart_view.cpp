// A chart on a page keeps its backdrop (grid, frame, labels, titles) and
// draws only its series anew: the picture stays the one the renderer draws
// whole, as points come in and when the axes change.

#include "PaintNotes.h"
#include "chart/ChartRenderer.h"
#include "shell/ChartView.h"

#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <thread>

namespace {
// A chart in a shown window, its paint events noted, and the window as its
// backing store holds it (what a user sees).
struct ShownChart : PaintNotes {
    QWidget window;
    ChartView* view = nullptr;

    ShownChart()
    {
        window.resize(415, 220);
        view = new ChartView(&window);
        view->setGeometry(10, 10, 395, 200);
        ChartModel& chart = view->Model();
        chart.left.SetRange(0, 100);
        chart.left.title = "Air gap";
        chart.SetBottomRange(0, 360);
        chart.bottom.increment = 45;
        chart.bottom.title = "Angle (deg)";
        Watch(view);
        window.show();
    }
    QImage Screen() { return ScreenOf(window); }
    QRectF Plot() const { return LayOutChart(view->Model(), QRectF(view->rect()), view->font()).plot; }
    // Tells the chart of a change and waits for its repaint.
    bool Repainted()
    {
        painted = QRegion();
        view->Changed();
        return QTest::qWaitFor([&] { return !painted.isEmpty(); }, 2000);
    }
    // The screen equals a repaint of all of the chart.
    bool ShowsTheWholeChart()
    {
        const QImage before = Screen();
        painted = QRegion();
        view->update();
        if (!QTest::qWaitFor([&] { return !painted.isEmpty(); }, 2000))
            return false;
        return before == Screen();
    }
};
} // namespace

class ChartViewTest : public QObject {
    Q_OBJECT

    static QImage Whole(const ChartView& view)
    {
        QImage image(view.size(), QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setFont(view.font());
        DrawChart(painter, view.Model(), QRectF(image.rect()));
        return image;
    }

    static QImage Shown(ChartView& view) { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }

private slots:
    void showsTheWholeChartAsPointsComeAndAxesChange()
    {
        ChartView view;
        view.resize(395, 200);
        ChartModel& chart = view.Model();
        chart.left.SetRange(0, 100);
        chart.left.title = "Air gap";
        chart.SetBottomRange(0, 360);
        chart.bottom.increment = 45;
        chart.bottom.title = "Angle (deg)";
        ChartSeries& line = chart.AddSeries(SeriesKind::Line, ChartColours::kSteelBlue);
        ChartSeries& marks = chart.AddSeries(SeriesKind::Points, ChartColours::kFuchsia);
        QCOMPARE(Shown(view), Whole(view));
        for (int angle = 20; angle <= 200; angle += 20) {
            line.Add(static_cast<float>(angle), static_cast<float>(30 + angle / 10), angle == 100 ? ChartColours::kOrange
                                                                                                   : ChartColours::kSteelBlue);
            if (angle == 120)
                marks.Add(static_cast<float>(angle), 60);
            QCOMPARE(Shown(view), Whole(view));
        }
        // A new range: new grid and labels, the points drawn to it.
        chart.left.SetRange(0, 250);
        QCOMPARE(Shown(view), Whole(view));
        chart.bottom.title = "Position (mm)";
        QCOMPARE(Shown(view), Whole(view));
        view.resize(300, 180);
        QCOMPARE(Shown(view), Whole(view));
        chart.ClearSeries();
        QCOMPARE(Shown(view), Whole(view));
    }

    // A chart fed on every monitor tick repaints with the tick's other
    // values, not on a wake-up of its own: a change it finds due is painted
    // in the window's next repaint, one that comes too soon after a paint
    // waits for the next change, and a last change is painted all the same.
    void aFedChartRepaintsWithTheChangeThatFindsItDue()
    {
        ShownChart shown;
        ChartSeries& line = shown.view->Model().AddSeries(SeriesKind::Line, ChartColours::kSteelBlue);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        line.Add(0, 50);
        QVERIFY(shown.Repainted());
        QTimer* later = shown.view->findChild<QTimer*>();
        QVERIFY(later);
        QSignalSpy timerFired(later, &QTimer::timeout);

        // Just painted: not due.
        shown.painted = QRegion();
        line.Add(30, 60);
        shown.view->Changed();
        QCoreApplication::processEvents();
        QVERIFY(shown.painted.isEmpty());
        QVERIFY(later->isActive());

        // A change a repaint interval later is due: painted in the next pass.
        std::this_thread::sleep_for(std::chrono::milliseconds(ChartView::kMinRepaintMs));
        line.Add(60, 40);
        shown.view->Changed();
        QVERIFY(!later->isActive());
        QCoreApplication::processEvents();
        QVERIFY(!shown.painted.isEmpty());
        QCOMPARE(timerFired.count(), 0);

        // A last change too soon after that paint is painted by the timer.
        line.Add(90, 45);
        QVERIFY(shown.Repainted());
        QCOMPARE(timerFired.count(), 1);
        QVERIFY(shown.ShowsTheWholeChart());
    }

    // Points added to a line, stairs or marks repaint the band between their
    // neighbours, and the screen then shows exactly what a repaint of all of
    // the chart shows; anything else repaints all of it.
    void pointsAddedRepaintOnlyWhatTheyChange()
    {
        ShownChart shown;
        ChartModel& chart = shown.view->Model();
        ChartSeries& line = chart.AddSeries(SeriesKind::Line, ChartColours::kSteelBlue);
        ChartSeries& stairs = chart.AddSeries(SeriesKind::Stairs, ChartColours::kRed);
        ChartSeries& marks = chart.AddSeries(SeriesKind::Points, ChartColours::kFuchsia);
        for (int angle = 0; angle <= 360; angle += 30) {
            line.Add(static_cast<float>(angle), static_cast<float>(40 + angle % 70 / 3));
            stairs.Add(static_cast<float>(angle), static_cast<float>(70 - angle % 50 / 2));
        }
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        QVERIFY(shown.ShowsTheWholeChart());
        const double plotWidth = shown.Plot().width();
        const float nan = std::numeric_limits<float>::quiet_NaN();

        struct Step {
            const char* what;
            std::function<void()> add;
            bool narrow; // repaints less than a quarter of the plot's width
        };
        const std::vector<Step> steps = {
            {"a point between two of a line", [&] { line.Add(100, 90, ChartColours::kOrange); }, true},
            {"one beside it, out of order", [&] { line.Add(95, 10); }, true},
            {"a point on the x of another", [&] { line.Add(120, 5); }, true},
            {"a point with no y", [&] { line.Add(170, nan); }, true},
            {"a point beyond the axis", [&] { line.Add(400, 50); }, false},
            {"a stair between two", [&] { stairs.Add(200, 20); }, true},
            {"marks", [&] { marks.Add(250, 60); marks.Add(10, 99); }, false},
            {"a mark", [&] { marks.Add(300, 30); }, true},
            {"points to two series at once", [&] { line.Add(330, 80); stairs.Add(340, 90); }, true},
        };
        for (const Step& step : steps) {
            step.add();
            QVERIFY2(shown.Repainted(), step.what);
            const QRect part = shown.painted.boundingRect();
            if (step.narrow)
                QVERIFY2(part.width() < plotWidth / 4,
                         qPrintable(QString("%1: repainted %2 pixels' width").arg(step.what).arg(part.width())));
            QVERIFY2(shown.ShowsTheWholeChart(), step.what);
        }

        // Many points at once, or a series cleared: all of the chart.
        for (int i = 0; i < 100; ++i)
            line.Add(static_cast<float>(i * 3.6), static_cast<float>(50 + i % 7));
        QVERIFY(shown.Repainted());
        QCOMPARE(shown.painted.boundingRect(), shown.view->rect());
        QVERIFY(shown.ShowsTheWholeChart());
        stairs.Clear();
        QVERIFY(shown.Repainted());
        QCOMPARE(shown.painted.boundingRect(), shown.view->rect());
        QVERIFY(shown.ShowsTheWholeChart());
    }

    // A long series is drawn from its summary: a point added there repaints
    // the columns beside it, in the middle, at the ends and between others.
    void pointsAddedToALongSeriesRepaintOnlyWhatTheyChange()
    {
        ShownChart shown;
        ChartModel& chart = shown.view->Model();
        ChartSeries& line = chart.AddSeries(SeriesKind::Line, ChartColours::kSteelBlue);
        for (int i = 0; i < 6000; ++i) {
            const double angle = 360.0 * i / 6000;
            if (angle < 150 || angle > 170) // a gap to fill
                line.Add(static_cast<float>(angle), static_cast<float>(50 + 30 * std::sin(angle / 20)));
        }
        QVERIFY(line.Summarised());
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        QVERIFY(shown.ShowsTheWholeChart());
        const double plotWidth = shown.Plot().width();
        const std::vector<std::pair<float, float>> points = {
            {90.01F, 99}, {0, 1}, {360, 99}, {160, 5}, {155, 95}, {90.02F, 2}};
        for (const auto& [x, y] : points) {
            line.Add(x, y, ChartColours::kOrange);
            QVERIFY(shown.Repainted());
            const QString what = QString("a point at %1").arg(x);
            QVERIFY2(shown.painted.boundingRect().width() < plotWidth / 4, qPrintable(what));
            QVERIFY2(shown.ShowsTheWholeChart(), qPrintable(what));
        }
    }
};

QTEST_MAIN(ChartViewTest)
#include "test_chart_view.moc"
