#pragma once
// The Pareto chart of a yield report: each failure's share of all failures,
// most frequent first, as bars, and their running total as a line.

#include "chart/ChartModel.h"
#include "records/Yield.h"

void BuildParetoChart(ChartModel& chart, const YieldReport& report);
