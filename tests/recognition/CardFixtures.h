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
    Record& p = cardSpec.parameter;
    p.set("ID", id);
    p.set("Gestosc", gestosc);
    p.set("SkalaSiatki", rows);
    p.set("OG", 12.0);
    p.set("OD", 10.0);
    p.set("GLK", 11.6);
    p.set("DLK", 10.4);
    p.set("LS", 11.0);
    p.set("WN", 11.0);
    p.set("GL", QVariant());
    p.set("DL", QVariant());
    p.set("Skala", 0);
    p.set("CzyArch", false);
    p.set("Format", QStringLiteral("0.00"));
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
