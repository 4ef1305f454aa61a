#include "recognition/CodeField.h"

#include "platform/Messages.h"

#include <limits>

namespace kartovo {

std::int32_t Bin2Dec(const QString& num) {
    std::int64_t r = 0;
    const int len = num.size();
    for (int i = len - 1; i >= 0; --i) {
        if (num.at(len - 1 - i) != u'1') continue;
        if (i >= 31) continue; // 2^i alone is beyond the range
        const std::int64_t sum = r + (std::int64_t{1} << i);
        if (sum > std::numeric_limits<std::int32_t>::max()) continue;
        r = sum;
    }
    return static_cast<std::int32_t>(r);
}

QString UnreadableCodeText() {
    return QStringLiteral("Niepoprawnie odczytane pole kodujące parametr.") + kLineBreak +
           QStringLiteral("Zmień parametry skanowania.");
}

QString TooManyBarsText(int barCount) {
    return QStringLiteral("Pole kodujące parametr zawiera zbyt wiele znaczników (%1, najwyżej %2).")
               .arg(barCount)
               .arg(kMaxCodeBars) +
           kLineBreak + QStringLiteral("Niepoprawnie odczytane pole kodujące parametr.") + kLineBreak +
           QStringLiteral("Zmień parametry skanowania.");
}

CodeFieldResult ReadCodeField(const QImage& bwField) {
    CodeFieldResult result;
    const QImage field =
        bwField.format() == QImage::Format_RGB32 ? bwField : bwField.convertToFormat(QImage::Format_RGB32);
    const int w4 = field.isNull() ? 0 : field.width(), h4 = field.isNull() ? 0 : field.height();
    const int rb = h4 - 3;  // fourth pixel row from the top
    const int mg = h4 / 4;  // right margin, also the bit row
    // Column x (1-based) of row y counted from the bottom (1 = the bottom row).
    auto pixel = [&](int x, int y) { return reinterpret_cast<const QRgb*>(field.constScanLine(h4 - y))[x - 1]; };
    auto mean = [&](int x, int y) {
        const QRgb p = pixel(x, y);
        return (qBlue(p) + qGreen(p) + qRed(p)) / 3.0;
    };
    if (rb >= 1 && mg >= 1 && w4 >= 1) {
        int x = 1;
        const int limit = w4 - mg;
        bool stop = x > w4;
        while (!stop) {
            while (mean(x, rb) > 200) {
                if (++x > limit) { // a bar starting at the limit would run into the margin
                    stop = true;
                    break;
                }
            }
            if (stop) break;
            const int start = x;
            while (mean(x, rb) < 50) {
                if (++x > limit) {
                    stop = true;
                    break;
                }
            }
            if (stop) break; // a bar running into the margin is not recorded
            ++result.barCount;
            if (static_cast<int>(result.bars.size()) < kMaxCodeBars)
                result.bars.push_back({start + (x - start) / 2, u'0'});
            if (++x > w4) break;
        }
        for (CodeBar& bar : result.bars) {
            bar.bit = qBlue(pixel(bar.centre, mg)) == 0 ? u'1' : u'0';
            result.bits += bar.bit;
        }
    }
    if (result.barCount > kMaxCodeBars) {
        // The bar table holds 100 bars: a longer code cannot be the card's.
        result.id = 0;
        result.refusal = TooManyBarsText(result.barCount);
        return result;
    }
    result.id = Bin2Dec(result.bits);
    if (result.id <= 0) result.refusal = UnreadableCodeText();
    return result;
}

} // namespace kartovo
