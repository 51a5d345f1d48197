#include "chart/ChartModel.h"

#include <algorithm>
#include <cmath>

void ChartSeries::Add(float x, float y, ChartColour colour)
{
    points_.push_back(ChartPoint{x, y, colour});
    if (Summarised())
        AddToSlice(points_.back());
    else if (points_.size() > kDrawnPointByPoint)
        Summarise();
}

void ChartSeries::Clear()
{
    // A cleared series gives its memory back.
    std::deque<ChartPoint>().swap(points_);
    std::vector<Slice>().swap(slices_);
    ++revision_;
}

void ChartSeries::SortedPoints(std::vector<ChartPoint>& out) const
{
    out.assign(points_.begin(), points_.end());
    std::stable_sort(out.begin(), out.end(), [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
}

double ChartSeries::SliceLeft(size_t i) const
{
    return min_ + (max_ - min_) * static_cast<double>(i) / static_cast<double>(kSlices);
}

void ChartSeries::SetRange(double min, double max)
{
    if (min == min_ && max == max_)
        return;
    min_ = min;
    max_ = max;
    if (Summarised())
        Summarise();
}

void ChartSeries::Summarise()
{
    ++revision_;
    slices_.assign(kSlices, Slice{});
    for (const ChartPoint& p : points_)
        AddToSlice(p);
}

size_t ChartSeries::SliceOf(double x) const
{
    const double span = max_ - min_;
    if (!(span > 0) || !(x >= min_ && x <= max_))
        return kSlices;
    return std::min(static_cast<size_t>((x - min_) / span * static_cast<double>(kSlices)), kSlices - 1);
}

void ChartSeries::AddToSlice(const ChartPoint& p)
{
    // Points off the axis are not drawn; nor is anything on an empty axis.
    const size_t i = SliceOf(p.x);
    if (i == kSlices || std::isnan(p.y))
        return;
    Slice& s = slices_[i];
    if (s.count == 0) {
        s.firstX = s.lastX = p.x;
        s.firstY = s.lastY = p.y;
        s.minY = s.maxY = p.y;
    } else {
        if (p.x < s.firstX) {
            s.firstX = p.x;
            s.firstY = p.y;
        }
        // Equal x: the later point comes last, as in a sorted series.
        if (p.x >= s.lastX) {
            s.lastX = p.x;
            s.lastY = p.y;
        }
        s.minY = std::min(s.minY, p.y);
        s.maxY = std::max(s.maxY, p.y);
    }
    if (p.colour != colour_) {
        s.colour = p.colour;
        s.ownColour = true;
    }
    ++s.count;
}

ChartSeries& ChartModel::AddSeries(SeriesKind kind, ChartColour colour, std::string name)
{
    ChartSeries& series = series_.emplace_back(kind, colour, std::move(name));
    series.SetRange(bottom.min, bottom.max);
    return series;
}

void ChartModel::SetBottomRange(double min, double max)
{
    bottom.SetRange(min, max);
    for (ChartSeries& s : series_)
        s.SetRange(min, max);
}

void ChartModel::ClearSeries()
{
    for (ChartSeries& s : series_)
        s.Clear();
}
