#pragma once
// The error map's chart, the same on the page and in files the command line
// saves: the unwrapped correction curve over the points of the map.

#include "chart/ChartModel.h"

#include <QSize>

#include <string>
#include <vector>

// Titles, colours and the empty axes of the chart.
void SetUpErrorMapChart(ChartModel& chart);
// Draws the curve of a map of pageCount pages; the value axis follows the
// curve with a little room above and below.
void DrawErrorMapCurve(ChartModel& chart, const std::vector<int>& curve, int pageCount);

// Saves a chart to a file whose extension names the format (png, bmp, svg,
// emf, wmf), at the given size, without a window: a front end without one
// (the command line) gets a drawing context of its own. False when the
// extension names no format or the file was not written.
bool SaveChartFile(const ChartModel& chart, const std::string& fileName, QSize size = QSize(640, 400));
// Whether the file name's extension names an image format.
bool ChartImageFormatOf(const std::string& fileName);
