#include "db/ControlChartConstants.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kartovo {

namespace {

double NormalCdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

} // namespace

ChartConstants ComputeChartConstants(int n) {
    ChartConstants c;
    if (n < 2) return c;

    // Range R = max - min of n standard normal values, with F the normal cdf:
    //   E[R]   = integral of 1 - F(x)^n - (1 - F(x))^n
    //   E[R^2] = 2 * double integral over x < y of
    //            1 - (1 - F(x))^n - F(y)^n + (F(y) - F(x))^n
    // Trapezoid rule on a grid wide enough for n up to 40.
    const double lo = -7.0, hi = 7.0, h = 0.02;
    const int m = static_cast<int>(std::lround((hi - lo) / h)) + 1;
    std::vector<double> F(m), Fn(m), Gn(m);
    for (int i = 0; i < m; ++i) {
        F[i] = NormalCdf(lo + i * h);
        Fn[i] = std::pow(F[i], n);
        Gn[i] = std::pow(1.0 - F[i], n);
    }
    double mean = 0;
    for (int i = 0; i < m; ++i) {
        const double w = (i == 0 || i == m - 1) ? 0.5 : 1.0;
        mean += w * (1.0 - Fn[i] - Gn[i]);
    }
    mean *= h;

    double square = 0;
    for (int i = 0; i < m; ++i) { // x on row i, y on row j >= i
        square += 0.5 * (1.0 - Gn[i] - Fn[i]); // diagonal: half weight
        for (int j = i + 1; j < m; ++j) square += 1.0 - Gn[i] - Fn[j] + std::pow(F[j] - F[i], n);
    }
    square *= 2.0 * h * h;

    c.d2 = mean;
    c.d3 = std::sqrt(std::max(0.0, square - mean * mean));
    c.D3 = std::max(0.0, 1.0 - 3.0 * c.d3 / c.d2);
    c.D4 = 1.0 + 3.0 * c.d3 / c.d2;

    c.c4 = std::sqrt(2.0 / (n - 1)) * std::exp(std::lgamma(n / 2.0) - std::lgamma((n - 1) / 2.0));
    const double spread = 3.0 * std::sqrt(1.0 - c.c4 * c.c4) / c.c4;
    c.B3 = std::max(0.0, 1.0 - spread);
    c.B4 = 1.0 + spread;
    return c;
}

} // namespace kartovo
