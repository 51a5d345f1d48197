#pragma once
// Draws a chart with QPainter onto any paint device: the window's chart
// widget, an image, an SVG generator or a metafile. The picture is made of
// filled rectangles, lines, polylines, polygons and plain text only, so every
// device shows the same thing.

#include "chart/ChartModel.h"

#include <QRectF>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

class QFont;
class QPainter;

// Where the parts of the chart lie within the area it is drawn into.
struct ChartLayout {
    QRectF area;
    QRectF plot;        // inside the frame: where the series are drawn
    QRectF leftTitle;   // the left axis title (drawn turned a quarter left)
    QRectF bottomTitle;
};

// The layout for a font (the labels and titles measure with it).
ChartLayout LayOutChart(const ChartModel& chart, const QRectF& area, const QFont& font);

// What of a chart to draw: all of it, the backdrop its series do not change
// (background, grid, frame, ticks, labels and titles), or the series over a
// backdrop drawn before, kept within the frame, with the frame drawn again.
enum class ChartParts { All, Backdrop, Series };

// Draws the chart (or the parts asked for) into area with the painter's font.
void DrawChart(QPainter& painter, const ChartModel& chart, const QRectF& area, ChartParts parts = ChartParts::All);

// What a picture of a series was drawn from.
struct SeriesDrawn {
    size_t count = 0;
    uint64_t revision = 0;
};
std::vector<SeriesDrawn> DrawnFrom(const ChartModel& chart);

// The part of the plot (of a chart drawn with the same axes into an area
// with this plot) that shows something else now than when the series were
// as drawn records: a band as high as the plot, from the neighbours on the
// left of the points added since to those on their right. False when more
// than points were added (a series added, cleared, shown, hidden or
// summarised anew, a point with no x), or more than a few: then all of the
// chart is to be repainted.
// An empty part when nothing that shows changed.
bool ChangedPart(const ChartModel& chart, const std::vector<SeriesDrawn>& drawn, const QRectF& plot, QRectF& part);

// The labelled ticks of an axis: their values and the step between them.
struct AxisTicks {
    std::vector<double> values;
    double step = 0;
};
// The axis' own increment, widened until labels lie at least minSpacing
// pixels apart along an axis of the given length; a round step (1, 2 or 5
// times a power of ten) when the axis has none.
AxisTicks TicksOf(const ChartAxis& axis, double pixels, double minSpacing);

// A tick label as the chart writes it (with the number texts' separators).
QString AxisLabel(double value, double step);
