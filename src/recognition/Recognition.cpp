#include "recognition/Recognition.h"

#include "platform/Logging.h"
#include "platform/WorkingFolder.h"

#include <QPainter>

namespace kartovo {

RecognitionResult RecogniseCard(const QImage& card, const ProgressCallback& progress) {
    RecognitionResult r;
    PixelBuffer buffer;
    LoadPixelBuffer(buffer, card);
    r.trace = card.format() == QImage::Format_RGB32 ? card.copy() : card.convertToFormat(QImage::Format_RGB32);
    r.markers = FindMarkers(buffer, &r.trace, progress);
    r.refusal = MissingMarkersText(r.markers);
    if (!r.refusal.isEmpty()) return r;
    r.markersFound = true;
    ConvertSideMarkersToScreenRows(r.markers, buffer.height());
    r.grid = CutOutGrid(card, r.markers);
    r.codeField = CutOutCodeField(card, r.markers);
    ConvertToBW(r.codeField);
    r.code = ReadCodeField(r.codeField);
    r.codeRead = r.code.refusal.isEmpty();
    r.refusal = r.code.refusal;
    return r;
}

RecognitionFiles DefaultRecognitionFiles(const QString& imagePath) {
    return {imagePath, WorkingFile(QStringLiteral("Markery.bmp")), WorkingFile(QStringLiteral("Kod.bmp"))};
}

RecognitionResult RecogniseCardFile(const RecognitionFiles& files, const ProgressCallback& progress) {
    QImage card(files.imagePath);
    if (card.isNull()) {
        qCWarning(lcRecognition) << "cannot load card image" << files.imagePath;
        RecognitionResult r;
        r.refusal = MissingMarkersText(r.markers);
        return r;
    }
    RecognitionResult r = RecogniseCard(card, progress);
    if (!r.trace.save(files.markersPath, "BMP"))
        qCWarning(lcRecognition) << "cannot write" << files.markersPath;
    if (!r.markersFound) return r;
    if (!r.grid.save(files.imagePath, "BMP")) qCWarning(lcRecognition) << "cannot write" << files.imagePath;
    if (!r.codeField.save(files.codePath, "BMP")) qCWarning(lcRecognition) << "cannot write" << files.codePath;
    // The code field's outline on the working picture is only a visual aid,
    // drawn after the trace file is written.
    QPainter painter(&r.trace);
    painter.setPen(QColor(0, 0, 255));
    const MarkerResult& m = r.markers;
    painter.drawRect(m.topMarker1X, m.sideMarker3Y, m.topMarker3X - m.topMarker1X, m.sideMarker4Y - m.sideMarker3Y);
    return r;
}

} // namespace kartovo
