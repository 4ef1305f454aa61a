#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace kartovo {

// At most this many clock bars fit the bar table.
inline constexpr int kMaxCodeBars = 100;

struct CodeBar {
    int centre = 0;   // column (1-based) of the bar's centre
    QChar bit = u'0'; // "1" when the bit cell under it is black
};

// Outcome of reading a black-and-white code field.
struct CodeFieldResult {
    QString bits;              // "0"/"1", bar 1 first
    std::int32_t id = 0;       // Bin2Dec(bits)
    int barCount = 0;          // bars found (may exceed kMaxCodeBars, then refused)
    std::vector<CodeBar> bars; // the recorded bars (at most kMaxCodeBars)
    QString refusal;           // empty when id is usable
};

// Value of a text of "0"/"1" characters, first character most significant;
// other characters count as 0; a weight that would leave the 32-bit signed
// range is skipped, so only the last 31 characters can contribute.
std::int32_t Bin2Dec(const QString& num);

// Clock bars on the 4th pixel row from the top, bits a quarter of the field's
// height above its bottom; the rightmost Int(H/4) columns never hold a bar.
CodeFieldResult ReadCodeField(const QImage& bwField);

// Refusal texts of the code field (lines joined by carriage returns).
QString UnreadableCodeText();
QString TooManyBarsText(int barCount);

} // namespace kartovo
