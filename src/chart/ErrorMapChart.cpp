#include "chart/ErrorMapChart.h"



#include <algorithm>

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
