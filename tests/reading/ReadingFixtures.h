#pragma once

#include "db/Record.h"
#include "reading/CountStrip.h"
#include "reading/GridGeometry.h"

#include <QImage>
#include <QPainter>

namespace kartovo::testing {

// `columns` x `rows` cells of cw x rh pixels plus the last pixel row and column, as the cut-out gives it.
struct SyntheticGrid {
    int columns = 10, rows = 20, cw = 40, rh = 20;
    int width() const { return columns * cw + 1; }
    int height() const { return rows * rh + 1; }
    // Cell of section s (1 = leftmost) and row r (0 = bottom), in picture pixels.
    QRect cell(int s, int r) const { return QRect((s - 1) * cw, height() - 1 - (r + 1) * rh, cw, rh); }
    QPoint centre(int s, int r) const { return cell(s, r).center() + QPoint(1, 1); }
    // Columns [first, last) of section s on the count strip.
    std::pair<int, int> column(int s) const { return {(s - 1) * cw + 1, s * cw}; }
    QImage picture(Qt::GlobalColor c = Qt::white) const {
        QImage img(width(), height(), QImage::Format_RGB32);
        img.fill(c);
        return img;
    }
};

inline QImage BlankGrid(const SyntheticGrid& g) { return g.picture(); }

// A pen mark covering most of the cell.
inline void Blacken(QImage& img, const SyntheticGrid& g, int section, int row) {
    QPainter(&img).fillRect(g.cell(section, row).adjusted(5, 4, -5, -4), Qt::black);
}

inline Record Parameter(QVariant og, QVariant od, int rows = 20, int gestosc = 9, QVariant probka = 5,
                        QVariant typKarty = 2) {
    Record p;
    for (const char* c : {"GLK", "DLK", "LS", "WN", "GL", "DL", "Skala", "CzyArch"}) p.set(c, QVariant());
    p.set("OG", og);
    p.set("OD", od);
    p.set("SkalaSiatki", rows);
    p.set("Gestosc", gestosc);
    p.set("Format", QStringLiteral("0.00"));
    p.set("Probka", probka);
    p.set("TypKarty", typKarty);
    return p;
}

inline Record GridParameter(const SyntheticGrid& g, QVariant probka = 5, QVariant typKarty = 2) {
    return Parameter(12.0, 10.0, g.rows, g.columns - 1, probka, typKarty);
}

inline Record With(Record p, const char* column, QVariant v) {
    p.set(column, v);
    return p;
}

inline GridGeometry RangeOf(const ParameterRow& parameter) {
    GridGeometry grid;
    (void)UstawZakresyP(parameter, grid);
    return grid;
}

// Pixels within columns [x1, x2) that are not white, or only those of `colour` when one is given.
inline int Ink(const QImage& strip, int x1, int x2, QRgb colour = 0) {
    int n = 0;
    for (int y = 0; y < strip.height(); ++y)
        for (int x = qMax(0, x1); x < qMin(x2, strip.width()); ++x) {
            const QRgb p = strip.pixel(x, y) | 0xff000000u;
            n += colour ? p == (colour | 0xff000000u) : p != 0xffffffffu;
        }
    return n;
}

} // namespace kartovo::testing
