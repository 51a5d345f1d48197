#include "util/LineFit.h"

#include <cmath>

void FitLine(const TRealPointArray& points, long double& slope, long double& intercept, long double& correlation)
{
    const long double n = static_cast<long double>(points.size());
    long double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (const T2DRealPoint& p : points) {
        sx += p.x;
        sy += p.y;
        sxx += p.x * p.x;
        syy += p.y * p.y;
        sxy += p.x * p.y;
    }
    if (points.empty() || sx * sx == n * sxx || sy * sy == n * syy) {
        slope = 0;
        intercept = 0;
        return;
    }
    slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    intercept = (sy - slope * sx) / n;
    correlation = (sxy - sx * sy / n) / (std::sqrt(sxx - sx * sx / n) * std::sqrt(syy - sy * sy / n));
}
