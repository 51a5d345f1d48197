#pragma once
// Saving a chart as an image file: PNG and BMP as pixels, SVG, and the
// Windows metafiles EMF and placeable WMF, all drawn by the one renderer at
// the size the chart has on screen.

#include "chart/ChartModel.h"

#include <QImage>
#include <QSize>

#include <string>
#include <vector>

class QFont;

enum class ChartImageFormat { Png, Bmp, Wmf, Emf, Svg };

struct ChartImageFilter {
    const char* description; // "PNG"
    const char* pattern;     // "*.png"
    ChartImageFormat format;
};

// The image file filters in the order the save dialog lists them (index 1 is PNG).
const std::vector<ChartImageFilter>& ChartImageFilters();

struct ChartImageFile {
    std::string fileName;
    ChartImageFormat format = ChartImageFormat::Png;
};

// The file a chart is saved to for the name chosen in the dialog and the
// filter selected there (1-based): a name whose extension is none of the
// image extensions (in any case) takes the filter's extension in place of
// its own; the format follows the extension's first letter, so "graph.PNG"
// is a PNG file whatever filter was selected.
ChartImageFile ResolveChartImageFile(const std::string& chosen, int filterIndex);


// The chart drawn into an image of the given size with the given font.
QImage RenderChartImage(const ChartModel& chart, QSize size, const QFont& font);

// Draws the chart into the file. True when the file was written and exists.
bool SaveChartImage(const ChartModel& chart, QSize size, const QFont& font, const ChartImageFile& file);

// Makes text drawable in a front end without a window (the command line):
// fonts need a GUI application, and one without a screen is made when there
// is none. Nothing to do in the window.
void EnsureFontsWithoutWindow();

// Whether the file name's extension names an image format.
bool ChartImageFormatOf(const std::string& fileName);
// Saves a chart to a file whose extension names the format (png, bmp, svg,
// emf, wmf), at the given size, without a window: a front end without one
// (the command line) gets a drawing context of its own. False when the
// extension names no format or the file was not written.
bool SaveChartFile(const ChartModel& chart, const std::string& fileName, QSize size = QSize(640, 400));
