#include "chart/ChartRenderer.h"

#include "util/NumberText.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double kTickLength = 4;
constexpr double kGap = 4;
constexpr double kMarkRadius = 3.5;

QColor ToColour(ChartColour c)
{
    return QColor(static_cast<int>(c >> 16 & 0xFF), static_cast<int>(c >> 8 & 0xFF), static_cast<int>(c & 0xFF));
}

QString Utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool Usable(const ChartAxis& axis)
{
    return std::isfinite(axis.min) && std::isfinite(axis.max) && axis.max > axis.min;
}

// Data to pixels.
class Mapping {
public:
    Mapping(const ChartModel& chart, const QRectF& plot)
        : plot_(plot), xMin_(chart.bottom.min), yMin_(chart.left.min),
          xScale_(plot.width() / (chart.bottom.max - chart.bottom.min)),
          yScale_(plot.height() / (chart.left.max - chart.left.min))
    {
    }
    QPointF operator()(double x, double y) const
    {
        return {plot_.left() + (x - xMin_) * xScale_, plot_.bottom() - (y - yMin_) * yScale_};
    }

private:
    QRectF plot_;
    double xMin_, yMin_, xScale_, yScale_;
};

// Clips the segment a-b to the rectangle (Liang-Barsky); false when nothing is left.
bool ClipSegment(QPointF& a, QPointF& b, const QRectF& r)
{
    double t0 = 0, t1 = 1;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const QPointF start = a;
    a = start + QPointF(dx, dy) * t0;
    b = start + QPointF(dx, dy) * t1;
    return true;
}

// Collects a line in pixels, one colour per run, and draws the runs clipped
// to the plot. A segment takes the colour of the point it leads to.
class LineDrawer {
public:
    LineDrawer(QPainter& painter, const QRectF& plot) : painter_(painter), plot_(plot) {}
    ~LineDrawer() { Flush(); }

    void To(QPointF p, ChartColour colour)
    {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y())) {
            Flush();
            havePrevious_ = false;
            return;
        }
        if (havePrevious_) {
            QPointF a = previous_, b = p;
            if (ClipSegment(a, b, plot_)) {
                if (colour != runColour_ || run_.isEmpty() || run_.back() != a)
                    Flush();
                if (run_.isEmpty()) {
                    runColour_ = colour;
                    run_ << a;
                }
                run_ << b;
            }
        }
        previous_ = p;
        havePrevious_ = true;
    }

private:
    void Flush()
    {
        if (run_.size() >= 2) {
            painter_.setPen(QPen(ToColour(runColour_), 1));
            painter_.drawPolyline(run_);
        }
        run_.clear();
    }

    QPainter& painter_;
    QRectF plot_;
    QPolygonF run_;
    ChartColour runColour_ = 0;
    QPointF previous_;
    bool havePrevious_ = false;
};

void DrawMark(QPainter& painter, const QRectF& plot, QPointF p, ChartColour colour)
{
    if (!plot.contains(p))
        return;
    const QColor c = ToColour(colour);
    painter.setPen(QPen(c, 1));
    painter.setBrush(c);
    const QPointF diamond[4] = {{p.x(), p.y() - kMarkRadius},
                                {p.x() + kMarkRadius, p.y()},
                                {p.x(), p.y() + kMarkRadius},
                                {p.x() - kMarkRadius, p.y()}};
    painter.drawPolygon(diamond, 4);
    painter.setBrush(Qt::NoBrush);
}

void DrawPointByPoint(QPainter& painter, const ChartSeries& series, const Mapping& map, const QRectF& plot)
{
    std::vector<ChartPoint> sorted;
    series.SortedPoints(sorted);
    if (series.Kind() == SeriesKind::Points) {
        for (const ChartPoint& p : sorted)
            DrawMark(painter, plot, map(p.x, p.y), p.colour);
        return;
    }
    LineDrawer line(painter, plot);
    const ChartPoint* previous = nullptr;
    for (const ChartPoint& p : sorted) {
        if (series.Kind() == SeriesKind::Stairs && previous)
            line.To(map(p.x, previous->y), p.colour);
        line.To(map(p.x, p.y), p.colour);
        previous = &p;
    }
}

