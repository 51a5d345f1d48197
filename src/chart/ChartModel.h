#pragma once
// What a chart shows, without a window: two axes with their limits and
// titles, and series of points (lines, stair steps or marks). The renderer
// draws it onto any paint device, so the screen and every exported file show
// the same picture.
//
// A series keeps every point it is given (12 bytes each, in blocks that never
// move), and beside them a summary per slice of the bottom axis: the first,
// last, lowest and highest point of each slice. Adding a point costs the same
// however many came before, and a series too long to draw point by point is
// drawn from its slices, so drawing costs no more as points accumulate.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// 0xRRGGBB.
using ChartColour = uint32_t;

namespace ChartColours {
constexpr ChartColour kBlack = 0x000000;
constexpr ChartColour kWhite = 0xFFFFFF;
constexpr ChartColour kRed = 0xFF0000;
constexpr ChartColour kOrange = 0xFFAA00;
constexpr ChartColour kFuchsia = 0xFF00FF;
constexpr ChartColour kSteelBlue = 0x4566A3;
constexpr ChartColour kLimitOrange = 0xFF8040;
constexpr ChartColour kGrid = 0xDCDCDC;
} // namespace ChartColours

struct ChartPoint {
    float x = 0;
    float y = 0;
    ChartColour colour = 0;
};

enum class SeriesKind {
    Line,   // points joined in order of x
    Stairs, // joined by a horizontal then a vertical step
    Points  // a diamond mark on every point
};

class ChartSeries {
public:
    // A series too long for this is drawn from its slices.
    static constexpr size_t kDrawnPointByPoint = 4096;
    static constexpr size_t kSlices = 2048;

    // One slice of the bottom axis: what a drawing needs of its points.
    struct Slice {
        uint32_t count = 0;
        float firstX = 0, firstY = 0; // the point with the smallest x
        float lastX = 0, lastY = 0;   // the point with the largest x
        float minY = 0, maxY = 0;
        ChartColour colour = 0;       // a point's own colour, when one differs from the series'
        bool ownColour = false;
    };

    ChartSeries(SeriesKind kind, ChartColour colour, std::string name = {})
        : kind_(kind), colour_(colour), name_(std::move(name))
    {
    }

    SeriesKind Kind() const { return kind_; }
    ChartColour Colour() const { return colour_; }
    const std::string& Name() const { return name_; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible)
    {
        if (visible != visible_)
            ++revision_;
        visible_ = visible;
    }
    // Counts every change but the adding of points (clearing, showing or
    // hiding, summarising anew): a picture of the series drawn at the same
    // revision differs from the series now only by the points added since.
    uint64_t Revision() const { return revision_; }

    void Add(float x, float y) { Add(x, y, colour_); }
    void Add(float x, float y, ChartColour colour);
    void Clear();
    size_t Count() const { return points_.size(); }
    bool Empty() const { return points_.empty(); }
    // In the order they were added.
    const std::deque<ChartPoint>& Points() const { return points_; }

    // The points sorted by x (equal x in the order they were added), for a
    // series short enough to be drawn point by point.
    void SortedPoints(std::vector<ChartPoint>& out) const;
    // True once the series is drawn from its slices.
    bool Summarised() const { return !slices_.empty(); }
    const std::vector<Slice>& Slices() const { return slices_; }
    // Slice i covers [SliceLeft(i), SliceLeft(i + 1)) of the bottom axis.
    double SliceLeft(size_t i) const;
    // The slice x falls in, or kSlices when x is off the axis (or the axis empty).
    size_t SliceOf(double x) const;

    // The bottom axis range the slices divide; set by the chart.
    void SetRange(double min, double max);

private:
    void Summarise();
    void AddToSlice(const ChartPoint& p);

    SeriesKind kind_;
    ChartColour colour_;
    std::string name_;
    bool visible_ = true;
    std::deque<ChartPoint> points_;
    std::vector<Slice> slices_;
    double min_ = 0, max_ = 1;
    uint64_t revision_ = 0;
};

struct ChartAxis {
    double min = 0;
    double max = 1;
    double increment = 0; // between labelled ticks; 0 chooses a round step
    std::string title;    // UTF-8

    void SetRange(double low, double high)
    {
        min = low;
        max = high;
    }
};

class ChartModel {
public:
    ChartAxis left;
    ChartAxis bottom;
    ChartColour background = ChartColours::kWhite;

    // Adds a series; the reference stays valid for the life of the chart.
    ChartSeries& AddSeries(SeriesKind kind, ChartColour colour, std::string name = {});
    const std::deque<ChartSeries>& Series() const { return series_; }
    ChartSeries& SeriesAt(size_t i) { return series_[i]; }

    // The bottom axis range; the series' slices follow it.
    void SetBottomRange(double min, double max);
    void ClearSeries();

private:
    std::deque<ChartSeries> series_;
};
