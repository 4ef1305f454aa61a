#pragma once

#include "CardRenderer.h"
#include "imaging/PicMod.h"

#include <QImage>
#include <QPainter>

namespace kartovo::testing {

// A parameter as the database would give it.
inline CardSpec SampleCard(int id, int gestosc = 9, int rows = 20) {
    CardSpec cardSpec;
    cardSpec.id = id;
    cardSpec.name = QStringLiteral("Średnica");
    cardSpec.program = QStringLiteral("Wałek 12");
    for (const auto& [column, value] : std::initializer_list<std::pair<const char*, QVariant>>{
             {"ID", id}, {"Gestosc", gestosc}, {"SkalaSiatki", rows}, {"OG", 12.0}, {"OD", 10.0}, {"GLK", 11.6},
             {"DLK", 10.4}, {"LS", 11.0}, {"WN", 11.0}, {"GL", QVariant()}, {"DL", QVariant()}, {"Skala", 0},
             {"CzyArch", false}, {"Format", QStringLiteral("0.00")}})
        cardSpec.parameter.set(QString::fromLatin1(column), value);
    return cardSpec;
}

// White picture with black rectangles (x, y, w, h in screen pixels).
inline QImage Blank(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

inline void Box(QImage& img, int x, int y, int w, int h, QColor c = Qt::black) {
    QPainter p(&img);
    p.fillRect(QRect(x, y, w, h), c);
}

// The quarter turn that undoes a scan delivered turned by `rotation`.
// (Obrot "w Lewo" = 270 for a scan turned clockwise, "w Prawo" = 90 for one
// turned counter-clockwise.)
inline QImage TurnBack(const QImage& img, int rotation) {
    if (rotation == 0) return img;
    QImage out;
    RotatePicture(img, out, rotation > 0 ? 270 : 90);
    return out;
}

} // namespace kartovo::testing
