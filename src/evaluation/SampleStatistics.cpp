#include "evaluation/SampleStatistics.h"

#include "platform/Variants.h"

#include <cmath>
#include <utility>

namespace kartovo {

namespace {

QVariant FloatValue(float f) { return QVariant(static_cast<double>(f)); }

} // namespace

float GetMedian(QList<double>& values, int count) {
    if (count < 1 || count > values.size()) return 0.0f;
    // Adjacent-pair passes until a pass moves nothing; the caller gets the
    // values back sorted.
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int i = 0; i + 1 < count; ++i) {
            if (values[i] > values[i + 1]) {
                std::swap(values[i], values[i + 1]);
                swapped = true;
            }
        }
    }
    if (count % 2 == 1) return static_cast<float>(values[count / 2]);
    return static_cast<float>((values[count / 2 - 1] + values[count / 2]) / 2.0);
}

SampleStatistics ComputeSampleStatistics(const QList<QVariant>& sample) {
    SampleStatistics s;
    s.count = static_cast<int>(sample.size());
    if (s.count == 0) return s;

    // Extremes first: they follow the null rules of MaxOf2/MinOf2 (a null never
    // wins, a null first value stays) and need no arithmetic.
    s.largest = sample.first();
    s.smallest = sample.first();
    for (const QVariant& v : sample) {
        s.largest = MaxOf2(s.largest, v);
        s.smallest = MinOf2(s.smallest, v);
    }
    if (IsPresent(s.largest) && IsPresent(s.smallest)) {
        const double hi = ToNumber(s.largest), lo = ToNumber(s.smallest);
        s.range = FloatValue(static_cast<float>(hi - lo));
        s.midRange = FloatValue(static_cast<float>((hi + lo) / 2.0));
    }

    // A sample with a missing value has no mean: storing a figure computed
    // over part of it (or left over from the previous sample) would be wrong.
    QList<double> x;
    x.reserve(s.count);
    for (const QVariant& v : sample) {
        if (!IsPresent(v)) return s;
        x.append(ToNumber(v));
    }

    float sum = 0.0f;
    for (double xi : x) sum = static_cast<float>(static_cast<double>(sum) + xi);
    const float mean = static_cast<float>(static_cast<double>(sum) / s.count);

    float squares = 0.0f;
    for (double xi : x) {
        const double d = static_cast<double>(mean) - xi;
        squares = static_cast<float>(static_cast<double>(squares) + d * d);
    }
    // One value has no spread; the divisor N - 1 would be zero.
    const float deviation =
        s.count < 2 ? 0.0f : static_cast<float>(std::sqrt(static_cast<double>(squares) / (s.count - 1)));

    s.mean = FloatValue(mean);
    s.standardDeviation = FloatValue(deviation);
    s.median = FloatValue(GetMedian(x, s.count));
    return s;
}

} // namespace kartovo