// A long series from its slices: per slice the first point, the lowest and
// highest (where they lie beyond the first and last) and the last point.
void DrawSummary(QPainter& painter, const ChartSeries& series, const Mapping& map, const QRectF& plot)
{
    // Slices that fall into one pixel column are drawn as one: the picture
    // is the same, with fewer vertices.
    std::vector<ChartSeries::Slice> columns;
    columns.reserve(static_cast<size_t>(plot.width()) + 2);
    long column = 0;
    for (const ChartSeries::Slice& s : series.Slices()) {
        if (s.count == 0)
            continue;
        const long at = std::lround(std::floor(map(s.firstX, 0).x()));
        if (columns.empty() || at != column) {
            columns.push_back(s);
            column = at;
            continue;
        }
        ChartSeries::Slice& c = columns.back();
        c.count += s.count;
        c.lastX = s.lastX;
        c.lastY = s.lastY;
        c.minY = std::min(c.minY, s.minY);
        c.maxY = std::max(c.maxY, s.maxY);
        if (s.ownColour) {
            c.colour = s.colour;
            c.ownColour = true;
        }
    }

    LineDrawer line(painter, plot);
    float previousY = 0;
    bool started = false;
    for (const ChartSeries::Slice& s : columns) {
        const ChartColour colour = s.ownColour ? s.colour : series.Colour();
        const double middle = (static_cast<double>(s.firstX) + s.lastX) / 2;
        if (series.Kind() == SeriesKind::Points) {
            DrawMark(painter, plot, map(middle, s.minY), colour);
            if (s.maxY != s.minY)
                DrawMark(painter, plot, map(middle, s.maxY), colour);
            continue;
        }
        if (series.Kind() == SeriesKind::Stairs && started)
            line.To(map(s.firstX, previousY), colour);
        line.To(map(s.firstX, s.firstY), colour);
        const bool rising = s.lastY >= s.firstY;
        const float low = std::min(s.firstY, s.lastY), high = std::max(s.firstY, s.lastY);
        const float extremes[2] = {rising ? s.minY : s.maxY, rising ? s.maxY : s.minY};
        for (float y : extremes)
            if (y < low || y > high)
                line.To(map(middle, y), colour);
        line.To(map(s.lastX, s.lastY), colour);
        previousY = s.lastY;
        started = true;
    }
}

double RoundStep(double raw)
{
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw * (1 - 1e-9))
            return m * power;
    return 10 * power;
}

struct Labels {
    AxisTicks ticks;
    std::vector<QString> texts;
    double widest = 0;
};

Labels MeasureLabels(const ChartAxis& axis, double pixels, double minSpacing, const QFont& font)
{
    const QFontMetricsF metrics(font);
    Labels l;
    l.ticks = TicksOf(axis, pixels, minSpacing);
    for (double v : l.ticks.values) {
        l.texts.push_back(AxisLabel(v, l.ticks.step));
        l.widest = std::max(l.widest, metrics.horizontalAdvance(l.texts.back()));
    }
    return l;
}

// The labels of an axis on the same room in the same font and separators
// come out the same every time: a chart repainted while its axes stay put (a
// live chart gains points many times a second) formats and measures them once.
Labels LabelsOf(const ChartAxis& axis, double pixels, double minSpacing, const QFont& font)
{
    struct Entry {
        double min, max, increment, pixels, minSpacing;
        QString font; // the font's key: kept past the application, unlike a QFont
        NumberSeparators separators;
        Labels labels;
    };
    const NumberSeparators& separators = CurrentNumberSeparators();
    const QString fontKey = font.key();
    constexpr size_t kKept = 8;
    thread_local std::vector<Entry> kept; // the latest first
    for (size_t i = 0; i < kept.size(); ++i) {
        const Entry& e = kept[i];
        if (e.min == axis.min && e.max == axis.max && e.increment == axis.increment && e.pixels == pixels &&
            e.minSpacing == minSpacing && e.font == fontKey &&
            e.separators.decimal == separators.decimal && e.separators.thousands == separators.thousands) {
            std::rotate(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(i), kept.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return kept.front().labels;
        }
    }
    Labels labels = MeasureLabels(axis, pixels, minSpacing, font);
    if (kept.size() == kKept)
        kept.pop_back();
    kept.insert(kept.begin(), Entry{axis.min, axis.max, axis.increment, pixels, minSpacing, fontKey, separators, labels});
    return labels;
}

double LeftLabelSpacing(const QFontMetricsF& metrics)
{
    return 2 * metrics.height();
}
} // namespace

