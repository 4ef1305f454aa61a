#pragma once

// One input file on the card road as automatic mode takes it; shared with the fuzzing target.
#include "imaging/ImageFile.h"
#include "imaging/PicMod.h"
#include "reading/GridGeometry.h"
#include "reading/Measurements.h"
#include "reading/Plausibility.h"
#include "recognition/Recognition.h"

#include <QCryptographicHash>

namespace kartovo::test {

struct RoadOutcome {
    bool loaded = false;
    QString error;      // the loader's refusal
    QSize size;
    QByteArray pixels;  // hash of the decoded pixels
    bool markersFound = false, codeRead = false;
    int parameter = 0;
    QString refusal;    // recognition's or reading's
    QList<int> marks;   // section, row of every mark read
    bool sameDecode(const RoadOutcome& o) const {
        return loaded == o.loaded && error == o.error && size == o.size && pixels == o.pixels;
    }
    bool operator==(const RoadOutcome&) const = default;
    std::string describe() const {
        return QStringLiteral("loaded %1 %2x%3 [%4] markers %5 code %6 id %7 marks %8 %9")
            .arg(loaded).arg(size.width()).arg(size.height()).arg(error).arg(markersFound).arg(codeRead)
            .arg(parameter).arg(marks.size() / 2).arg(refusal).toStdString();
    }
};

// The parameter the seed cards are drawn for (any code read is taken as it).
inline Record RoadParameter() {
    return Record({"ID", "Gestosc", "SkalaSiatki", "OG", "OD", "GLK", "DLK", "LS", "WN", "GL", "DL", "Skala",
                   "CzyArch", "Format"},
                  {19, 9, 20, 12.0, 10.0, 11.6, 10.4, 11.0, 11.0, QVariant(), QVariant(), 0, false, "0.00"});
}

inline RoadOutcome RunPictureRoad(const QByteArray& data, bool road) {
    RoadOutcome o;
    QImage picture;
    o.loaded = LoadPictureData(data, QStringLiteral("karta"), picture, &o.error);
    if (!o.loaded) return o;
    o.size = picture.size();
    o.pixels = QCryptographicHash::hash(QByteArrayView(picture.constBits(), picture.sizeInBytes()), QCryptographicHash::Sha1);
    if (!road) return o;
    const RecognitionResult r = RecogniseCard(picture);
    o.markersFound = r.markersFound, o.codeRead = r.codeRead, o.parameter = r.parameterId(), o.refusal = r.refusal;
    if (!r.codeRead || r.grid.isNull()) return o;
    const Record parameter = RoadParameter();
    GridGeometry grid;
    if (const auto range = UstawZakresyP(parameter, grid); !range) { o.refusal = range.error(); return o; }
    QImage clean = r.grid; // cleaned as the station's "Konwertuj na B&W" does: only pure black is ink
    ConvertToBW(clean);
    const auto read = ReadMeasurements(clean, parameter, grid, 0.2);
    o.refusal = read.error();
    if (!read) return o;
    o.refusal = ImplausibleMarksText(*read, parameter).error();
    for (const MeasurementEntry& e : *read) o.marks << e.section << e.row;
    return o;
}

} // namespace kartovo::test
