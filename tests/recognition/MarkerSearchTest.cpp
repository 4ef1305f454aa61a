#include "recognition/CardFixtures.h"

#include "recognition/Recognition.h"

#include <gtest/gtest.h>
#include <cmath>
#include <functional>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

// Seven solid bars `t` thick and 12 long laid out as on a card: top markers
// at screen row `top`, side markers at screen column 20.
QImage MarkerCard(int t = 2, int top = 20) {
    QImage card = Blank(400, 420);
    for (int x : {50, 80, 300}) Box(card, x, top, t, 12);
    for (int y : {80, 300, 340, 380}) Box(card, 20, y, 12, t);
    return card;
}

struct Plain {
    MarkerResult markers;
    QImage trace;
    std::vector<int> progress;
};

// The two searches written plainly, pixel by pixel: search pixel (x, y) is
// screen pixel (x - 1, H - y); each examined one paints screen pixel
// (x, H - y) green on the trace.
Plain PlainSearch(const QImage& card) {
    Plain p{{}, card.convertToFormat(QImage::Format_RGB32), {}};
    const QImage img = p.trace.copy();
    const int w = img.width(), h = img.height();
    const auto dark = [&](int x, int y) {
        const QRgb c = img.pixel(x - 1, h - y);
        return qRed(c) + qGreen(c) + qBlue(c) < 300;
    };
    const auto visit = [&](int x, int row) { if (x < w && row < h) p.trace.setPixel(x, row, qRgb(0, 255, 0)); };
    MarkerResult& m = p.markers;
    int* const top[] = {&m.topMarker1X, &m.topMarker2X, &m.topMarker3X};
    int* const side[] = {&m.sideMarker1Y, &m.sideMarker2Y, &m.sideMarker3Y, &m.sideMarker4Y};
    // A row (column) without all its markers leaves none found.
    [&] {
        for (int y = h - 10; y >= 10; --y) {
            int found = 0;
            for (int x = 10; x <= w - 10; ++x) {
                visit(x, h - y);
                if (dark(x, y) && dark(x + 1, y)) {
                    *top[found++] = x - 1;
                    if (found == 3) return;
                    x += 10;
                }
            }
            for (int* t : top) *t = 0;
            p.progress.push_back(int(std::lrint(double(h - 10 - y + 1) / h * 100.0)));
        }
    }();
    [&] {
        for (int x = 20; x <= w - 20; ++x) {
            int found = 0;
            for (int y = h - 20; y >= 20; --y) {
                visit(x, h - y);
                if (dark(x, y) && dark(x, y + 1)) {
                    *side[found++] = y + 1;
                    if (found == 4) return;
                    y -= 10;
                }
            }
            for (int* t : side) *t = 0;
            p.progress.push_back(int(std::lrint(double(x) / w * 100.0)));
        }
    }();
    return p;
}

} // namespace

// The searches read the card's rows, a band of columns at a time, and paint
// their trace row by row: markers, spots, trace and progress are those of the
// plain searches, on cards, on spots that are no markers and on pages whose
// every column holds spots.
TEST(MarkerSearch, MatchesThePlainSearchesTraceAndProgress) {
    QImage striped = Blank(230, 300);
    for (int y = 15; y < 300; y += 23) Box(striped, 0, y, 230, 2);
    QImage boxes = Blank(200, 260);
    Box(boxes, 30, 40, 4, 12);
    Box(boxes, 90, 40, 4, 12);
    Box(boxes, 25, 100, 9, 3);
    QImage crossing = Blank(300, 400); // the first top marker's column holds all four side spots
    for (int x : {60, 110, 250}) Box(crossing, x, 25, 4, 5);
    for (int y : {100, 200, 300}) Box(crossing, 60, y, 4, 5);
    const QImage card = RenderCard(SampleCard(19), CardStyle{}, 150);
    int n = 0;
    for (const QImage& picture :
         {card, card.mirrored(true, true), MarkerCard(), MarkerCard(13), boxes, striped, crossing}) {
        SCOPED_TRACE(n++);
        const Plain plain = PlainSearch(picture);
        std::vector<int> progress;
        const MarkerSearch s = FindMarkers(picture.convertToFormat(QImage::Format_RGB32),
                                           [&](int percent) { progress.push_back(percent); });
        const MarkerResult& m = s.markers;
        EXPECT_EQ(QList<int>({m.topMarker1X, m.topMarker2X, m.topMarker3X, m.sideMarker1Y, m.sideMarker2Y,
                              m.sideMarker3Y, m.sideMarker4Y}),
                  QList<int>({plain.markers.topMarker1X, plain.markers.topMarker2X, plain.markers.topMarker3X,
                              plain.markers.sideMarker1Y, plain.markers.sideMarker2Y, plain.markers.sideMarker3Y,
                              plain.markers.sideMarker4Y}));
        EXPECT_EQ(progress, plain.progress);
        EXPECT_TRUE(RecogniseCard(picture).trace == plain.trace);
        // The rows handed to the bitmap writer carry the same trace.
        const SearchTrace rows(s);
        QImage bgr = picture.convertToFormat(QImage::Format_RGB888).rgbSwapped();
        for (int y = 0; y < bgr.height(); ++y) rows.paintRow(y, bgr.scanLine(y));
        EXPECT_TRUE(bgr.rgbSwapped().convertToFormat(QImage::Format_RGB32) == plain.trace);
    }
    EXPECT_EQ(FindMarkers(crossing).markers.sideMarker1Y, 400 - 25);
}

