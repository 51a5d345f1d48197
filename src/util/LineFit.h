#pragma once
// Least-squares line through a set of points.

#include <vector>

struct T2DRealPoint {
    long double x = 0;
    long double y = 0;
};

using TRealPointArray = std::vector<T2DRealPoint>;

// Fits y = slope * x + intercept. When all x or all y are equal, slope and
// intercept are 0 and correlation is left as it was.
void FitLine(const TRealPointArray& points, long double& slope, long double& intercept, long double& correlation);
