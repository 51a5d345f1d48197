#pragma once
// The error map's chart, the same on the page and in files the command line
// saves: the unwrapped correction curve over the points of the map.

#include "chart/ChartModel.h"

#include <string>
#include <vector>

// Titles, colours and the empty axes of the chart.
void SetUpErrorMapChart(ChartModel& chart);
// Draws the curve of a map of pageCount pages; the value axis follows the
// curve with a little room above and below.
void DrawErrorMapCurve(ChartModel& chart, const std::vector<int>& curve, int pageCount);