AxisTicks TicksOf(const ChartAxis& axis, double pixels, double minSpacing)
{
    AxisTicks t;
    if (!Usable(axis) || !(pixels > 0))
        return t;
    const double span = axis.max - axis.min;
    const double fewest = span * std::max(minSpacing, 1.0) / pixels; // the smallest step labels allow
    double step = axis.increment > 0 ? axis.increment : RoundStep(fewest);
    while (step < fewest)
        step *= 2;
    const double first = std::ceil(axis.min / step - 1e-9) * step;
    for (int i = 0;; ++i) {
        double v = first + i * step;
        if (v > axis.max + step * 1e-9 || i > 1000)
            break;
        if (std::fabs(v) < step * 1e-9)
            v = 0;
        t.values.push_back(v);
    }
    t.step = step;
    return t;
}

QString AxisLabel(double value, double step)
{
    int decimals = 0;
    while (decimals < 6 && std::fabs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-6)
        ++decimals;
    return QString::fromStdString(FormatNumberText(value, 15, decimals));
}

ChartLayout LayOutChart(const ChartModel& chart, const QRectF& area, const QFont& font)
{
    const QFontMetricsF metrics(font);
    const double line = metrics.height();
    ChartLayout l;
    l.area = area;
    // The left labels' width depends on the height the plot gets, which
    // depends only on the bottom's fixed parts: measure once.
    const double bottomPart = kTickLength + kGap + line + (chart.bottom.title.empty() ? 0 : kGap + line) + kGap;
    const double top = area.top() + line / 2 + kGap;
    const double plotHeight = std::max(1.0, area.bottom() - bottomPart - top);
    const Labels left = LabelsOf(chart.left, plotHeight, LeftLabelSpacing(metrics), font);
    double leftPart = kGap + left.widest + kGap + kTickLength;
    if (!chart.left.title.empty())
        leftPart += line + kGap;
    // The last bottom label is centred on the plot's right edge.
    const double lastHalf =
        Usable(chart.bottom) ? metrics.horizontalAdvance(AxisLabel(chart.bottom.max, chart.bottom.increment)) / 2 : 0;
    const double right = area.right() - std::max(lastHalf, line / 2) - kGap;
    l.plot = QRectF(QPointF(area.left() + leftPart, top), QPointF(std::max(area.left() + leftPart + 1, right), top + plotHeight));
    l.leftTitle = QRectF(area.left() + kGap, l.plot.top(), line, l.plot.height());
    l.bottomTitle = QRectF(l.plot.left(), area.bottom() - kGap - line, l.plot.width(), line);
    return l;
}

