#include "reading/MarkReading.h"

#include "platform/Messages.h"

#include <QPainter>
#include <cmath>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kartovo {

namespace {

// Pixels of a run that are pure black (alpha ignored).
long CountBlack(const QRgb* p, int n) {
    long black = 0;
    int i = 0;
#if defined(__SSE2__)
    const __m128i colour = _mm_set1_epi32(0x00ffffff), zero = _mm_setzero_si128();
    __m128i counts = zero;
    for (; i + 4 <= n; i += 4) {
        const __m128i v = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), colour);
        counts = _mm_sub_epi32(counts, _mm_cmpeq_epi32(v, zero)); // a match is -1
    }
    alignas(16) std::int32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), counts);
    black = long(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
#endif
    for (; i < n; ++i) black += (p[i] & 0x00ffffffu) == 0;
    return black;
}

} // namespace

std::int16_t CheckCell(const QImage& picture, float x, float y, float cw, float rh, double threshold) {
    // Every (column, row) pair of the window is one sample, repeated positions included.
    const float x0 = x - cw / 2.0f - 1.0f;
    const float y0 = rh / 2.0f + y - 1.0f;
    thread_local std::vector<int> columns;
    columns.clear();
    for (int i = 0; static_cast<float>(i) <= cw - 2.0f; ++i)
        columns.push_back(static_cast<int>(std::nearbyint(x0 + static_cast<float>(i))));
    const int w = picture.width(), h = picture.height();
    // Usually the columns follow one another inside the picture (halves
    // rounded to even can repeat one): then a plain run is counted.
    const int first = columns.empty() ? 0 : columns.front(), last = columns.empty() ? -1 : columns.back();
    bool contiguous = first >= 0 && last < w;
    for (std::size_t i = 0; contiguous && i < columns.size(); ++i)
        contiguous = columns[i] == first + static_cast<int>(i);
    long black = 0, samples = 0;
    const long perRow = static_cast<long>(columns.size());
    for (int j = 0; static_cast<float>(j) <= rh - 2.0f; ++j) {
        samples += perRow;
        const int py = static_cast<int>(std::nearbyint(y0 - static_cast<float>(j)));
        if (py < 0 || py >= h) continue;
        const QRgb* line = reinterpret_cast<const QRgb*>(picture.constScanLine(py));
        if (contiguous) {
            black += CountBlack(line + first, last - first + 1);
        } else {
            for (const int px : columns)
                if (px >= 0 && px < w && (line[px] & 0x00ffffffu) == 0) ++black;
        }
    }
    const long other = samples - black;
    return black > static_cast<double>(other) * threshold ? 0 : 1;
}

QString TooManyMarksText() {
    return QStringLiteral("Na karcie jest więcej niż %1 zaznaczonych pól.").arg(kMaxMeasurements) + kLineBreak +
           QStringLiteral("Karty nie można odczytać. Sprawdź obraz karty lub podnieś próg wypełnienia.");
}

Result<std::vector<MarkedCell>> ReadMarks(const QImage& source, const GridGeometry& g, double threshold,
                                          const ScanCallbacks& callbacks) {
    std::vector<MarkedCell> marks;
    // Under a pixel the float steps stall and the scan would never end.
    if (!(g.ColumnWidth >= 1.0f) || !(g.RowHeight >= 1.0f)) return marks;
    // No copy of the picture is held while the callbacks run, so a caller may
    // draw on the very picture being read (a mark's box stays in its own cell)
    // without making the picture detach.
    QImage converted;
    const bool direct = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32;
    if (!direct) converted = source.convertToFormat(QImage::Format_RGB32);
    const QImage& picture = direct ? source : converted;
    int section = 1;
    float x = g.GridOriginX - g.ColumnWidth / 2.0f;
    while (x < static_cast<float>(g.GridRight) - g.ColumnWidth) {
        x += g.ColumnWidth;
        float y = g.GridOriginY + g.RowHeight / 2.0f;
        int row = 0, found = 0;
        while (y > static_cast<float>(g.GridTop) + g.RowHeight) {
            y -= g.RowHeight;
            const float cx = std::floor(x), cy = std::floor(y);
            const MarkedCell cell{static_cast<int>(cx), static_cast<int>(cy), row, section};
            const bool marked = CheckCell(picture, cx, cy, g.ColumnWidth, g.RowHeight, threshold) == 0;
            if (marked) {
                ++found;
                marks.push_back(cell);
            }
            if (callbacks.cell) callbacks.cell(cell, x, y, marked);
            if (marked && marks.size() > static_cast<std::size_t>(kMaxMeasurements))
                return Refuse(RefusalKind::BadInput, TooManyMarksText());
            ++row;
        }
        if (callbacks.column) callbacks.column(x, found);
        ++section;
    }
    return marks;
}

QRect MarkBoxRect(const GridGeometry& g, float x, float y) {
    const int x1 = static_cast<int>(std::floor(x - g.ColumnWidth / 4.0f));
    const int y1 = static_cast<int>(std::floor(y - g.RowHeight / 4.0f));
    const int x2 = static_cast<int>(std::floor(x + g.ColumnWidth / 4.0f));
    const int y2 = static_cast<int>(std::floor(y + g.RowHeight / 4.0f));
    return QRect(QPoint(x1, y1), QPoint(x2, y2));
}

void DrawMarkBox(QImage& picture, const GridGeometry& g, float x, float y) {
    QPainter painter(&picture);
    painter.fillRect(MarkBoxRect(g, x, y), QColor(255, 0, 0));
}

} // namespace kartovo
