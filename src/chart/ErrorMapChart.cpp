#include "chart/ErrorMapChart.h"

#include "chart/ChartExport.h"

#include <QFont>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {
constexpr ChartColour kGreen = 0x008000;
constexpr int kPointsPerPage = 64;
} // namespace

void SetUpErrorMapChart(ChartModel& chart)
{
    chart.background = ChartColours::kWhite;
    chart.bottom.title = "Position";
    chart.left.title = "Correction";
    chart.SetBottomRange(0, 511);
    chart.left.SetRange(-128, 127);
    chart.AddSeries(SeriesKind::Line, kGreen, "SeriesErrMapZelen");
}

void DrawErrorMapCurve(ChartModel& chart, const std::vector<int>& curve, int pageCount)
{
    ChartSeries& series = chart.SeriesAt(0);
    series.Clear();
    chart.SetBottomRange(0, kPointsPerPage * pageCount - 1);
    for (size_t x = 0; x < curve.size(); ++x)
        series.Add(static_cast<float>(x), static_cast<float>(curve[x]));
    if (curve.empty()) {
        chart.left.SetRange(-128, 127);
        return;
    }
    const auto [low, high] = std::minmax_element(curve.begin(), curve.end());
    const double margin = std::max(2.0, (*high - *low) * 0.05);
    chart.left.SetRange(*low - margin, *high + margin);
}

bool ChartImageFormatOf(const std::string& fileName)
{
    const std::string extension = LowerExtension(fileName);
    for (const ChartImageFilter& filter : ChartImageFilters())
        if (extension == std::string(filter.pattern).substr(1))
            return true;
    return false;
}

bool SaveChartFile(const ChartModel& chart, const std::string& fileName, QSize size)
{
    if (!ChartImageFormatOf(fileName))
        return false;
    // Text needs fonts, and fonts need a GUI application: one without a screen
    // when the front end has none.
    if (!QGuiApplication::instance()) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "k417";
        static char* argv[] = {name, nullptr};
        // Such a front end prints its own messages: Qt's notes about the
        // missing desktop session are no business of its user.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(text));
        });
        // Lives to the end of the process: destroyed among the exit handlers
        // it would outlive parts of Qt it needs.
        new QGuiApplication(argc, argv);
    }
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    return SaveChartImage(chart, size, font, ResolveChartImageFile(fileName, 1));
}
