#pragma once

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

// Walks the grid column by column (left to right), each column from the
// bottom row up, and tests every cell with CheckPoint on the picture.
// `threshold` is the fraction (0.2 for "20%"). `afterColumn` gets the
// section's centre and how many marks it held.
std::vector<MarkedCell> ReadMarks(const QImage& picture, const GridGeometry& grid, double threshold,
                                  const std::function<void(float x, int found)>& afterColumn = {});

// The cell test of CheckPoint with the same window, rounding and counting,
// reading the window row by row: 0 when the cell is marked, 1 when empty.
// `picture` must be 32-bit RGB.
std::int16_t CheckCell(const QImage& picture, float x, float y, float columnWidth, float rowHeight,
                       double threshold);

// What the scan reports as it goes. `cell` runs after every cell with the
// cell's centre as the scan holds it (32-bit floats) and whether it was
// marked; `column` after every column. `stop` is asked after every marked
// cell: true ends the scan there (the marks found so far are returned).
struct ScanCallbacks {
    std::function<void(const MarkedCell& cell, float x, float y, bool marked)> cell;
    std::function<void(float x, int found)> column;
    std::function<bool(std::size_t markCount)> stop;
};
std::vector<MarkedCell> ReadMarks(const QImage& picture, const GridGeometry& grid, double threshold,
                                  const ScanCallbacks& callbacks);

// The box half as wide and high as the cell, on its centre (corners rounded
// down, both included).
QRect MarkBoxRect(const GridGeometry& grid, float x, float y);

// The red box (palette 12) half as wide and high as the cell, on its centre.
void DrawMarkBox(QImage& picture, const GridGeometry& grid, float x, float y);

} // namespace kartovo
