#include "recognition/Markers.h"

#include "platform/Messages.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <utility>

namespace kartovo {

namespace {

constexpr QRgb kTraceColour = 0xff00ff00u; // light green (0, 255, 0)

QImage* UsableTrace(QImage* trace, const PixelBuffer& buffer) {
    if (!trace || trace->isNull()) return nullptr;
    if (trace->width() != buffer.width() || trace->height() != buffer.height()) return nullptr;
    if (trace->format() != QImage::Format_RGB32 && trace->format() != QImage::Format_ARGB32)
        *trace = trace->convertToFormat(QImage::Format_RGB32);
    return trace;
}

QImage CutOut(const QImage& card, int left, int top, int width, int height) {
    if (width < 0 || height < 0) return {};
    // One copy of the rectangle; the extra column and row are the picture's white background.
    QImage out = card.copy(QRect(left, top, width + 1, height + 1));
    if (out.format() != QImage::Format_RGB32) out.convertTo(QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) reinterpret_cast<QRgb*>(out.scanLine(y))[width] = 0xffffffffu;
    std::fill_n(reinterpret_cast<QRgb*>(out.scanLine(height)), width + 1, 0xffffffffu);
    return out;
}

} // namespace

namespace {

// The two searches over any pixel source: `spot(x, y)` tells whether a dark
// spot starts at buffer pixel (x, y) (two dark pixels side by side in the row
// search, one above the other in the column search); `visit(x, row)` sees
// every examined pixel in screen coordinates.
template <class Spot, class Visit>
void RowSearch(int w, int h, MarkerResult& r, Spot&& spot, Visit&& visit, const ProgressCallback& progress) {
    int* const targets[3] = {&r.topMarker1X, &r.topMarker2X, &r.topMarker3X};
    r.topMarker1X = r.topMarker2X = r.topMarker3X = 0;
    int rowsCounted = 0;
    for (int y = h - 10; y >= 10; --y) {
        for (int x = 10; x <= w - 10; ++x) {
            visit(x, h - y);
            if (spot(x, y)) {
                for (int* target : targets) {
                    if (*target == 0) {
                        *target = x - 1;
                        break;
                    }
                }
                x += 10; // the loop's own step makes the next examined pixel x + 11
            }
            if (r.topMarker3X != 0) return;
        }
        r.topMarker1X = r.topMarker2X = r.topMarker3X = 0;
        ++rowsCounted;
        if (progress) progress(CLng(static_cast<double>(rowsCounted) / h * 100.0));
    }
}

template <class Spot, class Visit>
void ColumnSearch(int w, int h, MarkerResult& r, Spot&& spot, Visit&& visit, const ProgressCallback& progress) {
    int* const targets[4] = {&r.sideMarker1Y, &r.sideMarker2Y, &r.sideMarker3Y, &r.sideMarker4Y};
    r.sideMarker1Y = r.sideMarker2Y = r.sideMarker3Y = r.sideMarker4Y = 0;
    for (int x = 20; x <= w - 20; ++x) {
        for (int y = h - 20; y >= 20; --y) {
            visit(x, h - y);
            if (spot(x, y)) {
                for (int* target : targets) {
                    if (*target == 0) {
                        *target = y + 1;
                        break;
                    }
                }
                y -= 10; // next examined row is y - 11
            }
            if (r.sideMarker4Y != 0) return;
        }
        r.sideMarker1Y = r.sideMarker2Y = r.sideMarker3Y = r.sideMarker4Y = 0;
        if (progress) progress(CLng(static_cast<double>(x) / w * 100.0));
    }
}

// Paints examined pixels on the trace, when there is one. The pixels are
// reached once: scanLine would check for sharing at every pixel.
struct TracePainter {
    uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    int width = 0, height = 0;
    explicit TracePainter(QImage* trace) {
        if (!trace) return;
        bits = trace->bits();
        bytesPerLine = trace->bytesPerLine();
        width = trace->width();
        height = trace->height();
    }
    void operator()(int x, int row) const {
        if (!bits || x < 0 || row < 0 || x >= width || row >= height) return;
        reinterpret_cast<QRgb*>(bits + row * bytesPerLine)[x] = kTraceColour;
    }
};

// Buffer pixel (x, y) read straight from an RGB32 picture.
struct PicturePixels {
    const uchar* bits;
    qsizetype bytesPerLine;
    int height;
    explicit PicturePixels(const QImage& picture)
        : bits(picture.constBits()), bytesPerLine(picture.bytesPerLine()), height(picture.height()) {}
    bool dark(int x, int y) const {
        const QRgb p = reinterpret_cast<const QRgb*>(bits + (height - y) * bytesPerLine)[x - 1];
        return qRed(p) + qGreen(p) + qBlue(p) < 300;
    }
};

// Replays a search from the spots it met, in the order it met them.
struct RecordedSpots {
    const std::vector<QPoint>& spots;
    std::size_t next = 0;
    bool operator()(int x, int y) {
        if (next >= spots.size() || spots[next] != QPoint(x, y)) return false;
        ++next;
        return true;
    }
};

} // namespace

void SearchTopMarkers(const PixelBuffer& buffer, MarkerResult& r, QImage* trace, const ProgressCallback& progress) {
    RowSearch(
        buffer.width(), buffer.height(), r,
        [&](int x, int y) { return IsDarkPixel(buffer, x, y) && IsDarkPixel(buffer, x + 1, y); },
        TracePainter(UsableTrace(trace, buffer)), progress);
}

void SearchSideMarkers(const PixelBuffer& buffer, MarkerResult& r, QImage* trace, const ProgressCallback& progress) {
    ColumnSearch(
        buffer.width(), buffer.height(), r,
        [&](int x, int y) { return IsDarkPixel(buffer, x, y) && IsDarkPixel(buffer, x, y + 1); },
        TracePainter(UsableTrace(trace, buffer)), progress);
}

MarkerResult FindMarkers(const PixelBuffer& buffer, QImage* trace, const ProgressCallback& progress) {
    MarkerResult r;
    SearchTopMarkers(buffer, r, trace, progress);
    SearchSideMarkers(buffer, r, trace, progress);
    return r;
}

MarkerSearch FindMarkers(const QImage& card, const ProgressCallback& progress) {
    MarkerSearch s;
    s.width = card.width();
    s.height = card.height();
    const PicturePixels px(card);
    const auto none = [](int, int) {};
    RowSearch(
        s.width, s.height, s.markers,
        [&](int x, int y) {
            const bool hit = px.dark(x, y) && px.dark(x + 1, y);
            if (hit) s.topSpots.emplace_back(x, y);
            return hit;
        },
        none, progress);
    ColumnSearch(
        s.width, s.height, s.markers,
        [&](int x, int y) {
            const bool hit = px.dark(x, y) && px.dark(x, y + 1);
            if (hit) s.sideSpots.emplace_back(x, y);
            return hit;
        },
        none, progress);
    return s;
}

void PaintSearchTrace(QImage& trace, const MarkerSearch& s) {
    if (trace.width() != s.width || trace.height() != s.height) return;
    if (trace.format() != QImage::Format_RGB32 && trace.format() != QImage::Format_ARGB32)
        trace.convertTo(QImage::Format_RGB32);
    MarkerResult replayed;
    const TracePainter paint(&trace);
    RowSearch(s.width, s.height, replayed, RecordedSpots{s.topSpots}, paint, {});
    ColumnSearch(s.width, s.height, replayed, RecordedSpots{s.sideSpots}, paint, {});
}

SearchTrace::SearchTrace(const MarkerSearch& s) : m_start(std::size_t(std::max(s.height, 0)) + 1, 0) {
    // The examined pixels in search order, then sorted by row (counting sort).
    std::vector<std::pair<int, int>> visited; // (row, x)
    visited.reserve(std::size_t(std::max(s.width, 0)) * 4 + std::size_t(std::max(s.height, 0)) * 16);
    const auto visit = [&](int x, int row) {
        if (x >= 0 && row >= 0 && x < s.width && row < s.height) visited.emplace_back(row, x);
    };
    MarkerResult replayed;
    RowSearch(s.width, s.height, replayed, RecordedSpots{s.topSpots}, visit, {});
    ColumnSearch(s.width, s.height, replayed, RecordedSpots{s.sideSpots}, visit, {});
    for (const auto& v : visited) ++m_start[std::size_t(v.first) + 1];
    for (std::size_t i = 1; i < m_start.size(); ++i) m_start[i] += m_start[i - 1];
    m_xs.resize(visited.size());
    std::vector<int> next(m_start.begin(), m_start.end() - 1);
    for (const auto& v : visited) m_xs[std::size_t(next[std::size_t(v.first)]++)] = v.second;
}

void SearchTrace::paintRow(int row, uchar* bgr) const {
    if (row < 0 || std::size_t(row) + 1 >= m_start.size()) return;
    for (int i = m_start[std::size_t(row)]; i < m_start[std::size_t(row) + 1]; ++i) {
        uchar* p = bgr + 3 * m_xs[std::size_t(i)];
        p[0] = uchar(qBlue(kTraceColour));
        p[1] = uchar(qGreen(kTraceColour));
        p[2] = uchar(qRed(kTraceColour));
    }
}

QString MissingMarkersText(const MarkerResult& m) {
    if (m.gridMarkersFound()) return {};
    QString text = QStringLiteral("Brak markera(ów) na obrazie") + kLineBreak;
    if (m.topMarker2X == 0) text += QStringLiteral("Początek siatki (Oś X)") + kLineBreak;
    if (m.topMarker3X == 0) text += QStringLiteral("Długość siatki (Oś X)") + kLineBreak;
    if (m.sideMarker1Y == 0) text += QStringLiteral("Początek siatki (Oś Y)") + kLineBreak;
    if (m.sideMarker2Y == 0) text += QStringLiteral("Wysokość siatki (Oś Y)") + kLineBreak;
    text += QStringLiteral("Zmień parametry skanowania !");
    return text;
}

void ConvertSideMarkersToScreenRows(MarkerResult& m, int height) {
    m.sideMarker1Y = height - m.sideMarker1Y;
    m.sideMarker2Y = height - m.sideMarker2Y;
    m.sideMarker3Y = height - m.sideMarker3Y;
    m.sideMarker4Y = height - m.sideMarker4Y;
}

QImage CutOutGrid(const QImage& card, const MarkerResult& m) {
    return CutOut(card, m.topMarker2X, m.sideMarker1Y, m.topMarker3X - m.topMarker2X,
                  m.sideMarker2Y - m.sideMarker1Y);
}

QImage CutOutCodeField(const QImage& card, const MarkerResult& m) {
    return CutOut(card, m.topMarker1X, m.sideMarker3Y, m.topMarker3X - m.topMarker1X,
                  m.sideMarker4Y - m.sideMarker3Y);
}

} // namespace kartovo
