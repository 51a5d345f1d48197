#pragma once
// A paint device that records what QPainter draws as a Windows metafile:
// an enhanced metafile (EMF) or a placeable Windows metafile (WMF). Lines,
// polylines, polygons, rectangles and paths become pen, brush and shape
// records; text stays text (font, colour and string records), turned by the
// font's escapement when the painter is rotated. One logical unit is one
// pixel at 96 dots per inch.

#include <QPaintDevice>
#include <QSize>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class MetafileKind { Emf, Wmf };

class MetafilePaintEngine;

class MetafileDevice : public QPaintDevice {
public:
    static constexpr int kDotsPerInch = 96;

    MetafileDevice(MetafileKind kind, QSize size);
    ~MetafileDevice() override;
    MetafileDevice(const MetafileDevice&) = delete;
    MetafileDevice& operator=(const MetafileDevice&) = delete;

    QPaintEngine* paintEngine() const override;
    // The whole file, once the painter has ended.
    const std::vector<uint8_t>& Bytes() const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize size_;
    std::unique_ptr<MetafilePaintEngine> engine_;
};