namespace {
void DrawSeries(QPainter& painter, const ChartModel& chart, const QRectF& plot)
{
    const Mapping map(chart, plot);
    for (const ChartSeries& s : chart.Series()) {
        if (!s.Visible() || s.Empty())
            continue;
        if (s.Summarised())
            DrawSummary(painter, s, map, plot);
        else
            DrawPointByPoint(painter, s, map, plot);
    }
}

// The pixel column a slice of a summary is drawn in (as DrawSummary merges them).
long ColumnOf(const ChartSeries::Slice& s, const Mapping& map)
{
    return std::lround(std::floor(map(s.firstX, 0).x()));
}

// Widens [low, high] (pixels) to where the point at index of a series,
// added since the series was drawn, changed its picture.
void WidenToChangeOf(const ChartSeries& series, size_t index, const Mapping& map, double& low, double& high)
{
    constexpr double kNone = std::numeric_limits<double>::infinity();
    const ChartPoint& p = series.Points()[index];
    if (series.Summarised()) {
        // Slices narrower than a pixel make up columns; the point changed its
        // slice's column and the joins to the columns beside it. Slices two
        // columns away and beyond are as they were.
        const auto& slices = series.Slices();
        const size_t i = series.SliceOf(p.x);
        if (i == ChartSeries::kSlices || std::isnan(p.y))
            return; // off the axis, or no y: not drawn
        const long column = ColumnOf(slices[i], map);
        double left = -kNone, right = kNone;
        for (size_t j = i; j-- > 0;)
            if (slices[j].count > 0 && ColumnOf(slices[j], map) <= column - 2) {
                left = map(slices[j].lastX, 0).x();
                break;
            }
        for (size_t k = i + 1; k < slices.size(); ++k)
            if (slices[k].count > 0 && ColumnOf(slices[k], map) >= column + 2) {
                right = map(slices[k].firstX, 0).x();
                break;
            }
        low = std::min(low, left);
        high = std::max(high, right);
        return;
    }
    const double x = map(p.x, 0).x();
    if (series.Kind() == SeriesKind::Points) {
        low = std::min(low, x);
        high = std::max(high, x);
        return;
    }
    // A line (or stairs) in order of x: the point lies between its
    // neighbours, and what joined them now runs through it.
    double left = -kNone, right = kNone;
    const auto& points = series.Points();
    for (size_t j = 0; j < points.size(); ++j) {
        // Points of equal x lie in the order they were added.
        const float x = points[j].x;
        if (x < p.x || (x == p.x && j < index))
            left = std::max(left, map(x, 0).x());
        else if (x > p.x || (x == p.x && j > index))
            right = std::min(right, map(x, 0).x());
    }
    low = std::min(low, left);
    high = std::max(high, right);
}

void DrawFrame(QPainter& painter, const QRectF& plot)
{
    const QColor black = ToColour(ChartColours::kBlack);
    painter.setPen(QPen(black, 1));
    painter.setBrush(Qt::NoBrush);
    // On pixels without scaling, a 1-pixel outline lies in the pixels its
    // edges' coordinates fall in: four filled lines give the same pixels at
    // a fraction of the cost of stroking (the frame is drawn on every
    // repaint of a chart fed by the monitor). Files of lines keep the outline.
    const QTransform& device = painter.deviceTransform();
    const bool wholePixels = device.type() <= QTransform::TxTranslate && device.dx() == std::floor(device.dx()) &&
                             device.dy() == std::floor(device.dy());
    if (painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster && wholePixels &&
        !painter.testRenderHint(QPainter::Antialiasing)) {
        const int left = static_cast<int>(std::floor(plot.left())), top = static_cast<int>(std::floor(plot.top()));
        const int right = static_cast<int>(std::floor(plot.right())), bottom = static_cast<int>(std::floor(plot.bottom()));
        painter.fillRect(QRect(left, top, right - left + 1, 1), black);
        painter.fillRect(QRect(left, bottom, right - left + 1, 1), black);
        painter.fillRect(QRect(left, top, 1, bottom - top + 1), black);
        painter.fillRect(QRect(right, top, 1, bottom - top + 1), black);
        return;
    }
    painter.drawRect(plot);
}
} // namespace

std::vector<SeriesDrawn> DrawnFrom(const ChartModel& chart)
{
    std::vector<SeriesDrawn> drawn;
    drawn.reserve(chart.Series().size());
    for (const ChartSeries& s : chart.Series())
        drawn.push_back({s.Count(), s.Revision()});
    return drawn;
}

bool ChangedPart(const ChartModel& chart, const std::vector<SeriesDrawn>& drawn, const QRectF& plot, QRectF& part)
{
    part = QRectF();
    if (drawn.size() != chart.Series().size() || !Usable(chart.left) || !Usable(chart.bottom))
        return false;
    // Each added point looks for its neighbours among all of its series':
    // past a few, a repaint of all of the chart costs less.
    constexpr size_t kMostAdded = 64;
    size_t added = 0;
    for (size_t i = 0; i < drawn.size(); ++i) {
        const ChartSeries& s = chart.Series()[i];
        if (s.Revision() != drawn[i].revision || s.Count() < drawn[i].count)
            return false;
        if (s.Visible())
            added += s.Count() - drawn[i].count;
    }
    if (added > kMostAdded)
        return false;
    const Mapping map(chart, plot);
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (size_t i = 0; i < drawn.size(); ++i) {
        const ChartSeries& s = chart.Series()[i];
        if (!s.Visible())
            continue;
        for (size_t j = drawn[i].count; j < s.Count(); ++j) {
            if (!std::isfinite(s.Points()[j].x))
                return false;
            WidenToChangeOf(s, j, map, low, high);
        }
    }
    if (low > high)
        return true; // nothing shown changed
    // Lines and marks reach beyond their points: by a mark's size, and a pixel for rounding.
    const double reach = kMarkRadius + 2;
    const QRectF room = plot.adjusted(-1, -1, 1, 1);
    part = QRectF(QPointF(std::max(low - reach, room.left()), room.top()),
                  QPointF(std::min(high + reach, room.right()), room.bottom()));
    return true;
}

