#include "recognition/Recognition.h"

#include "recognition/CardPlausibility.h"

namespace kartovo {

RecognitionResult RecogniseCard(QImage card, const ProgressCallback& progress, bool withTrace,
                                const SearchedCallback& searched) {
    RecognitionResult r;
    if (card.format() != QImage::Format_RGB32) card.convertTo(QImage::Format_RGB32);
    r.search = FindMarkers(card, progress);
    if (searched) searched(card, r.search);
    r.markers = r.search.markers;
    r.refusal = MissingMarkersText(r.markers);
    r.markersFound = r.refusal.isEmpty();
    if (r.markersFound) {
        // Spots that are not a card's markers give no cut-out at all.
        r.refusal = ImplausibleMarkersText(card, r.search);
        r.markersFound = r.refusal.isEmpty();
    }
    if (r.markersFound) {
        ConvertSideMarkersToScreenRows(r.markers, card.height());
        r.grid = CutOutGrid(card, r.markers);
        r.codeField = CutOutCodeField(card, r.markers);
        ConvertToBW(r.codeField);
        r.code = ReadCodeField(r.codeField);
        r.codeRead = r.code.refusal.isEmpty();
        r.refusal = r.code.refusal;
        if (r.codeRead) {
            r.refusal = ImplausibleCodeFieldText(r.codeField, r.code);
            r.codeRead = r.refusal.isEmpty();
        }
    }
    if (withTrace) {
        // The cut-outs are taken from the card as loaded; now it gets the trace.
        r.trace = std::move(card);
        PaintSearchTrace(r.trace, r.search);
    }
    return r;
}

RecognitionResult RecogniseCard(const QImage& card, const ProgressCallback& progress) {
    return RecogniseCard(card, progress, true);
}

} // namespace kartovo
