#pragma once

#include <QList>
#include <QVariant>

namespace kartovo {

// Statistics of one sample as the main SPC program reads them from SPC_Baza.
// Mean, deviation, range, mid-range and median hold 32-bit float values
// (carried in a double QVariant so every SQL driver binds them); smallest and
// largest keep the values' own type. A statistic that cannot be computed
// (no values, or a value that is null) is null.
struct SampleStatistics {
    int count = 0; // N, the number of values evaluated
    QVariant mean;
    QVariant standardDeviation;
    QVariant range;
    QVariant midRange;
    QVariant median;
    QVariant smallest;
    QVariant largest;
};

// Statistics of the values in slot order (slot 1 first). The float partial
// sums depend on that order, so callers pass the sample exactly as filled.
SampleStatistics ComputeSampleStatistics(const QList<QVariant>& sample);

// Median of values[0 .. count-1] as a 32-bit float; leaves those values sorted
// ascending. count must be at least 1 and at most values.size().
float GetMedian(QList<double>& values, int count);

} // namespace kartovo
