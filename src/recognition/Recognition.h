#pragma once

#include "recognition/CodeField.h"
#include "recognition/Markers.h"

#include <QImage>
#include <QString>

#include <functional>

namespace kartovo {

// Everything recognition finds on one card, before the database lookup.
struct RecognitionResult {
    bool markersFound = false; // grid markers found; the grid cut-out exists
    bool codeRead = false;     // the code field gave a usable parameter id
    MarkerResult markers;      // side markers as screen rows when found
    MarkerSearch search;       // what the searches met, to paint their trace
    CodeFieldResult code;
    QImage trace;     // the card with the green search trace ("Markery.bmp")
    QImage grid;      // grid cut-out, (gw + 1) x (gh + 1)
    QImage codeField; // black-and-white code field ("Kod.bmp")
    QString refusal;  // message for the operator when !markersFound or !codeRead
    int parameterId() const { return codeRead ? code.id : 0; }
};

// Marker search, grid and code-field cut-out and code reading, in memory;
// the searches read the card itself. With `withTrace` the card becomes the
// trace picture after the cut-outs are taken (pass it with std::move to spare
// a copy); without, PaintSearchTrace(picture, result.search) paints it later.
// `searched`, when given, sees the card (32-bit RGB) and the searches as soon
// as they are done, before the cut-outs; it must not change the card.
using SearchedCallback = std::function<void(const QImage& card, const MarkerSearch& search)>;
RecognitionResult RecogniseCard(QImage card, const ProgressCallback& progress, bool withTrace,
                                const SearchedCallback& searched = {});
RecognitionResult RecogniseCard(const QImage& card, const ProgressCallback& progress = {});

} // namespace kartovo