// MarkerCard with `more` drawn: what is not a card's markers is refused with
// the reason, before any cut-out; dark is a channel sum below 300.
TEST(MarkerSearch, SpotsAreMarkersOnlyWhenSolidAlikeLinedUpAndPlacedAsOnACard) {
    const struct {
        int t, top;
        std::function<void(QImage&)> more;
        const char* refusal; // nullptr: found
    } cases[] = {
        {2, 20, {}, nullptr}, // the thinnest the searches see
        {6, 20, {}, nullptr}, // length twice the thickness
        {7, 20, {}, "Górny marker 1 nie jest markerem karty: ciemny ślad 7×12 pikseli zamiast kreski."},
        {2, 20, [](QImage& c) { Box(c, 20, 80, 12, 4); }, nullptr},
        {2, 20, [](QImage& c) { Box(c, 20, 80, 12, 5); }, "Boczny marker 1 ma inny rozmiar (12×5 pikseli) niż pozostałe markery (12×2)."},
        {2, 20, [](QImage& c) { Box(c, 300, 20, 2, 2, Qt::white); }, nullptr},
        {2, 20, [](QImage& c) { Box(c, 300, 20, 2, 3, Qt::white); }, "Markery nie leżą w jednej linii"},
        {2, 30, {}, "siatka nie leży w równej odległości od markerów górnych (50) i bocznych (60)"},
        {2, 20, [](QImage& c) { Box(c, 20, 340, 12, 2, Qt::white), Box(c, 20, 365, 12, 2); }, "pole kodujące nie leży pod siatką"},
        {2, 20, [](QImage& c) { Box(c, 80, 20, 2, 12, QColor(100, 100, 99)); }, nullptr},
        {2, 20, [](QImage& c) { Box(c, 80, 20, 2, 12, QColor(100, 100, 100)); }, "Oś X"},
        {2, 20, [](QImage& c) { Box(c, 20, 300, 12, 2, QColor(100, 100, 99)); }, nullptr},
        {2, 20, [](QImage& c) { Box(c, 20, 300, 12, 2, QColor(100, 100, 100)); }, "Oś Y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.t << " " << c.top << " " << (c.refusal ? c.refusal : ""));
        QImage card = MarkerCard(c.t, c.top);
        if (c.more) c.more(card);
        const RecognitionResult r = RecogniseCard(card);
        EXPECT_EQ(r.markersFound, !c.refusal) << r.refusal.toStdString();
        if (c.refusal) { EXPECT_TRUE(r.refusal.contains(QString::fromUtf8(c.refusal))) << r.refusal.toStdString(); }
    }
}

TEST(MarkerSearch, GridCutOutIsOneLargerWithWhiteLastColumnAndRow) {
    QImage card = Blank(600, 800);
    for (int x : {30, 50, 450}) Box(card, x, 12, 4, 8);
    for (int y : {40, 640, 700, 760}) Box(card, 22, y, 5, 4);
    Box(card, 50, 40, 400, 600, QColor(10, 200, 30)); // the grid area
    MarkerResult m = FindMarkers(card).markers;
    ASSERT_TRUE(m.gridMarkersFound());
    ConvertSideMarkersToScreenRows(m, card.height());
    const QImage grid = CutOutGrid(card, m);
    EXPECT_EQ(grid.size(), QSize(401, 601));
    EXPECT_EQ(grid.pixel(0, 0), qRgb(10, 200, 30));
    EXPECT_EQ(grid.pixel(399, 599), qRgb(10, 200, 30));
    EXPECT_EQ(grid.pixel(400, 10), qRgb(255, 255, 255));
    EXPECT_EQ(grid.pixel(10, 600), qRgb(255, 255, 255));
    EXPECT_EQ(CutOutCodeField(card, m).size(), QSize(421, 61));
}
