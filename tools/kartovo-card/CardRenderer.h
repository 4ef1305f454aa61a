#pragma once

#include "db/Record.h"

#include <QColor>
#include <QImage>
#include <QPageSize>
#include <QRectF>
#include <QString>
#include <vector>

namespace kartovo {

// What a data card is drawn for: the parameter's id (the code field), its
// SPC_Setap columns (Gestosc, SkalaSiatki, OG, OD, GLK, DLK, LS, WN, GL, DL,
// Skala, CzyArch, Format) and the captions.
struct CardSpec {
    int id = 1;
    Record parameter;
    QString name;    // Nazwa
    QString program; // control program's name
};

struct CardStyle {
    QPageSize::PageSizeId page = QPageSize::A5;
    double markerMm = 0.9;  // marker thickness in the search direction
    double columnMm = 7.0;  // preferred column width (shrunk to fit, never below 3 mm)
    double rowMm = 5.0;     // preferred row height (shrunk to fit, never below 2.5 mm)
    QColor paper = Qt::white;
};

// One blackened cell: section 1 = leftmost column, row 0 = bottom row.
struct CellMark {
    int section = 1;
    int row = 0;
    bool operator==(const CellMark&) const = default;
};

// Card geometry in millimetres from the page's top-left corner.
struct CardLayout {
    QString error; // non-empty when the card cannot be laid out
    QSizeF page;
    int columns = 0, rows = 0;
    double columnWidth = 0, rowHeight = 0;
    QRectF grid;      // left = top marker 2, right = top marker 3, top = side 1, bottom = side 2
    QRectF codeField; // left = top marker 1, right = top marker 3, top = side 3, bottom = side 4
    std::vector<QRectF> topMarkers, sideMarkers, bars, bitCells;
    QString bits; // the id in binary, most significant first
};

// Geometry rules the recognition imposes are applied here (see README.md).
CardLayout LayoutCard(const CardSpec& cardSpec, const CardStyle& style);

// The card as a scanner at `dpi` would deliver it (without defects). Marks
// are pen-like strokes or ovals, reproducible by `seed`. Null image and
// `error` set when the card cannot be laid out.
QImage RenderCard(const CardSpec& cardSpec, const CardStyle& style, double dpi, const std::vector<CellMark>& marks = {},
                  quint32 seed = 1, QString* error = nullptr);

// Printable PDF at true size.
bool WriteCardPdf(const CardSpec& cardSpec, const CardStyle& style, const QString& path,
                  const std::vector<CellMark>& marks = {}, quint32 seed = 1, QString* error = nullptr);

// Imperfections of a real scan, reproducible by `seed`.
struct ScanDefects {
    double noise = 0.0; // standard deviation of per-channel noise, 0..255 scale
    double blur = 0.0;  // 0 none .. 1 full 3x3 binomial blur
    int rotation = 0;   // 0, 90 (clockwise) or -90 (counter-clockwise)
    quint32 seed = 1;
};
QImage ApplyScanDefects(const QImage& card, const ScanDefects& defects);

// Encodes as JPEG at `quality` and decodes again.
QImage JpegRoundTrip(const QImage& image, int quality);

// One mark in a random row of every column (reproducible).
std::vector<CellMark> RandomMarks(int columns, int rows, quint32 seed);

} // namespace kartovo
