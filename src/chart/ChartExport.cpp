#include "chart/ChartExport.h"

#include "chart/ChartRenderer.h"
#include "chart/Metafile.h"

#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>
#include <cctype>

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
// Where the extension starts, or npos.
size_t ExtensionStart(const std::string& fileName)
{
    const size_t slash = fileName.find_last_of('/');
    const size_t dot = fileName.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : std::string::npos;
}
} // namespace

std::string LowerExtension(const std::string& fileName)
{
    const size_t dot = ExtensionStart(fileName);
    std::string extension = dot == std::string::npos ? std::string() : fileName.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string WithExtension(const std::string& fileName, const std::string& extension)
{
    return fileName.substr(0, ExtensionStart(fileName)) + extension;
}

ChartImageFile ResolveChartImageFile(const std::string& chosen, int filterIndex)
{
    const std::vector<ChartImageFilter>& filters = ChartImageFilters();
    const std::string extension = LowerExtension(chosen);
    const auto known = std::find_if(filters.begin(), filters.end(),
                                     [&](const ChartImageFilter& f) { return extension == f.pattern + 1; });
    if (known != filters.end())
        return {chosen, known->format};
    const size_t index = filterIndex >= 1 && static_cast<size_t>(filterIndex) <= filters.size()
                             ? static_cast<size_t>(filterIndex) - 1
                             : 0;
    return {WithExtension(chosen, filters[index].pattern + 1), filters[index].format};
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