void DrawChart(QPainter& painter, const ChartModel& chart, const QRectF& area, ChartParts parts)
{
    painter.save();
    const QFontMetricsF metrics(painter.font());
    const ChartLayout layout = LayOutChart(chart, area, painter.font());
    const QRectF& plot = layout.plot;
    if (parts == ChartParts::Series) {
        if (Usable(chart.left) && Usable(chart.bottom)) {
            // The backdrop's labels and ticks stay as they are: nothing is drawn beyond the frame.
            painter.setClipRect(plot.adjusted(-1, -1, 1, 1));
            DrawSeries(painter, chart, plot);
            painter.setClipping(false);
            DrawFrame(painter, plot);
        }
        painter.restore();
        return;
    }
    painter.fillRect(area, ToColour(chart.background));

    const Labels left = LabelsOf(chart.left, plot.height(), LeftLabelSpacing(metrics), painter.font());
    const Labels bottom = LabelsOf(chart.bottom, plot.width(), 0, painter.font());
    // The bottom labels must not run into each other.
    const Labels bottomSpaced = LabelsOf(chart.bottom, plot.width(), bottom.widest + 2 * kGap, painter.font());
    const bool axesUsable = Usable(chart.left) && Usable(chart.bottom);

    // Grid.
    painter.setPen(QPen(ToColour(ChartColours::kGrid), 1));
    if (axesUsable) {
        const Mapping map(chart, plot);
        for (double v : left.ticks.values) {
            const double y = map(chart.bottom.min, v).y();
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
        for (double v : bottomSpaced.ticks.values) {
            const double x = map(v, chart.left.min).x();
            painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        }
        // Series, in the order they were added.
        if (parts == ChartParts::All)
            DrawSeries(painter, chart, plot);
    }

    // Frame, ticks and labels.
    DrawFrame(painter, plot);
    if (axesUsable) {
        const Mapping map(chart, plot);
        for (size_t i = 0; i < left.ticks.values.size(); ++i) {
            const double y = map(chart.bottom.min, left.ticks.values[i]).y();
            painter.drawLine(QPointF(plot.left() - kTickLength, y), QPointF(plot.left(), y));
            const double w = metrics.horizontalAdvance(left.texts[i]);
            painter.drawText(QPointF(plot.left() - kTickLength - kGap - w, y + (metrics.ascent() - metrics.descent()) / 2),
                             left.texts[i]);
        }
        for (size_t i = 0; i < bottomSpaced.ticks.values.size(); ++i) {
            const double x = map(bottomSpaced.ticks.values[i], chart.left.min).x();
            painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + kTickLength));
            const double w = metrics.horizontalAdvance(bottomSpaced.texts[i]);
            painter.drawText(QPointF(x - w / 2, plot.bottom() + kTickLength + kGap + metrics.ascent()), bottomSpaced.texts[i]);
        }
    }

    // Titles.
    if (!chart.bottom.title.empty()) {
        const QString title = Utf8(chart.bottom.title);
        const double w = metrics.horizontalAdvance(title);
        painter.drawText(QPointF(layout.bottomTitle.center().x() - w / 2, layout.bottomTitle.top() + metrics.ascent()), title);
    }
    if (!chart.left.title.empty()) {
        const QString title = Utf8(chart.left.title);
        const double w = metrics.horizontalAdvance(title);
        painter.translate(layout.leftTitle.left() + metrics.ascent(), layout.leftTitle.center().y());
        painter.rotate(-90);
        painter.drawText(QPointF(-w / 2, 0), title);
    }
    painter.restore();
}
