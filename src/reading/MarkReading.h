#pragma once

#include "platform/Result.h"
#include "reading/GridGeometry.h"

#include <QImage>
#include <cstdint>
#include <functional>
#include <vector>

namespace kartovo {

// One marked cell, as the measurement table keeps it.
struct MarkedCell {
    int x = 0;       // cell centre, whole pixels (rounded down)
    int y = 0;
    int row = 0;     // 0 = bottom row of the grid
    int section = 0; // grid column, 1 = leftmost
};

// MeasurementCount is a 16-bit count: a card with more marks is refused.
inline constexpr int kMaxMeasurements = 32767;
QString TooManyMarksText();

// Cell test on the card picture (y from the top). (x, y) is the cell centre,
// columnWidth/rowHeight the cell size, threshold the fraction of the
// threshold percentage (0.2 for "20%"). Only pixels of exactly (0, 0, 0)
// count as ink (alpha aside); pixels outside the picture count as paper. The
// window is (cw - 1) x (rh - 1) samples, starting a pixel left of and below
// the cell's top-left corner, positions rounded half to even (a position
// repeated counts twice). Marked when ink > threshold x paper. Returns 0 when
// the cell is marked, 1 when empty. `picture` must be 32-bit RGB.
std::int16_t CheckCell(const QImage& picture, float x, float y, float columnWidth, float rowHeight,
                       double threshold);

// What the scan reports as it goes. `cell` runs after every cell with the
// cell's centre as the scan holds it (32-bit floats) and whether it was
// marked; `column` after every column with its centre and its marks.
struct ScanCallbacks {
    std::function<void(const MarkedCell& cell, float x, float y, bool marked)> cell;
    std::function<void(float x, int found)> column;
};
// Walks the grid column by column (left to right), each column from the
// bottom row up, and tests every cell with CheckCell. Refused (TooManyMarksText)
// as soon as more than kMaxMeasurements cells are marked.
Result<std::vector<MarkedCell>> ReadMarks(const QImage& picture, const GridGeometry& grid, double threshold,
                                          const ScanCallbacks& callbacks = {});

// The box half as wide and high as the cell, on its centre (corners rounded
// down, both included).
QRect MarkBoxRect(const GridGeometry& grid, float x, float y);

// The red box (palette 12) half as wide and high as the cell, on its centre.
void DrawMarkBox(QImage& picture, const GridGeometry& grid, float x, float y);

} // namespace kartovo
