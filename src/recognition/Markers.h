#pragma once

#include "imaging/PicMod.h"
#include "imaging/PixelBuffer.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <vector>

namespace kartovo {

// Marker positions found on a card. Top markers are screen columns of the
// spot's first pixel; side markers are the row of the spot's upper pixel,
// first as PixelBuffer rows (counted from the bottom), after
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

// Mean of red, green, blue below 100 (channel sum 299 or less).
inline bool IsDarkPixel(const PixelBuffer& buffer, int x, int y) {
    const std::uint8_t* p = buffer.pixel(x, y);
    return p[0] + p[1] + p[2] < 300;
}

// Row search for the three top markers. Paints every examined pixel light
// green on `trace` (when given; it must have the buffer's size).
void SearchTopMarkers(const PixelBuffer& buffer, MarkerResult& result, QImage* trace = nullptr,
                      const ProgressCallback& progress = {});

// Column search for the four side markers (buffer rows in the result).
void SearchSideMarkers(const PixelBuffer& buffer, MarkerResult& result, QImage* trace = nullptr,
                       const ProgressCallback& progress = {});

// Both searches in order.
MarkerResult FindMarkers(const PixelBuffer& buffer, QImage* trace = nullptr, const ProgressCallback& progress = {});

// Both searches straight on the card picture (32-bit RGB, as the pixel
// buffer would hold it), with the spots they met so that their trace can be
// painted afterwards, even on the card itself.
struct MarkerSearch {
    MarkerResult markers; // side markers as buffer rows
    int width = 0, height = 0;
    std::vector<QPoint> topSpots, sideSpots; // (x, y) buffer pixels, in search order
};
MarkerSearch FindMarkers(const QImage& card, const ProgressCallback& progress = {});

// Paints the pixels the searches examined light green, exactly as
// FindMarkers(buffer, &trace) does; `trace` must have the card's size.
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
