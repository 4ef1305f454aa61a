#include "recognition/CardPlausibility.h"

#include "platform/Messages.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kartovo {

namespace {

// Longest run followed from a spot on either side: a blot or a black page
// ends the measurement here, so the check costs the same on any picture.
constexpr int kRunCap = 400;
// The searches resume 11 pixels on: a marker much thicker gives two spots.
constexpr int kMinThickness = 2, kMaxThickness = 16;
// Tolerated skew: tan(0.25 degrees), with two pixels for the scan's edges.
constexpr double kSkewSlope = 0.0044;
constexpr int kEdgeSlack = 2;

QString Straight() { return QStringLiteral("Karta jest przekrzywiona lub odwrócona - zeskanuj ją prosto."); }

// Dark as the searches see it: channel sum 299 or less; outside is paper.
struct DarkPixels {
    const uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    int width = 0, height = 0;
    explicit DarkPixels(const QImage& picture)
        : bits(picture.constBits()), bytesPerLine(picture.bytesPerLine()), width(picture.width()),
          height(picture.height()) {}
    bool operator()(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return false;
        const QRgb p = reinterpret_cast<const QRgb*>(bits + y * bytesPerLine)[x];
        return qRed(p) + qGreen(p) + qBlue(p) < 300;
    }
};

// The dark run through (x, y) along (dx, dy): first and last offset position
// (x or y), or an empty run (first > last) when (x, y) is not dark.
std::pair<int, int> Run(const DarkPixels& dark, int x, int y, int dx, int dy) {
    const int at = dx != 0 ? x : y;
    if (!dark(x, y)) return {at + 1, at};
    int lo = 0, hi = 0;
    while (lo < kRunCap && dark(x - (lo + 1) * dx, y - (lo + 1) * dy)) ++lo;
    while (hi < kRunCap && dark(x + (hi + 1) * dx, y + (hi + 1) * dy)) ++hi;
    return {at - lo, at + hi};
}

// Horizontal bar thickness (top markers) or vertical (side markers): the run
// along the search through the spot, the run across through its middle, and
// both again through the middle of the bar.
MarkerShape Measure(const DarkPixels& dark, int x, int y, bool alongRows) {
    MarkerShape s;
    if (alongRows) {
        const auto [l, r] = Run(dark, x, y, 1, 0);
        const int cx = (l + r) / 2;
        const auto [t, b] = Run(dark, cx, y, 0, 1);
        const int my = (t + b) / 2;
        const auto [l2, r2] = Run(dark, cx, my, 1, 0);
        const int cx2 = (l2 + r2) / 2;
        const auto [t2, b2] = Run(dark, cx2, my, 0, 1);
        s = {l2, t2, r2, b2, r2 - l2 + 1, b2 - t2 + 1};
    } else {
        const auto [t, b] = Run(dark, x, y, 0, 1);
        const int cy = (t + b) / 2;
        const auto [l, r] = Run(dark, x, cy, 1, 0);
        const int mx = (l + r) / 2;
        const auto [t2, b2] = Run(dark, mx, cy, 0, 1);
        const int cy2 = (t2 + b2) / 2;
        const auto [l2, r2] = Run(dark, mx, cy2, 1, 0);
        s = {l2, t2, r2, b2, b2 - t2 + 1, r2 - l2 + 1};
    }
    s.thickness = std::max(s.thickness, 0);
    s.length = std::max(s.length, 0);
    return s;
}

int Median(std::vector<int> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

bool Near(int value, int reference, double share, int slack) {
    return std::abs(value - reference) <= std::max(static_cast<double>(slack), share * reference);
}

QString MarkerName(std::size_t i) {
    return i < 3 ? QStringLiteral("Górny marker %1").arg(i + 1) : QStringLiteral("Boczny marker %1").arg(i - 2);
}

QString Degrees(double slope) {
    return QString::number(std::atan(slope) * 180.0 / M_PI, 'f', 1).replace(u'.', u',');
}

QString Refusal(const QString& what) { return what + kLineBreak + Straight(); }

} // namespace

std::vector<MarkerShape> MeasureMarkers(const QImage& card, const MarkerSearch& search) {
    std::vector<MarkerShape> shapes;
    if (search.topSpots.size() < 3 || search.sideSpots.size() < 4 || !search.markers.gridMarkersFound()) return shapes;
    const DarkPixels dark(card);
    const int h = card.height();
    // The completed row and column are the last spots each search met.
    for (auto it = search.topSpots.end() - 3; it != search.topSpots.end(); ++it)
        shapes.push_back(Measure(dark, it->x() - 1, h - it->y(), true));
    for (auto it = search.sideSpots.end() - 4; it != search.sideSpots.end(); ++it)
        shapes.push_back(Measure(dark, it->x() - 1, h - it->y(), false));
    return shapes;
}

QString ImplausibleMarkersText(const QImage& card, const MarkerSearch& search) {
    const std::vector<MarkerShape> m = MeasureMarkers(card, search);
    if (m.size() != 7) return {};

    // Each one a solid bar: a marker's thickness, and at least twice as long.
    for (std::size_t i = 0; i < m.size(); ++i) {
        const MarkerShape& s = m[i];
        if (s.thickness < kMinThickness || s.thickness > kMaxThickness || s.length < 2 * s.thickness) {
            const int w = s.right - s.left + 1, hgt = s.bottom - s.top + 1;
            QString what = QStringLiteral("%1 nie jest markerem karty: ciemny ślad %2×%3 pikseli zamiast kreski.")
                               .arg(MarkerName(i))
                               .arg(std::max(w, 0))
                               .arg(std::max(hgt, 0));
            if (s.thickness > kMaxThickness && s.length >= 2 * s.thickness && s.length < kRunCap)
                what += kLineBreak + QStringLiteral("Markery są za grube: zeskanuj kartę w rozdzielczości 100-300 dpi.");
            return Refusal(what);
        }
    }

    // All seven printed alike.
    std::vector<int> thickness, length;
    for (const MarkerShape& s : m) {
        thickness.push_back(s.thickness);
        length.push_back(s.length);
    }
    const int t = Median(thickness), len = Median(length);
    for (std::size_t i = 0; i < m.size(); ++i) {
        if (!Near(m[i].thickness, t, 0.35, 2) || !Near(m[i].length, len, 0.25, 3))
            return Refusal(QStringLiteral("%1 ma inny rozmiar (%2×%3 pikseli) niż pozostałe markery (%4×%5).")
                               .arg(MarkerName(i))
                               .arg(i < 3 ? m[i].thickness : m[i].length)
                               .arg(i < 3 ? m[i].length : m[i].thickness)
                               .arg(i < 3 ? t : len)
                               .arg(i < 3 ? len : t));
    }

    // Lined up: the top markers' upper edges on one row, the side markers'
    // left edges on one column.
    const auto spread = [](std::initializer_list<int> v) { return std::max(v) - std::min(v); };
    const int topSpread = spread({m[0].top, m[1].top, m[2].top});
    const int sideSpread = spread({m[3].left, m[4].left, m[5].left, m[6].left});
    const int topSpan = std::max(1, m[2].left - m[0].left), sideSpan = std::max(1, m[6].top - m[3].top);
    const bool topSkewed = topSpread > std::max<double>(kEdgeSlack, kSkewSlope * topSpan);
    const bool sideSkewed = sideSpread > std::max<double>(kEdgeSlack, kSkewSlope * sideSpan);
    if (topSkewed || sideSkewed) {
        const double slope = std::max(static_cast<double>(topSpread) / topSpan, static_cast<double>(sideSpread) / sideSpan);
        return Refusal(QStringLiteral("Markery nie leżą w jednej linii: karta jest skręcona o około %1°.").arg(Degrees(slope)));
    }

    // Placed as on a card: side markers left of the top ones, top markers
    // above the side ones, the grid's corner as far below the top markers as
    // right of the side markers, the code field below the grid about as far
    // as it is high, and a grid of at least a marker's length each way.
    const int topRow = m[0].top, sideColumn = m[3].left;
    const int below = m[3].top - topRow, right = m[1].left - sideColumn;
    const int gridWidth = m[2].left - m[1].left, gridHeight = m[4].top - m[3].top;
    const int codeGap = m[5].top - m[4].top, codeHeight = m[6].top - m[5].top;
    QString layout;
    if (std::max({m[3].right, m[4].right, m[5].right, m[6].right}) >= m[0].left ||
        std::max({m[0].bottom, m[1].bottom, m[2].bottom}) >= m[3].top)
        layout = QStringLiteral("markery górne i boczne zachodzą na siebie");
    else if (!Near(below, right, 0.15, 3))
        layout = QStringLiteral("siatka nie leży w równej odległości od markerów górnych (%1) i bocznych (%2)")
                     .arg(below)
                     .arg(right);
    else if (gridWidth < 2 * len || gridHeight < len)
        layout = QStringLiteral("siatka %1×%2 pikseli jest za mała").arg(gridWidth).arg(gridHeight);
    else if (codeHeight < len || codeGap < len / 2 || !Near(codeGap, codeHeight, 0.35, 3))
        layout = QStringLiteral("pole kodujące nie leży pod siatką w zwykłej odległości");
    if (!layout.isEmpty())
        return Refusal(QStringLiteral("Markery nie są rozmieszczone jak na karcie danych: %1.").arg(layout));
    return {};
}

QString ImplausibleCodeFieldText(const QImage& bwField, const CodeFieldResult& code) {
    const std::size_t n = code.bars.size();
    if (n == 0 || !code.refusal.isEmpty()) return {};
    const DarkPixels dark(bwField);
    const int h4 = bwField.height(), w4 = bwField.width();
    const int barRow = 3;            // buffer row H4 - 3
    const int bitRow = h4 - h4 / 4;  // buffer row Int(H4 / 4)
    std::vector<int> centres, widths, heights, bottoms, lefts, rights;
    for (const CodeBar& bar : code.bars) {
        const int cx = bar.centre - 1;
        const auto [l, r] = Run(dark, cx, barRow, 1, 0);
        const auto [t, b] = Run(dark, cx, barRow, 0, 1);
        centres.push_back(cx);
        widths.push_back(r - l + 1);
        heights.push_back(b - t + 1);
        bottoms.push_back(b);
        lefts.push_back(l);
        rights.push_back(r);
    }
    std::vector<int> pitches;
    for (std::size_t i = 1; i < n; ++i) pitches.push_back(centres[i] - centres[i - 1]);
    const int pitch = Median(pitches), width = Median(widths), height = Median(heights);

    QString what;
    for (std::size_t i = 0; i < n && what.isEmpty(); ++i) {
        if (i > 0 && !Near(pitches[i - 1], pitch, 0.2, 2))
            what = QStringLiteral("znaczniki zegarowe nie leżą w równych odstępach");
        else if (!Near(widths[i], width, 0.35, 2) || !Near(heights[i], height, 0.2, 2) || (n > 1 && widths[i] >= pitch))
            what = QStringLiteral("znaczniki zegarowe mają różne rozmiary");
        else if (bottoms[i] + 1 >= bitRow)
            what = QStringLiteral("znacznik zegarowy sięga pola bitu");
    }
    // Nothing dark in the band of the bars but the bars: a bar the bar row
    // missed (a skewed field) or a stroke over the field shows there.
    const int band = *std::min_element(bottoms.begin(), bottoms.end());
    for (int y = 0; y <= band && what.isEmpty(); ++y) {
        std::size_t i = 0;
        for (int x = 0; x < w4; ++x) {
            while (i < n && x > rights[i] + 2) ++i;
            if (i < n && x >= lefts[i] - 2) continue;
            if (dark(x, y)) {
                what = QStringLiteral("znaczniki zegarowe nie leżą w jednym wierszu");
                break;
            }
        }
    }
    // Every dark run of the bit row is a bit cell under a bar.
    const int reach = n > 1 ? pitch : 3 * width;
    for (int x = 0; x < w4 && what.isEmpty();) {
        if (!dark(x, bitRow)) {
            ++x;
            continue;
        }
        const auto [l, r] = Run(dark, x, bitRow, 1, 0);
        const int centre = (l + r) / 2;
        const bool underBar = std::any_of(centres.begin(), centres.end(),
                                          [&](int c) { return std::abs(c - centre) * 4 <= reach; });
        if (!underBar || r - l + 1 >= reach) what = QStringLiteral("na wierszu bitów są ślady poza polami bitów");
        x = r + 1;
    }
    if (what.isEmpty()) return {};
    return QStringLiteral("Pole kodujące jest zamazane lub uszkodzone: %1.").arg(what) + kLineBreak +
           UnreadableCodeText();
}

} // namespace kartovo
