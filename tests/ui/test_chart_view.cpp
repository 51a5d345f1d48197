// A chart on a page keeps its backdrop (grid, frame, labels, titles) and
// draws only its series anew: the picture stays the one the renderer draws
// whole, as points come in and when the axes change.

#include "chart/ChartRenderer.h"
#include "shell/ChartView.h"

#include <QImage>
#include <QPainter>
#include <QTest>

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
};

QTEST_MAIN(ChartViewTest)
#include "test_chart_view.moc"
