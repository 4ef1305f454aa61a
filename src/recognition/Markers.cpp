#include "recognition/Markers.h"

#include "platform/Messages.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace kartovo {

namespace {

constexpr QRgb kTraceColour = 0xff00ff00u; // light green (0, 255, 0)

QImage CutOut(const QImage& card, int left, int top, int width, int height) {
    if (width < 0 || height < 0) return {};
    // One copy of the rectangle; the extra column and row are the picture's white background.
    QImage out = card.copy(QRect(left, top, width + 1, height + 1));
    if (out.format() != QImage::Format_RGB32) out.convertTo(QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) reinterpret_cast<QRgb*>(out.scanLine(y))[width] = 0xffffffffu;
    std::fill_n(reinterpret_cast<QRgb*>(out.scanLine(height)), width + 1, 0xffffffffu);
    return out;
}

// Mean of red, green, blue below 100 (channel sum 299 or less).
bool IsDarkPixel(QRgb p) { return qRed(p) + qGreen(p) + qBlue(p) < 300; }

// Pixel (x, y) of the searches read straight from an RGB32 picture.
struct PicturePixels {
    const uchar* bits;
    qsizetype bytesPerLine;
    int height;
    explicit PicturePixels(const QImage& picture)
        : bits(picture.constBits()), bytesPerLine(picture.bytesPerLine()), height(picture.height()) {}
    // Row y (counted from the bottom); its pixel x (1-based) is [x - 1].
    const QRgb* row(int y) const { return reinterpret_cast<const QRgb*>(bits + (height - y) * bytesPerLine); }
    bool dark(int x, int y) const { return IsDarkPixel(row(y)[x - 1]); }
};

// The row search: screen rows 10 to H - 10 from the top, each from the left;
// a row that does not complete the three markers starts them over.
void RowSearch(const PicturePixels& px, int w, int h, MarkerResult& r, std::vector<QPoint>& spots,
               const ProgressCallback& progress) {
    int* const targets[] = {&r.topMarker1X, &r.topMarker2X, &r.topMarker3X};
    r.topMarker1X = r.topMarker2X = r.topMarker3X = 0;
    int rowsCounted = 0;
    for (int y = h - 10; y >= 10; --y) {
        for (int x = 10; x <= w - 10; ++x) {
            if (px.dark(x, y) && px.dark(x + 1, y)) {
                spots.emplace_back(x, y);
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

// The column search on the picture, a band of columns at a time, so that the
// picture is read along its rows rather than down its columns (a cache miss
// per pixel on a large scan). Each column is searched from screen row 20 down
// to row H - 20; a column that does not complete the four markers starts them over
// in the next. The first column from the left that completes wins, and the
// spots and progress are those of a column-by-column search.
void BandedColumnSearch(const PicturePixels& px, int w, int h, MarkerResult& r, std::vector<QPoint>& spots,
                        const ProgressCallback& progress) {
    r.sideMarker1Y = r.sideMarker2Y = r.sideMarker3Y = r.sideMarker4Y = 0;
    constexpr int kBand = 64;
    int next[kBand], found[kBand], ys[kBand * 4];
    for (int x0 = 20; x0 <= w - 20; x0 += kBand) {
        const int n = std::min(kBand, w - 20 - x0 + 1);
        int running = n;
        int end = n; // columns right of one that completed cannot win
        std::fill(std::begin(next), std::end(next), h - 20);
        std::fill(std::begin(found), std::end(found), 0);
        for (int y = h - 20; y >= 20 && running > 0; --y) {
            const QRgb* line = px.row(y) + x0 - 1;
            const QRgb* above = px.row(y + 1) + x0 - 1;
            for (int i = 0; i < end; ++i) {
                if (next[i] != y) continue; // done, or inside the skip after a spot
                if (IsDarkPixel(line[i]) && IsDarkPixel(above[i])) {
                    ys[i * 4 + found[i]] = y;
                    if (++found[i] == 4) {
                        next[i] = -1;
                        running = i; // every column left of it is still running
                        end = i;
                    } else {
                        next[i] = y - 11;
                    }
                } else {
                    next[i] = y - 1;
                }
            }
        }
        for (int i = 0; i < n; ++i) {
            const int x = x0 + i, k = found[i];
            for (int j = 0; j < k; ++j) spots.emplace_back(x, ys[i * 4 + j]);
            if (k == 4) {
                r.sideMarker1Y = ys[i * 4] + 1;
                r.sideMarker2Y = ys[i * 4 + 1] + 1;
                r.sideMarker3Y = ys[i * 4 + 2] + 1;
                r.sideMarker4Y = ys[i * 4 + 3] + 1;
                return;
            }
            if (progress) progress(CLng(static_cast<double>(x) / w * 100.0));
        }
    }
}

} // namespace

MarkerSearch FindMarkers(const QImage& card, const ProgressCallback& progress) {
    MarkerSearch s;
    s.width = card.width();
    s.height = card.height();
    const PicturePixels px(card);
    RowSearch(px, s.width, s.height, s.markers, s.topSpots, progress);
    BandedColumnSearch(px, s.width, s.height, s.markers, s.sideSpots, progress);
    return s;
}

void PaintSearchTrace(QImage& trace, const MarkerSearch& s) {
    if (trace.width() != s.width || trace.height() != s.height) return;
    if (trace.format() != QImage::Format_RGB32 && trace.format() != QImage::Format_ARGB32)
        trace.convertTo(QImage::Format_RGB32);
    // Row by row: the column search's pixels painted down the columns would
    // miss the cache at every pixel.
    const SearchTrace rows(s);
    uchar* bits = trace.bits();
    const qsizetype bpl = trace.bytesPerLine();
    for (int row = 0; row < s.height; ++row) rows.paintRow(row, reinterpret_cast<QRgb*>(bits + row * bpl));
}

namespace {

// Spots bucketed by screen row: start[row] .. start[row + 1] index xs.
void Bucket(const std::vector<QPoint>& spots, int height, std::vector<int>& start, std::vector<int>& xs) {
    start.assign(std::size_t(std::max(height, 0)) + 2, 0);
    const auto rowOf = [&](const QPoint& p) { return std::clamp(height - p.y(), 0, std::max(height, 0)); };
    for (const QPoint& p : spots) ++start[std::size_t(rowOf(p)) + 1];
    for (std::size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
    xs.resize(spots.size());
    std::vector<int> next(start.begin(), start.end() - 1);
    for (const QPoint& p : spots) xs[std::size_t(next[std::size_t(rowOf(p))]++)] = p.x();
}

} // namespace

SearchTrace::SearchTrace(const MarkerSearch& s) : m_width(std::max(s.width, 0)), m_height(std::max(s.height, 0)) {
    // Where each search stopped: after its last spot when it completed.
    if (s.markers.topMarker3X != 0 && !s.topSpots.empty()) {
        m_lastRow = s.height - s.topSpots.back().y();
        m_lastRowX = s.topSpots.back().x();
    }
    if (s.markers.sideMarker4Y != 0 && !s.sideSpots.empty()) {
        m_lastColumn = s.sideSpots.back().x();
        m_lastColumnRow = s.height - s.sideSpots.back().y();
    }
    Bucket(s.topSpots, m_height, m_topStart, m_topXs);
    Bucket(s.sideSpots, m_height, m_sideStart, m_sideXs);
}

template <class Paint>
void SearchTrace::forEachRun(int row, Paint&& paint) const {
    if (row < 0 || row >= m_height) return;
    const auto clip = [&](int a, int b) { // runs start at column 10 or later
        b = std::min(b, m_width - 1);
        if (a <= b) paint(a, b);
    };
    // Row search: x from 10 to W - 10, the 10 pixels after each spot skipped.
    if (row >= 10 && row <= m_height - 10 && (m_lastRow < 0 || row <= m_lastRow)) {
        const int end = row == m_lastRow ? m_lastRowX : m_width - 10;
        int x = 10;
        for (int i = m_topStart[std::size_t(row)]; i < m_topStart[std::size_t(row) + 1] && x <= end; ++i) {
            const int spot = m_topXs[std::size_t(i)];
            clip(x, std::min(spot, end));
            x = spot + 11;
        }
        clip(x, end);
    }
    // Column search: columns 20 to W - 20 on rows 20 to H - 20; a spot on
    // screen row r skips rows r + 1 .. r + 10 of its column.
    if (row >= 20 && row <= m_height - 20) {
        int end = m_lastColumn < 0 ? m_width - 20 : m_lastColumn;
        if (m_lastColumn >= 0 && row > m_lastColumnRow) --end;
        thread_local std::vector<int> holes;
        holes.clear();
        for (int r = std::max(0, row - 10); r < row; ++r)
            for (int i = m_sideStart[std::size_t(r)]; i < m_sideStart[std::size_t(r) + 1]; ++i)
                holes.push_back(m_sideXs[std::size_t(i)]);
        std::sort(holes.begin(), holes.end());
        int x = 20;
        for (const int hole : holes) {
            if (hole > end) break;
            if (hole >= x) clip(x, hole - 1);
            x = std::max(x, hole + 1);
        }
        clip(x, end);
    }
}

void SearchTrace::paintRow(int row, uchar* bgr) const {
    forEachRun(row, [bgr](int a, int b) {
        for (uchar* p = bgr + 3 * a; p <= bgr + 3 * b; p += 3) {
            p[0] = uchar(qBlue(kTraceColour));
            p[1] = uchar(qGreen(kTraceColour));
            p[2] = uchar(qRed(kTraceColour));
        }
    });
}

void SearchTrace::paintRow(int row, QRgb* line) const {
    forEachRun(row, [line](int a, int b) { std::fill(line + a, line + b + 1, kTraceColour); });
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
