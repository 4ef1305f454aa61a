#pragma once

namespace kartovo {

// Shewhart control-chart factors for subgroups of size n (normal data):
// d2, d3 of the range, c4 of the standard deviation, and the limit factors
// D3/D4 (range chart) and B3/B4 (standard-deviation chart). Computed by
// numerical integration over the normal distribution; n >= 2.
struct ChartConstants {
    double d2 = 0;
    double d3 = 0;
    double c4 = 0;
    double D3 = 0;
    double D4 = 0;
    double B3 = 0;
    double B4 = 0;
};

ChartConstants ComputeChartConstants(int n);

} // namespace kartovo
