#pragma once

#include <QImage>
#include <cstdint>

namespace kartovo {

// Cell test on the card picture (y from the top). (x, y) is the cell centre,
// columnWidth/rowHeight the cell size, threshold the fraction of the
// threshold percentage (0.2 for "20%"). Only pixels of exactly (0, 0, 0)
// count as ink; pixels outside the picture count as paper. The window is
// (cw - 1) x (rh - 1) pixels, two pixels left of the centre, positions
// rounded half to even. Returns 0 when the cell is marked, 1 when empty.
std::int16_t CheckPoint(const QImage& picture, float x, float y, float columnWidth, float rowHeight,
                        double threshold);

} // namespace kartovo
