#pragma once

#include "imaging/PicMod.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <vector>

namespace kartovo {

// Marker positions found on a card. Top markers are screen columns of the
// spot's first pixel; side markers are the row of the spot's upper pixel,
// first as rows counted from the bottom (1 = the bottom row), after
// ConvertSideMarkersToScreenRows as screen rows. 0 means not found.
struct MarkerResult {
    int topMarker1X = 0; // left edge of the code field
    int topMarker2X = 0; // left edge of the grid
    int topMarker3X = 0; // right edge of grid and code field
    int sideMarker1Y = 0; // top edge of the grid
    int sideMarker2Y = 0; // bottom edge of the grid
    int sideMarker3Y = 0; // top edge of the code field
    int sideMarker4Y = 0; // bottom edge of the code field

    bool gridMarkersFound() const {
        return topMarker2X != 0 && topMarker3X != 0 && sideMarker1Y != 0 && sideMarker2Y != 0;
    }
};

// The row search for the three top markers, then the column search for the
// four side markers, on the card picture (32-bit RGB), with the spots they met
// so that their trace can be painted afterwards, even on the card itself.
// Pixel (x, y) of the searches is screen column x - 1, screen row H - y.
// A spot is two dark pixels (red + green + blue below 300) side by side (row
// search) or one above the other (column search); after a spot the search
// resumes 11 pixels further.
struct MarkerSearch {
    MarkerResult markers; // side markers as rows from the bottom
    int width = 0, height = 0;
    std::vector<QPoint> topSpots, sideSpots; // (x, y) search pixels, in search order
};
MarkerSearch FindMarkers(const QImage& card, const ProgressCallback& progress = {});

// Paints the pixels the searches examined light green, search pixel (x, y)
// at screen column x, row H - y; `trace` must have the card's size.
void PaintSearchTrace(QImage& trace, const MarkerSearch& search);

// The pixels the searches examined, row by row, for painting the trace on
// the rows of a bitmap as it is written instead of on the card itself. Holds
// the spots bucketed by row, not the pixels: its size follows the spots.
class SearchTrace {
public:
    explicit SearchTrace(const MarkerSearch& search);
    // Paints the examined pixels of screen row `row` light green on that row
    // of the card as blue, green, red bytes.
    void paintRow(int row, uchar* bgr) const;
    // The same on a row of a 32-bit picture.
    void paintRow(int row, QRgb* line) const;

private:
    // Calls paint(first, last) for each run of examined x on the row.
    template <class Paint>
    void forEachRun(int row, Paint&& paint) const;

    int m_width = 0, m_height = 0;
    int m_lastRow = -1, m_lastRowX = 0;      // row search: where it stopped (-1: it ran to the end)
    int m_lastColumn = -1, m_lastColumnRow = 0; // column search: likewise
    std::vector<int> m_topStart, m_topXs;   // row-search spots by screen row
    std::vector<int> m_sideStart, m_sideXs; // column-search spots by screen row
};

// The refusal for missing grid markers, lines joined by carriage returns;
// empty when all four grid markers are there.
QString MissingMarkersText(const MarkerResult& markers);

// Side markers become screen rows: H - value (a missing one becomes H).
void ConvertSideMarkersToScreenRows(MarkerResult& markers, int height);

// The grid cut out of the card: (gw + 1) x (gh + 1) pixels, the last column
// and row white. Side markers must be screen rows.
QImage CutOutGrid(const QImage& card, const MarkerResult& markers);

// The same for the code field, between top markers 1 and 3 and side markers 3 and 4.
QImage CutOutCodeField(const QImage& card, const MarkerResult& markers);

} // namespace kartovo
