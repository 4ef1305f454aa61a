#include "CardRenderer.h"

#include "platform/Numbers.h"
#include "platform/Variants.h"
#include "reading/GridGeometry.h"

#include <QBuffer>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <random>

namespace kartovo {

namespace {

// Page frame: everything dark stays right of the side-marker column and
// below the top-marker row.
constexpr double kMarkerOrigin = 10.0;   // left of the side markers, top of the top markers
constexpr double kMarkerLength = 3.0;    // across the search direction
constexpr double kCodeLeft = 16.0;       // top marker 1
constexpr double kGridLeft = 32.0;       // top marker 2
constexpr double kGridTop = 32.0;        // side marker 1
constexpr double kRightMargin = 10.0;
constexpr double kBottomMargin = 12.0;
constexpr double kCodeGap = 8.0;         // grid bottom to code field top
constexpr double kCodeHeight = 8.0;
constexpr double kBarHeight = 3.2;       // from the field's top edge
constexpr double kBitTop = 4.4, kBitBottom = 7.6;
constexpr double kCodeRightClear = 3.0;  // the reader ignores a quarter of the field's height at the right
constexpr double kMinColumn = 3.0, kMinRow = 2.5, kMinGridWidth = 8.0;

// Drop-out colours: light enough that the black-and-white conversion
// (mean > 125 is white) removes them.
const QColor kDropLine(235, 160, 160);
const QColor kDropText(215, 115, 115);
const QColor kDropOuter(240, 140, 140);
const QColor kDropControl(230, 190, 110);
const QColor kDropCentre(120, 200, 230);

double Number(const Record& r, const char* column, bool* ok = nullptr) {
    const QVariant v = r.value(QLatin1String(column));
    if (ok) *ok = IsPresent(v);
    return ToNumber(v);
}

QString Binary(int id) {
    QString bits;
    for (unsigned v = static_cast<unsigned>(id); v != 0; v >>= 1) bits.prepend(v & 1u ? u'1' : u'0');
    return bits;
}

struct Painter {
    QPainter& p;
    double dpmm;
    QRectF r(const QRectF& mm) const { return {mm.x() * dpmm, mm.y() * dpmm, mm.width() * dpmm, mm.height() * dpmm}; }
    QPointF pt(double x, double y) const { return {x * dpmm, y * dpmm}; }
    void text(const QRectF& mm, double sizeMm, int flags, const QString& s, const QColor& c, bool bold = false) {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(std::max(1, static_cast<int>(std::lround(sizeMm * dpmm))));
        f.setBold(bold);
        p.setFont(f);
        p.setPen(c);
        p.drawText(r(mm), flags, s);
    }
};

void PaintMark(Painter& d, const QRectF& cell, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const bool blue = u(rng) < 0.6;
    const QColor ink = blue ? QColor(25 + int(20 * u(rng)), 40 + int(25 * u(rng)), 150 + int(40 * u(rng)))
                            : QColor(30 + int(15 * u(rng)), 30 + int(15 * u(rng)), 40 + int(15 * u(rng)));
    const QPointF c(cell.center().x() + (u(rng) - 0.5) * 0.12 * cell.width(),
                    cell.center().y() + (u(rng) - 0.5) * 0.12 * cell.height());
    const double rx = cell.width() * (0.28 + 0.07 * u(rng));
    const double ry = cell.height() * (0.27 + 0.07 * u(rng));
    if (u(rng) < 0.5) {
        // A filled oval with a slightly uneven rim.
        QPainterPath path;
        const int n = 24;
        for (int i = 0; i <= n; ++i) {
            const double a = 2.0 * M_PI * i / n;
            const double k = 0.9 + 0.15 * u(rng);
            const QPointF q = d.pt(c.x() + rx * k * std::cos(a), c.y() + ry * k * std::sin(a));
            if (i == 0) path.moveTo(q); else path.lineTo(q);
        }
        path.closeSubpath();
        d.p.setPen(Qt::NoPen);
        d.p.setBrush(ink);
        d.p.drawPath(path);
    } else {
        // Ballpoint zig-zag over the same area.
        const double penMm = std::max(0.35, std::min(0.5, ry * 0.35));
        QPen pen(ink, penMm * d.dpmm, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        d.p.setPen(pen);
        d.p.setBrush(Qt::NoBrush);
        QPainterPath path;
        const int strokes = std::max(3, static_cast<int>(std::ceil(2.0 * ry / (penMm * 0.85))));
        for (int i = 0; i <= strokes; ++i) {
            const double t = static_cast<double>(i) / strokes;
            const double y = c.y() - ry + 2.0 * ry * t;
            const double half = rx * std::sqrt(std::max(0.15, 1.0 - (2.0 * t - 1.0) * (2.0 * t - 1.0)));
            const double x = (i % 2 == 0) ? c.x() - half : c.x() + half;
            const QPointF q = d.pt(x + (u(rng) - 0.5) * 0.2 * rx, y);
            if (i == 0) path.moveTo(q); else path.lineTo(q);
        }
        d.p.drawPath(path);
    }
}

void PaintCard(QPainter& p, double dpmm, const CardSpec& cardSpec, const CardLayout& L, const CardStyle& style,
               const std::vector<CellMark>& marks, quint32 seed) {
    Painter d{p, dpmm};
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.fillRect(d.r(QRectF(QPointF(0, 0), L.page)), style.paper);

    // Captions (black) between the marker row and the grid, right of the marker column.
    d.text(QRectF(kCodeLeft, 15.0, L.page.width() - kCodeLeft - kRightMargin, 5.0), 3.2,
           Qt::AlignLeft | Qt::AlignVCenter, cardSpec.program, Qt::black, true);
    d.text(QRectF(kCodeLeft, 20.5, L.page.width() - kCodeLeft - kRightMargin, 4.5), 2.8,
           Qt::AlignLeft | Qt::AlignVCenter,
           QStringLiteral("%1    ID %2").arg(cardSpec.name).arg(cardSpec.id), Qt::black);

    // Grid in drop-out colour.
    const double gl = L.grid.left(), gt = L.grid.top(), gr = L.grid.right(), gb = L.grid.bottom();
    QPen line(kDropLine, std::max(1.0, 0.2 * dpmm));
    p.setPen(line);
    p.setBrush(Qt::NoBrush);
    for (int c = 0; c <= L.columns; ++c) {
        const double x = gl + c * L.columnWidth;
        p.drawLine(d.pt(x, gt), d.pt(x, gb));
    }
    for (int j = 0; j <= L.rows; ++j) {
        const double y = gt + j * L.rowHeight;
        p.drawLine(d.pt(gl, y), d.pt(gr, y));
    }
    // Section numbers above the grid.
    const double numberSize = std::min(2.2, L.columnWidth * 0.5);
    for (int c = 1; c <= L.columns; ++c)
        d.text(QRectF(gl + (c - 1) * L.columnWidth, gt - 3.0, L.columnWidth, 2.8), numberSize, Qt::AlignCenter,
               QString::number(c), kDropText);

    // Limit lines and row values, where the parameter gives a range.
    GridGeometry geo;
    if (UstawZakresyP(cardSpec.parameter, geo).ok() && geo.RangeTop != geo.RangeBottom) {
        const double k = (gb - gt) / (static_cast<double>(geo.RangeTop) - geo.RangeBottom);
        auto limit = [&](const char* column, const QColor& c) {
            bool ok = false;
            const double v = Number(cardSpec.parameter, column, &ok);
            if (!ok) return;
            const double y = gb - (v - geo.RangeBottom) * k;
            if (y < gt - 0.01 || y > gb + 0.01) return;
            p.setPen(QPen(c, std::max(1.0, 0.45 * dpmm)));
            p.drawLine(d.pt(gl, y), d.pt(gr, y));
        };
        if (IsExtendedRange(cardSpec.parameter)) {
            limit("OG", kDropOuter);
            limit("OD", kDropOuter);
        }
        limit("GLK", kDropControl);
        limit("LS", kDropCentre);
        limit("DLK", kDropControl);

        const int every = std::max(1, static_cast<int>(std::ceil(3.0 / L.rowHeight)));
        const QString format = cardSpec.parameter.value(QStringLiteral("Format")).toString();
        const int dot = format.indexOf(u'.');
        const int places = dot < 0 ? 0 : static_cast<int>(format.size() - dot - 1);
        const QLocale pl(QLocale::Polish, QLocale::Poland);
        const double size = std::min(2.6, L.rowHeight * every * 0.8);
        for (int row = 0; row < L.rows; row += every) {
            const QVariant v = RowValue(cardSpec.parameter, geo, row);
            if (!v.isValid()) break;
            const double cy = gb - (row + 0.5) * L.rowHeight;
            d.text(QRectF(kCodeLeft + 1.0, cy - size, gl - kCodeLeft - 2.0, 2.0 * size), size,
                   Qt::AlignRight | Qt::AlignVCenter, pl.toString(v.toDouble(), 'f', places), kDropText);
        }
    }

    // Marks.
    std::mt19937 rng(seed);
    for (const CellMark& m : marks) {
        if (m.section < 1 || m.section > L.columns || m.row < 0 || m.row >= L.rows) continue;
        const QRectF cell(gl + (m.section - 1) * L.columnWidth, gb - (m.row + 1) * L.rowHeight, L.columnWidth,
                          L.rowHeight);
        PaintMark(d, cell, rng);
    }

    // Markers, clock bars and bit cells in black.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    for (const auto* list : {&L.topMarkers, &L.sideMarkers, &L.bars, &L.bitCells})
        for (const QRectF& m : *list) p.drawRect(d.r(m));

    d.text(QRectF(kCodeLeft, L.codeField.bottom() + 2.0, L.page.width() - kCodeLeft - kRightMargin, 3.0), 2.2,
           Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kod parametru: %1").arg(cardSpec.id), Qt::black);
}

} // namespace

CardLayout LayoutCard(const CardSpec& cardSpec, const CardStyle& style) {
    CardLayout L;
    L.page = QPageSize(style.page).size(QPageSize::Millimeter);
    const double gestosc = Number(cardSpec.parameter, "Gestosc");
    const double skala = Number(cardSpec.parameter, "SkalaSiatki");
    L.columns = static_cast<int>(gestosc) + 1;
    L.rows = static_cast<int>(skala);
    if (cardSpec.id <= 0) {
        L.error = QStringLiteral("Identyfikator parametru musi być większy od zera.");
        return L;
    }
    if (L.columns < 1 || L.rows < 1) {
        L.error = QStringLiteral("Siatka musi mieć co najmniej jedną kolumnę (Gestosc) i jeden wiersz (SkalaSiatki).");
        return L;
    }
    const double gridAvailW = L.page.width() - kRightMargin - style.markerMm - kGridLeft;
    L.columnWidth = std::min(style.columnMm, gridAvailW / L.columns);
    if (L.columnWidth * L.columns < kMinGridWidth) L.columnWidth = kMinGridWidth / L.columns;
    if (L.columnWidth < kMinColumn || L.columnWidth * L.columns > gridAvailW + 1e-9) {
        L.error = QStringLiteral("Kolumny siatki byłyby węższe niż 3 mm: za dużo kolumn na tę stronę.");
        return L;
    }
    const double gridAvailH = L.page.height() - kBottomMargin - 4.0 - kCodeHeight - kCodeGap - kGridTop;
    L.rowHeight = std::min(style.rowMm, gridAvailH / L.rows);
    if (L.rowHeight < kMinRow) {
        L.error = QStringLiteral("Wiersze siatki byłyby niższe niż 2,5 mm: za dużo wierszy na tę stronę.");
        return L;
    }
    L.grid = QRectF(kGridLeft, kGridTop, L.columnWidth * L.columns, L.rowHeight * L.rows);
    L.codeField = QRectF(kCodeLeft, L.grid.bottom() + kCodeGap, L.grid.right() - kCodeLeft, kCodeHeight);

    const double m = style.markerMm;
    for (double x : {L.codeField.left(), L.grid.left(), L.grid.right()})
        L.topMarkers.emplace_back(x, kMarkerOrigin, m, kMarkerLength);
    for (double y : {L.grid.top(), L.grid.bottom(), L.codeField.top(), L.codeField.bottom()})
        L.sideMarkers.emplace_back(kMarkerOrigin, y, kMarkerLength, m);

    L.bits = Binary(cardSpec.id);
    const int n = static_cast<int>(L.bits.size());
    const double start = L.codeField.left() + 1.0;
    const double room = L.codeField.right() - kCodeRightClear - start;
    const double pitch = std::min(2.4, room / n);
    if (pitch < 1.5) {
        L.error = QStringLiteral("Kod parametru %1 (%2 bitów) nie mieści się w polu kodującym tej karty.")
                      .arg(cardSpec.id)
                      .arg(n);
        return L;
    }
    const double barW = pitch * 0.42, cellW = pitch * 0.62;
    for (int i = 0; i < n; ++i) {
        const double centre = start + i * pitch + barW / 2.0;
        L.bars.emplace_back(centre - barW / 2.0, L.codeField.top(), barW, kBarHeight);
        if (L.bits.at(i) == u'1')
            L.bitCells.emplace_back(centre - cellW / 2.0, L.codeField.top() + kBitTop, cellW, kBitBottom - kBitTop);
    }
    return L;
}

QImage RenderCard(const CardSpec& cardSpec, const CardStyle& style, double dpi, const std::vector<CellMark>& marks,
                  quint32 seed, QString* error) {
    const CardLayout L = LayoutCard(cardSpec, style);
    if (!L.error.isEmpty()) {
        if (error) *error = L.error;
        return {};
    }
    const double dpmm = dpi / 25.4;
    QImage img(static_cast<int>(std::lround(L.page.width() * dpmm)), static_cast<int>(std::lround(L.page.height() * dpmm)),
               QImage::Format_RGB32);
    const int dpm = static_cast<int>(std::lround(dpi / 0.0254));
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    QPainter p(&img);
    PaintCard(p, dpmm, cardSpec, L, style, marks, seed);
    return img;
}

bool WriteCardPdf(const CardSpec& cardSpec, const CardStyle& style, const QString& path,
                  const std::vector<CellMark>& marks, quint32 seed, QString* error) {
    const CardLayout L = LayoutCard(cardSpec, style);
    if (!L.error.isEmpty()) {
        if (error) *error = L.error;
        return false;
    }
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(style.page));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    pdf.setResolution(1200);
    pdf.setTitle(QStringLiteral("Karta danych %1").arg(cardSpec.id));
    QPainter p;
    if (!p.begin(&pdf)) {
        if (error) *error = QStringLiteral("Nie można zapisać pliku PDF: %1").arg(path);
        return false;
    }
    PaintCard(p, 1200.0 / 25.4, cardSpec, L, style, marks, seed);
    return p.end();
}

QImage ApplyScanDefects(const QImage& card, const ScanDefects& defects) {
    QImage img = card.convertToFormat(QImage::Format_RGB32);
    const int w = img.width(), h = img.height();
    if (defects.blur > 0.0) {
        const QImage src = img;
        const double a = std::min(1.0, defects.blur);
        for (int y = 0; y < h; ++y) {
            auto* out = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < w; ++x) {
                double acc[3] = {0, 0, 0};
                double wsum = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    const int yy = std::clamp(y + dy, 0, h - 1);
                    const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(yy));
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int xx = std::clamp(x + dx, 0, w - 1);
                        const double k = (dx == 0 ? 2 : 1) * (dy == 0 ? 2 : 1);
                        acc[0] += k * qRed(in[xx]);
                        acc[1] += k * qGreen(in[xx]);
                        acc[2] += k * qBlue(in[xx]);
                        wsum += k;
                    }
                }
                const QRgb o = reinterpret_cast<const QRgb*>(src.constScanLine(y))[x];
                out[x] = qRgb(static_cast<int>(std::lround((1 - a) * qRed(o) + a * acc[0] / wsum)),
                              static_cast<int>(std::lround((1 - a) * qGreen(o) + a * acc[1] / wsum)),
                              static_cast<int>(std::lround((1 - a) * qBlue(o) + a * acc[2] / wsum)));
            }
        }
    }
    if (defects.noise > 0.0) {
        std::mt19937 rng(defects.seed);
        std::normal_distribution<double> n(0.0, defects.noise);
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < w; ++x) {
                auto ch = [&](int v) { return std::clamp(static_cast<int>(std::lround(v + n(rng))), 0, 255); };
                line[x] = qRgb(ch(qRed(line[x])), ch(qGreen(line[x])), ch(qBlue(line[x])));
            }
        }
    }
    if (defects.rotation != 0) {
        // Exact quarter turns (no resampling).
        img = img.transformed(QTransform().rotate(defects.rotation > 0 ? 90 : -90));
    }
    img.setDotsPerMeterX(card.dotsPerMeterX());
    img.setDotsPerMeterY(card.dotsPerMeterY());
    return img;
}

QImage JpegRoundTrip(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    QImage decoded;
    decoded.loadFromData(bytes, "JPEG");
    return decoded.convertToFormat(QImage::Format_RGB32);
}

std::vector<CellMark> RandomMarks(int columns, int rows, quint32 seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, std::max(0, rows - 1));
    std::vector<CellMark> marks;
    for (int c = 1; c <= columns; ++c) marks.push_back({c, pick(rng)});
    return marks;
}

} // namespace kartovo
