#include "platform/Numbers.h"

#include <cmath>
#include <limits>
#include <QLocale>

namespace kartovo {

double Val(const QString& text) {
    const int n = text.size();
    int i = 0;
    while (i < n && (text[i] == u' ' || text[i] == u'\t')) ++i;
    const int start = i;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) ++i;
    const int digitsStart = i;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) ++i;
    bool any = i > digitsStart;
    if (i < n && text[i] == u'.') {
        const int frac = ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) ++i;
        any = any || i > frac;
    }
    if (!any) return 0.0;
    // Exponent only when complete ("1e5"); "1e" stays 1.
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        int j = i + 1;
        if (j < n && (text[j] == u'-' || text[j] == u'+')) ++j;
        const int expDigits = j;
        while (j < n && text[j].isDigit() && text[j].unicode() < 128) ++j;
        if (j > expDigits) i = j;
    }
    bool ok = false;
    const double v = text.mid(start, i - start).toDouble(&ok);
    return ok ? v : 0.0;
}

std::int64_t CInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (v <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::nearbyint(v)); // default FE_TONEAREST: ties to even
}

std::int16_t CInt16(double v) {
    const auto w = CInt(v);
    if (w > std::numeric_limits<std::int16_t>::max()) return std::numeric_limits<std::int16_t>::max();
    if (w < std::numeric_limits<std::int16_t>::min()) return std::numeric_limits<std::int16_t>::min();
    return static_cast<std::int16_t>(w);
}

std::int32_t CLng(double v) {
    const auto w = CInt(v);
    if (w > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (w < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(w);
}

double RoundHalfEven(double v, int decimals) {
    if (!std::isfinite(v)) return v;
    // Work on the shortest decimal text so that 10.05 (binary 10.0499...) counts as a half.
    const QString text = QString::number(v, 'g', 15);
    bool ok = false;
    const double exact = text.toDouble(&ok);
    const double scale = std::pow(10.0, decimals);
    const double scaled = (ok ? exact : v) * scale;
    const double r = std::nearbyint(scaled);
    // Only treat it as a tie when the decimal text says it is one.
    if (std::fabs(std::fabs(scaled - std::trunc(scaled)) - 0.5) < 1e-9 * std::max(1.0, std::fabs(scaled))) {
        const double lo = std::floor(scaled), hi = lo + 1.0;
        const double even = std::fmod(lo, 2.0) == 0.0 ? lo : hi;
        return even / scale;
    }
    return r / scale;
}

QString ShortestText(double v) {
    if (v == 0.0) return QStringLiteral("0");
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

} // namespace kartovo
