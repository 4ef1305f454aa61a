#pragma once

#include <QString>
#include <cstdint>

namespace kartovo {

// Lenient text-to-number reading used wherever a stored or typed text is taken
// as a number: leading blanks skipped, the longest leading decimal number taken,
// anything else (also the empty text) reads as 0. "20%" -> 20, "  7x" -> 7.
double Val(const QString& text);

// Whole number nearest to v, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
std::int64_t CInt(double v);
// The same into the 16-bit and 32-bit ranges; values outside are clamped.
std::int16_t CInt16(double v);
std::int32_t CLng(double v);

// Rounds v to `decimals` places, halves to the even neighbour.
double RoundHalfEven(double v, int decimals);

// Shortest decimal text of v ("20", "-3", "2.5"), with a point as separator.
QString ShortestText(double v);

} // namespace kartovo
