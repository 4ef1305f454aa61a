#pragma once

#include "db/ParameterRow.h"

#include <QFont>
#include <QImage>
#include <optional>
#include <vector>

namespace kartovo {

// The strip P3 above the card picture: one count per column, centred on the
// column, its top 4 pixels below the strip's top.
inline constexpr int kCountStripPixels = 19;
inline constexpr int kCountTextTop = 4;

// Marks a section is expected to hold: 1 on a card of TypKarty 1, else Probka;
// nothing when Probka is missing.
std::optional<double> ExpectedCount(const ParameterRow& parameter);
// A non-zero count that differs from the expected one.
bool CountStandsOut(int found, const ParameterRow& parameter);

// White strip as wide as the card picture.
QImage BlankCountStrip(int width);
// The strip's font: bold for a count that stands out. Drawn without
// antialiasing so a count is pure red or pure black.
QFont CountFont(bool bold);

// Prints `found` centred on x (rounded half to even), bold red when it stands
// out, else normal black. Nothing is printed without a GUI application.
void PrintCount(QImage& strip, float x, int found, const ParameterRow& parameter);

// Blanks the strip and prints every column's count; counts[i] belongs to the
// column centred on centres[i].
void RedrawCountStrip(QImage& strip, const std::vector<float>& centres, const std::vector<int>& counts,
                      const ParameterRow& parameter);

} // namespace kartovo
