#pragma once

#include "db/ParameterRow.h"
#include "platform/Result.h"

#include <QImage>
#include <QString>
#include <QVariant>
#include <cstdint>

namespace kartovo {

// Value range and pixel geometry of the current card's grid.
struct GridGeometry {
    float RangeTop = 0.0f;        // value at the top edge of the grid
    float RangeBottom = 0.0f;     // value at the bottom edge
    std::int16_t ValueDecimals = 0; // places to which read values are rounded
    std::int32_t GridTop = 0, GridBottom = 0, GridLeft = 0, GridRight = 0;
    float GridOriginX = 0.0f, GridOriginY = 0.0f;
    float ColumnWidth = 0.0f, RowHeight = 0.0f;
};

// Palette entries used on the card picture.
inline constexpr QRgb kGridLineColour = 0xffc0c0c0u;  // 7 light grey
inline constexpr QRgb kCentreLineColour = 0xff00ffffu; // 11 light cyan
inline constexpr QRgb kOuterLimitColour = 0xffff0000u; // 12 red
inline constexpr QRgb kControlLineColour = 0xffffff00u; // 14 yellow

// Places after the first "." of the format, plus one ("0.00" -> 3, "0" -> 2).
std::int16_t ValueDecimalsOf(const QString& format);

// Skala = 1 or CzyArch: the grid spans the outer limits GL/DL too.
bool IsExtendedRange(const ParameterRow& parameter);

// Sets ValueDecimals, RangeTop and RangeBottom from the parameter's limits.
// Refused when the parameter has no usable range (neither OG nor OD, a
// missing bound with nothing to stand in, a limit that is no finite number).
Result<void> UstawZakresyP(const ParameterRow& parameter, GridGeometry& grid);

// GridTop/Left 0, GridBottom/Right the picture's height/width - 1.
void SetGridEdges(GridGeometry& grid, const QImage& picture);

// Sets the origin, ColumnWidth and RowHeight and draws limit lines, frame and
// grid lines on the picture. A step whose inputs are missing is skipped.
void RysSiatka(QImage& picture, const ParameterRow& parameter, GridGeometry& grid);

// Value of row r (0 = bottom row), rounded to ValueDecimals places; null when
// neither OD nor OG is there or the grid has no rows.
QVariant RowValue(const ParameterRow& parameter, const GridGeometry& grid, int row);

} // namespace kartovo
