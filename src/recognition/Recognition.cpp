#include "recognition/Recognition.h"

#include "imaging/ImageFile.h"
#include "recognition/CardPlausibility.h"
#include "platform/Logging.h"
#include "platform/WorkingFolder.h"

#include <QPainter>

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

RecognitionResult RecogniseCard(QImage card, PixelBuffer& buffer, const ProgressCallback& progress, bool withTrace) {
    LoadPixelBuffer(buffer, card);
    return RecogniseCard(std::move(card), progress, withTrace);
}

RecognitionResult RecogniseCard(const QImage& card, const ProgressCallback& progress) {
    return RecogniseCard(card, progress, true);
}

RecognitionFiles DefaultRecognitionFiles(const QString& imagePath) {
    return {imagePath, WorkingFile(QStringLiteral("Markery.bmp")), WorkingFile(QStringLiteral("Kod.bmp"))};
}

RecognitionResult RecogniseCardFile(const RecognitionFiles& files, const ProgressCallback& progress) {
    QImage card;
    QString why;
    if (!LoadPicture(files.imagePath, card, &why)) {
        qCWarning(lcRecognition).noquote() << why;
        RecognitionResult r;
        r.refusal = MissingMarkersText(r.markers);
        return r;
    }
    RecognitionResult r = RecogniseCard(std::move(card), progress, true);
    const auto write = [](const QImage& picture, const QString& path) {
        QString why;
        if (!SavePictureBitmap(picture, path, &why)) qCWarning(lcRecognition).noquote() << why;
    };
    write(r.trace, files.markersPath);
    if (!r.markersFound) return r;
    write(r.grid, files.imagePath);
    write(r.codeField, files.codePath);
    // The code field's outline on the working picture is only a visual aid,
    // drawn after the trace file is written.
    QPainter painter(&r.trace);
    painter.setPen(QColor(0, 0, 255));
    const MarkerResult& m = r.markers;
    painter.drawRect(m.topMarker1X, m.sideMarker3Y, m.topMarker3X - m.topMarker1X, m.sideMarker4Y - m.sideMarker3Y);
    return r;
}

} // namespace kartovo
