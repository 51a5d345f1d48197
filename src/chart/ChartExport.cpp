#include "chart/ChartExport.h"

#include "chart/ChartRenderer.h"
#include "chart/Metafile.h"
#include "util/Text.h"

#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

const std::vector<ChartImageFilter>& ChartImageFilters()
{
    static const std::vector<ChartImageFilter> filters = {
        {"PNG", "*.png", ChartImageFormat::Png}, {"BMP", "*.bmp", ChartImageFormat::Bmp},
        {"WMF", "*.wmf", ChartImageFormat::Wmf}, {"EMF", "*.emf", ChartImageFormat::Emf},
        {"SVG", "*.svg", ChartImageFormat::Svg},
    };
    return filters;
}

namespace {
// The filter whose extension the file name has, or null.
const ChartImageFilter* FilterOf(const std::string& fileName)
{
    const std::string extension = LowerExtension(fileName);
    for (const ChartImageFilter& filter : ChartImageFilters())
        if (extension == filter.pattern + 1)
            return &filter;
    return nullptr;
}
} // namespace

bool ChartImageFormatOf(const std::string& fileName)
{
    return FilterOf(fileName) != nullptr;
}

ChartImageFile ResolveChartImageFile(const std::string& chosen, int filterIndex)
{
    if (const ChartImageFilter* known = FilterOf(chosen))
        return {chosen, known->format};
    const std::vector<ChartImageFilter>& filters = ChartImageFilters();
    const size_t index = filterIndex >= 1 && static_cast<size_t>(filterIndex) <= filters.size()
                             ? static_cast<size_t>(filterIndex) - 1
                             : 0;
    return {ReplaceExtension(chosen, filters[index].pattern + 1), filters[index].format};
}

QImage RenderChartImage(const ChartModel& chart, QSize size, const QFont& font)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    DrawChart(painter, chart, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

namespace {
bool Draw(QPaintDevice& device, const ChartModel& chart, QSize size, const QFont& font)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    painter.setFont(font);
    DrawChart(painter, chart, QRectF(QPointF(0, 0), QSizeF(size)));
    return painter.end();
}
} // namespace

bool SaveChartImage(const ChartModel& chart, QSize size, const QFont& font, const ChartImageFile& file)
{
    const QString name = QString::fromStdString(file.fileName);
    bool written = false;
    switch (file.format) {
    case ChartImageFormat::Png:
        written = RenderChartImage(chart, size, font).save(name, "PNG");
        break;
    case ChartImageFormat::Bmp:
        written = RenderChartImage(chart, size, font).save(name, "BMP");
        break;
    case ChartImageFormat::Svg: {
        QSvgGenerator svg;
        svg.setFileName(name);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(MetafileDevice::kDotsPerInch);
        written = Draw(svg, chart, size, font);
        break;
    }
    case ChartImageFormat::Emf:
    case ChartImageFormat::Wmf: {
        MetafileDevice metafile(file.format == ChartImageFormat::Emf ? MetafileKind::Emf : MetafileKind::Wmf, size);
        written = Draw(metafile, chart, size, font) && metafile.Save(file.fileName);
        break;
    }
    }
    return written && QFileInfo::exists(name);
}

void EnsureFontsWithoutWindow()
{
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
}

bool SaveChartFile(const ChartModel& chart, const std::string& fileName, QSize size)
{
    if (!ChartImageFormatOf(fileName))
        return false;
    EnsureFontsWithoutWindow();
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    return SaveChartImage(chart, size, font, ResolveChartImageFile(fileName, 1));
}
