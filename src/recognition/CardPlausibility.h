#pragma once

#include "recognition/CodeField.h"
#include "recognition/Markers.h"

#include <QImage>
#include <QString>
#include <vector>

namespace kartovo {

// A dark spot the searches met, measured on the card as the connected dark
// run around it (screen pixels, edges included).
struct MarkerShape {
    int left = 0, top = 0, right = 0, bottom = 0;
    int thickness = 0; // along the search direction, through the middle of the run
    int length = 0;    // across the search direction
};

// The shapes of the three top and four side markers a complete search met
// (top markers first); empty when the search did not complete. `card` is the
// 32-bit picture the search ran on.
std::vector<MarkerShape> MeasureMarkers(const QImage& card, const MarkerSearch& search);

// Whether what the searches met is a card's marker set: seven solid bars of
// one size, lined up (no skew), placed as a card places them, around a grid
// of a sensible size. Empty when it is; otherwise the refusal (lines joined
// by carriage returns).
QString ImplausibleMarkersText(const QImage& card, const MarkerSearch& search);

// Whether a code field that gave a number looks printed: clock bars of one
// size at an even pitch, each ending above the bit row, and nothing dark on
// the bit row but cells under the bars. Empty when it does.
QString ImplausibleCodeFieldText(const QImage& bwField, const CodeFieldResult& code);

} // namespace kartovo
