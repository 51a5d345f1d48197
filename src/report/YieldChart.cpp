#include "report/YieldChart.h"

namespace {
constexpr ChartColour kBars = ChartColours::kSteelBlue;
constexpr ChartColour kCumulative = ChartColours::kLimitOrange;
} // namespace

void BuildParetoChart(ChartModel& chart, const YieldReport& report)
{
    chart.ClearSeries();
    chart.background = ChartColours::kWhite;
    chart.bottom.title = "Failure, most frequent first (rank in the table)";
    chart.left.title = "Share of failures, %";
    size_t count = std::max<size_t>(report.pareto.size(), 1);
    // Rank r's bar stands over [r - 0.5, r + 0.5], so the ticks name the ranks.
    chart.SetBottomRange(0.5, static_cast<double>(count) + 0.5);
    chart.bottom.increment = count > 20 ? 0 : 1;
    chart.left.SetRange(0, 100);
    ChartSeries& bars = chart.AddSeries(SeriesKind::Stairs, kBars, "share");
    ChartSeries& total = chart.AddSeries(SeriesKind::Line, kCumulative, "cumulative");
    for (size_t i = 0; i < report.pareto.size(); ++i) {
        const ParetoRow& row = report.pareto[i];
        float x = static_cast<float>(i) + 0.5f;
        // A bar: up at its left edge, across, down at its right edge.
        bars.Add(x, 0);
        bars.Add(x, static_cast<float>(row.share));
        bars.Add(x + 1, static_cast<float>(row.share));
        bars.Add(x + 1, 0);
        total.Add(x + 0.5f, static_cast<float>(row.cumulative));
    }
}
