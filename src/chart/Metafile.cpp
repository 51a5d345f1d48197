#include "chart/Metafile.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

// Little-endian record bytes.
class Bytes {
public:
    void U8(uint8_t v) { data_.push_back(v); }
    void U16(uint16_t v)
    {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void I16(int v) { U16(static_cast<uint16_t>(static_cast<int16_t>(std::clamp(v, -32768, 32767)))); }
    void U32(uint32_t v)
    {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void I32(int v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v)
    {
        uint32_t bits;
        static_assert(sizeof bits == sizeof v);
        std::memcpy(&bits, &v, sizeof bits);
        U32(bits);
    }
    void PadTo(size_t multiple)
    {
        while (data_.size() % multiple)
            U8(0);
    }
    void PatchU32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            data_[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
    void PatchU16(size_t at, uint16_t v)
    {
        data_[at] = static_cast<uint8_t>(v);
        data_[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    void Append(const Bytes& other) { data_.insert(data_.end(), other.data_.begin(), other.data_.end()); }
    size_t Size() const { return data_.size(); }
    std::vector<uint8_t>& Data() { return data_; }

private:
    std::vector<uint8_t> data_;
};

uint32_t ColourRef(const QColor& c)
{
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
           static_cast<uint32_t>(c.blue()) << 16;
}

struct FontSpec {
    QString family;
    int pixelHeight = 11;
    int weight = 400;
    bool italic = false;
    int escapement = 0; // tenths of a degree, counter-clockwise
    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

struct PenSpec {
    bool none = false;
    QColor colour;
    int width = 1;
    friend bool operator==(const PenSpec&, const PenSpec&) = default;
};

struct BrushSpec {
    bool none = true;
    QColor colour;
    friend bool operator==(const BrushSpec&, const BrushSpec&) = default;
};

constexpr int kPenStyleSolid = 0, kPenStyleNull = 5;
constexpr int kBrushStyleSolid = 0, kBrushStyleNull = 1;
constexpr int kTransparent = 1;
constexpr int kAlignBaseline = 24;
constexpr int kWinding = 2;

// What the paint engine asks of a metafile format.
class Encoder {
public:
    virtual ~Encoder() = default;
    virtual void Begin(QSize size) = 0;
    virtual void SelectPen(const PenSpec& pen) = 0;
    virtual void SelectBrush(const BrushSpec& brush) = 0;
    virtual void SelectFont(const FontSpec& font) = 0;
    virtual void TextColour(const QColor& colour) = 0;
    virtual void Polyline(const std::vector<QPoint>& points) = 0;
    virtual void Polygon(const std::vector<QPoint>& points) = 0;
    virtual void Text(QPoint baseline, const QString& text, const std::vector<int>& advances) = 0;
    virtual std::vector<uint8_t> Finish() = 0;
};

// Object slots of a metafile's object table: the lowest free one is taken.
class ObjectTable {
public:
    int Take()
    {
        auto free = std::find(used_.begin(), used_.end(), false);
        if (free == used_.end()) {
            used_.push_back(true);
            return static_cast<int>(used_.size()) - 1;
        }
        *free = true;
        return static_cast<int>(free - used_.begin());
    }
    void Release(int slot) { used_[static_cast<size_t>(slot)] = false; }
    int Size() const { return static_cast<int>(used_.size()); }

private:
    std::vector<bool> used_;
};

// --- Enhanced metafile ------------------------------------------------------

namespace emr {
constexpr uint32_t kHeader = 1, kEof = 14, kSetMapMode = 17, kSetBkMode = 18, kSetPolyFillMode = 19,
                   kSetTextAlign = 22, kSetTextColor = 24, kSelectObject = 37, kCreatePen = 38,
                   kCreateBrushIndirect = 39, kDeleteObject = 40, kExtCreateFontIndirectW = 82, kExtTextOutW = 84,
                   kPolygon16 = 86, kPolyline16 = 87;
constexpr uint32_t kHeaderSize = 108;
constexpr int kMapModeText = 1;
} // namespace emr

class EmfEncoder final : public Encoder {
public:
    void Begin(QSize size) override
    {
        size_ = size;
        // Slot 0 of an EMF object table is the metafile itself.
        objects_.Take();
        Record(emr::kSetMapMode, {emr::kMapModeText});
        Record(emr::kSetBkMode, {kTransparent});
        Record(emr::kSetTextAlign, {kAlignBaseline});
        Record(emr::kSetPolyFillMode, {kWinding});
    }

    void SelectPen(const PenSpec& pen) override
    {
        const int slot = objects_.Take();
        Bytes b;
        b.U32(static_cast<uint32_t>(slot));
        b.U32(pen.none ? kPenStyleNull : kPenStyleSolid);
        b.I32(pen.width);
        b.I32(0);
        b.U32(ColourRef(pen.colour));
        Record(emr::kCreatePen, b);
        Replace(pen_, slot);
    }

    void SelectBrush(const BrushSpec& brush) override
    {
        const int slot = objects_.Take();
        Bytes b;
        b.U32(static_cast<uint32_t>(slot));
        b.U32(brush.none ? kBrushStyleNull : kBrushStyleSolid);
        b.U32(ColourRef(brush.colour));
        b.U32(0);
        Record(emr::kCreateBrushIndirect, b);
        Replace(brush_, slot);
    }

    void SelectFont(const FontSpec& font) override
    {
        const int slot = objects_.Take();
        Bytes b;
        b.U32(static_cast<uint32_t>(slot));
        b.I32(-font.pixelHeight); // negative: the height of the characters, without internal leading
        b.I32(0);
        b.I32(font.escapement);
        b.I32(font.escapement);
        b.I32(font.weight);
        b.U8(font.italic ? 1 : 0);
        b.U8(0); // underline
        b.U8(0); // strike-out
        b.U8(1); // DEFAULT_CHARSET
        b.U8(0);
        b.U8(0);
        b.U8(0);
        b.U8(0);
        const QString face = font.family.left(31);
        for (int i = 0; i < 32; ++i)
            b.U16(i < face.size() ? face.at(i).unicode() : 0);
        Record(emr::kExtCreateFontIndirectW, b);
        Replace(font_, slot);
        fontHeight_ = font.pixelHeight;
    }

    void TextColour(const QColor& colour) override { Record(emr::kSetTextColor, {ColourRef(colour)}); }

    void Polyline(const std::vector<QPoint>& points) override { Shape(emr::kPolyline16, points); }
    void Polygon(const std::vector<QPoint>& points) override { Shape(emr::kPolygon16, points); }

    void Text(QPoint at, const QString& text, const std::vector<int>& advances) override
    {
        const uint32_t chars = static_cast<uint32_t>(text.size());
        constexpr uint32_t kStringOffset = 76;
        const uint32_t stringBytes = (chars * 2 + 3) / 4 * 4;
        int width = 0;
        for (int a : advances)
            width += a;
        Bytes b;
        Rect(b, at.x(), at.y() - fontHeight_, at.x() + width, at.y());
        b.U32(1);  // GM_COMPATIBLE
        b.F32(0);  // scales: unused in this mode
        b.F32(0);
        b.I32(at.x());
        b.I32(at.y());
        b.U32(chars);
        b.U32(kStringOffset);
        b.U32(0); // options
        Rect(b, 0, 0, -1, -1);
        b.U32(kStringOffset + stringBytes); // advances follow the string
        for (QChar c : text)
            b.U16(c.unicode());
        b.PadTo(4);
        for (uint32_t i = 0; i < chars; ++i)
            b.I32(i < advances.size() ? advances[i] : 0);
        Record(emr::kExtTextOutW, b);
    }

    std::vector<uint8_t> Finish() override
    {
        Bytes eof;
        eof.U32(0); // palette entries
        eof.U32(16);
        eof.U32(20); // this record's size, again
        Record(emr::kEof, eof);

        Bytes file;
        file.U32(emr::kHeader);
        file.U32(emr::kHeaderSize);
        Rect(file, 0, 0, size_.width() - 1, size_.height() - 1);
        // The frame in hundredths of a millimetre.
        Rect(file, 0, 0, HundredthsMm(size_.width()) - 1, HundredthsMm(size_.height()) - 1);
        file.U32(0x464D4520); // " EMF"
        file.U32(0x00010000);
        file.U32(static_cast<uint32_t>(emr::kHeaderSize + records_.Size()));
        file.U32(records_count_ + 1);
        file.U16(static_cast<uint16_t>(objects_.Size()));
        file.U16(0);
        file.U32(0); // no description
        file.U32(0);
        file.U32(0); // no palette
        // A reference device of 1920 x 960 pixels on 508 x 254 mm: 96 dots per inch.
        file.I32(1920);
        file.I32(960);
        file.I32(508);
        file.I32(254);
        file.U32(0); // no pixel format
        file.U32(0);
        file.U32(0); // not OpenGL
        file.I32(508000);
        file.I32(254000);
        file.Append(records_);
        return std::move(file.Data());
    }

private:
    static int HundredthsMm(int pixels) { return static_cast<int>(std::lround(pixels * 2540.0 / MetafileDevice::kDotsPerInch)); }

    static void Rect(Bytes& b, int left, int top, int right, int bottom)
    {
        b.I32(left);
        b.I32(top);
        b.I32(right);
        b.I32(bottom);
    }

    void Record(uint32_t type, std::initializer_list<uint32_t> words)
    {
        Bytes b;
        for (uint32_t w : words)
            b.U32(w);
        Record(type, b);
    }

    void Record(uint32_t type, Bytes& body)
    {
        body.PadTo(4);
        records_.U32(type);
        records_.U32(static_cast<uint32_t>(8 + body.Size()));
        records_.Append(body);
        ++records_count_;
    }

    // Selects the new object and deletes the one it replaces.
    void Replace(int& current, int slot)
    {
        Record(emr::kSelectObject, {static_cast<uint32_t>(slot)});
        if (current > 0) {
            Record(emr::kDeleteObject, {static_cast<uint32_t>(current)});
            objects_.Release(current);
        }
        current = slot;
    }

    void Shape(uint32_t type, const std::vector<QPoint>& points)
    {
        int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
        for (const QPoint& p : points) {
            left = std::min(left, p.x());
            top = std::min(top, p.y());
            right = std::max(right, p.x());
            bottom = std::max(bottom, p.y());
        }
        Bytes b;
        Rect(b, left, top, right, bottom);
        b.U32(static_cast<uint32_t>(points.size()));
        for (const QPoint& p : points) {
            b.I16(p.x());
            b.I16(p.y());
        }
        Record(type, b);
    }

    QSize size_;
    Bytes records_;
    uint32_t records_count_ = 0;
    ObjectTable objects_;
    int pen_ = 0, brush_ = 0, font_ = 0;
    int fontHeight_ = 0;
};

// --- Placeable Windows metafile ---------------------------------------------

namespace meta {
constexpr uint16_t kEof = 0x0000, kSetBkMode = 0x0102, kSetPolyFillMode = 0x0106, kSelectObject = 0x012D,
                   kSetTextAlign = 0x012E, kDeleteObject = 0x01F0, kSetWindowOrg = 0x020B, kSetWindowExt = 0x020C,
                   kSetTextColor = 0x0209, kCreatePenIndirect = 0x02FA, kCreateFontIndirect = 0x02FB,
                   kCreateBrushIndirect = 0x02FC, kLineTo = 0x0213, kMoveTo = 0x0214, kPolygon = 0x0324, kExtTextOut = 0x0A32;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
} // namespace meta

class WmfEncoder final : public Encoder {
public:
    void Begin(QSize size) override
    {
        size_ = size;
        Record(meta::kSetWindowOrg, {0, 0}); // y, x
        Record(meta::kSetWindowExt, {size.height(), size.width()});
        Record(meta::kSetBkMode, {kTransparent});
        Record(meta::kSetTextAlign, {kAlignBaseline});
        Record(meta::kSetPolyFillMode, {kWinding});
    }

    void SelectPen(const PenSpec& pen) override
    {
        Bytes b;
        b.U16(pen.none ? kPenStyleNull : kPenStyleSolid);
        b.I16(pen.width);
        b.I16(0);
        b.U32(ColourRef(pen.colour));
        Create(meta::kCreatePenIndirect, b, pen_);
    }

    void SelectBrush(const BrushSpec& brush) override
    {
        Bytes b;
        b.U16(brush.none ? kBrushStyleNull : kBrushStyleSolid);
        b.U32(ColourRef(brush.colour));
        b.U16(0);
        Create(meta::kCreateBrushIndirect, b, brush_);
    }

    void SelectFont(const FontSpec& font) override
    {
        Bytes b;
        b.I16(-font.pixelHeight);
        b.I16(0);
        b.I16(font.escapement);
        b.I16(font.escapement);
        b.I16(font.weight);
        b.U8(font.italic ? 1 : 0);
        b.U8(0);
        b.U8(0);
        b.U8(0); // ANSI_CHARSET: the strings are Latin-1
        b.U8(0);
        b.U8(0);
        b.U8(0);
        b.U8(0);
        const QByteArray face = font.family.left(31).toLatin1();
        for (char c : face)
            b.U8(static_cast<uint8_t>(c));
        b.U8(0);
        Create(meta::kCreateFontIndirect, b, font_);
    }

    void TextColour(const QColor& colour) override
    {
        Bytes b;
        b.U32(ColourRef(colour));
        Record(meta::kSetTextColor, b);
    }

    // Lines as a move and line-tos: a polyline record would do, but some
    // readers fill the area an open polyline encloses.
    void Polyline(const std::vector<QPoint>& points) override
    {
        for (size_t i = 0; i < points.size(); ++i)
            Record(i == 0 ? meta::kMoveTo : meta::kLineTo, {points[i].y(), points[i].x()});
    }
    void Polygon(const std::vector<QPoint>& points) override { Shape(meta::kPolygon, points); }

    void Text(QPoint at, const QString& text, const std::vector<int>&) override
    {
        const QByteArray latin1 = text.toLatin1();
        Bytes b;
        b.I16(at.y());
        b.I16(at.x());
        b.I16(static_cast<int>(latin1.size()));
        b.U16(0); // options: no rectangle
        for (char c : latin1)
            b.U8(static_cast<uint8_t>(c));
        // Without advances: readers then place the string as a whole, in the font's own spacing.
        b.PadTo(2);
        Record(meta::kExtTextOut, b);
    }

    std::vector<uint8_t> Finish() override
    {
        Record(meta::kEof, Bytes{});
        Bytes file;
        // Placeable header: the picture's bounds in logical units and the units per inch.
        file.U32(meta::kPlaceableKey);
        file.U16(0);
        file.I16(0);
        file.I16(0);
        file.I16(size_.width());
        file.I16(size_.height());
        file.U16(MetafileDevice::kDotsPerInch);
        file.U32(0);
        uint16_t checksum = 0;
        for (size_t i = 0; i < file.Size(); i += 2)
            checksum ^= static_cast<uint16_t>(file.Data()[i] | file.Data()[i + 1] << 8);
        file.U16(checksum);
        // The metafile header, sizes in 16-bit words.
        constexpr uint16_t kHeaderWords = 9;
        const uint32_t words = kHeaderWords + static_cast<uint32_t>(records_.Size() / 2);
        file.U16(1); // in memory
        file.U16(kHeaderWords);
        file.U16(0x0300);
        file.U32(words);
        file.U16(static_cast<uint16_t>(objects_.Size()));
        file.U32(largest_);
        file.U16(0);
        file.Append(records_);
        return std::move(file.Data());
    }

private:
    void Record(uint16_t function, std::initializer_list<int> params)
    {
        Bytes b;
        for (int p : params)
            b.I16(p);
        Record(function, b);
    }

    void Record(uint16_t function, Bytes body)
    {
        body.PadTo(2);
        const uint32_t words = 3 + static_cast<uint32_t>(body.Size() / 2);
        records_.U32(words);
        records_.U16(function);
        records_.Append(body);
        largest_ = std::max(largest_, words);
    }

    // Creates an object in the lowest free slot, selects it, deletes the one it replaces.
    void Create(uint16_t function, Bytes& body, int& current)
    {
        const int slot = objects_.Take();
        Record(function, body);
        Record(meta::kSelectObject, {slot});
        if (current >= 0) {
            Record(meta::kDeleteObject, {current});
            objects_.Release(current);
        }
        current = slot;
    }

    void Shape(uint16_t function, const std::vector<QPoint>& points)
    {
        Bytes b;
        b.I16(static_cast<int>(points.size()));
        for (const QPoint& p : points) {
            b.I16(p.x());
            b.I16(p.y());
        }
        Record(function, b);
    }

    QSize size_;
    Bytes records_;
    uint32_t largest_ = 3;
    ObjectTable objects_;
    int pen_ = -1, brush_ = -1, font_ = -1;
};

} // namespace

// --- The paint engine -------------------------------------------------------

class MetafilePaintEngine final : public QPaintEngine {
public:
    MetafilePaintEngine(MetafileKind kind, QSize size) : QPaintEngine(AllFeatures), kind_(kind), size_(size) {}

    bool begin(QPaintDevice* device) override
    {
        device_ = device;
        if (kind_ == MetafileKind::Emf)
            encoder_ = std::make_unique<EmfEncoder>();
        else
            encoder_ = std::make_unique<WmfEncoder>();
        encoder_->Begin(size_);
        bytes_.clear();
        penKnown_ = brushKnown_ = fontKnown_ = textColourKnown_ = false;
        return true;
    }

    bool end() override
    {
        bytes_ = encoder_->Finish();
        encoder_.reset();
        return true;
    }

    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& state) override
    {
        const DirtyFlags dirty = state.state();
        if (dirty & DirtyPen)
            pen_ = state.pen();
        if (dirty & DirtyBrush)
            brush_ = state.brush();
        if (dirty & DirtyFont)
            font_ = state.font();
        if (dirty & DirtyTransform)
            transform_ = state.transform();
    }

    void drawLines(const QLineF* lines, int count) override
    {
        Realise(false);
        for (int i = 0; i < count; ++i)
            encoder_->Polyline({Map(lines[i].p1()), Map(lines[i].p2())});
    }

    void drawRects(const QRectF* rects, int count) override
    {
        Realise(true);
        for (int i = 0; i < count; ++i) {
            const QRectF& r = rects[i];
            encoder_->Polygon({Map(r.topLeft()), Map(r.topRight()), Map(r.bottomRight()), Map(r.bottomLeft())});
        }
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override
    {
        std::vector<QPoint> mapped;
        mapped.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            mapped.push_back(Map(points[i]));
        const bool outline = mode == PolylineMode;
        Realise(!outline);
        // A polyline record holds at most 32767 points (WMF counts in 16 bits).
        constexpr size_t kMost = 32000;
        if (outline) {
            for (size_t start = 0; start + 1 < mapped.size(); start += kMost - 1)
                encoder_->Polyline(std::vector<QPoint>(mapped.begin() + static_cast<long>(start),
                                                       mapped.begin() + static_cast<long>(std::min(mapped.size(), start + kMost))));
        } else if (mapped.size() <= kMost) {
            encoder_->Polygon(mapped);
        }
    }

    void drawPath(const QPainterPath& path) override
    {
        for (const QPolygonF& polygon : path.toSubpathPolygons())
            drawPolygon(polygon.constData(), static_cast<int>(polygon.size()),
                        brush_.style() == Qt::NoBrush ? PolylineMode : WindingMode);
    }

    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override
    {
        // Charts are drawn without pictures.
    }

    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        const QString text = item.text();
        if (text.isEmpty())
            return;
        FontSpec font;
        font.family = item.font().family();
        const QFont f = item.font();
        const double scale = std::hypot(transform_.m11(), transform_.m12());
        const double pixels = f.pixelSize() > 0 ? f.pixelSize() : f.pointSizeF() * MetafileDevice::kDotsPerInch / 72.0;
        font.pixelHeight = std::max(1, static_cast<int>(std::lround(pixels * scale)));
        font.weight = f.bold() ? 700 : 400;
        font.italic = f.italic();
        const double degrees = std::atan2(transform_.m12(), transform_.m11()) * 180 / std::numbers::pi;
        font.escapement = static_cast<int>(std::lround(-degrees * 10));
        if (!fontKnown_ || !(font == lastFont_)) {
            encoder_->SelectFont(font);
            lastFont_ = font;
            fontKnown_ = true;
        }
        const QColor colour = pen_.color();
        if (!textColourKnown_ || colour != lastTextColour_) {
            encoder_->TextColour(colour);
            lastTextColour_ = colour;
            textColourKnown_ = true;
        }
        const QFontMetricsF metrics(f, device_);
        std::vector<int> advances;
        advances.reserve(static_cast<size_t>(text.size()));
        double x = 0;
        int placed = 0;
        for (QChar c : text) {
            x += metrics.horizontalAdvance(c) * scale;
            const int next = static_cast<int>(std::lround(x));
            advances.push_back(next - placed);
            placed = next;
        }
        encoder_->Text(Map(p), text, advances);
    }

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    QPoint Map(const QPointF& p) const { return transform_.map(p).toPoint(); }

    // Brings the file's pen and brush up to the painter's.
    void Realise(bool filled)
    {
        PenSpec pen;
        pen.none = pen_.style() == Qt::NoPen;
        pen.colour = pen_.color();
        pen.width = std::max(1, static_cast<int>(std::lround(pen_.widthF())));
        if (!penKnown_ || !(pen == lastPen_)) {
            encoder_->SelectPen(pen);
            lastPen_ = pen;
            penKnown_ = true;
        }
        BrushSpec brush;
        brush.none = !filled || brush_.style() == Qt::NoBrush;
        brush.colour = brush.none ? QColor() : brush_.color();
        if (!brushKnown_ || !(brush == lastBrush_)) {
            encoder_->SelectBrush(brush);
            lastBrush_ = brush;
            brushKnown_ = true;
        }
    }

    MetafileKind kind_;
    QSize size_;
    QPaintDevice* device_ = nullptr;
    std::unique_ptr<Encoder> encoder_;
    std::vector<uint8_t> bytes_;
    QPen pen_;
    QBrush brush_;
    QFont font_;
    QTransform transform_;
    PenSpec lastPen_;
    BrushSpec lastBrush_;
    FontSpec lastFont_;
    QColor lastTextColour_;
    bool penKnown_ = false, brushKnown_ = false, fontKnown_ = false, textColourKnown_ = false;
};

MetafileDevice::MetafileDevice(MetafileKind kind, QSize size)
    : size_(size), engine_(std::make_unique<MetafilePaintEngine>(kind, size))
{
}

MetafileDevice::~MetafileDevice() = default;

QPaintEngine* MetafileDevice::paintEngine() const
{
    return engine_.get();
}

const std::vector<uint8_t>& MetafileDevice::Bytes() const
{
    return engine_->Bytes();
}

int MetafileDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return size_.width();
    case PdmHeight:
        return size_.height();
    case PdmWidthMM:
        return static_cast<int>(std::lround(size_.width() * 25.4 / kDotsPerInch));
    case PdmHeightMM:
        return static_cast<int>(std::lround(size_.height() * 25.4 / kDotsPerInch));
    case PdmNumColors:
        return INT_MAX;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return kDotsPerInch;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    }
    return 0;
}
