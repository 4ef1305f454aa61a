#include "recognition/CardFixtures.h"

#include "imaging/PixelBuffer.h"
#include "platform/Messages.h"
#include "recognition/Markers.h"

#include <gtest/gtest.h>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

MarkerResult Search(const QImage& img, QImage* trace = nullptr) {
    PixelBuffer buffer;
    LoadPixelBuffer(buffer, img);
    return FindMarkers(buffer, trace);
}

// Three top markers of the given width at screen row 15, and four side
// markers 5 px high at screen column 30.
QImage MarkerCard(int topWidth = 4, int sideHeight = 5) {
    QImage img = Blank(300, 400);
    for (int x : {60, 110, 250}) Box(img, x, 15, topWidth, 12);
    for (int y : {50, 200, 260, 300}) Box(img, 30, y, 12, sideHeight);
    return img;
}

} // namespace

TEST(MarkerSearch, FindsMarkersAtTheirFirstPixel) {
    const MarkerResult m = Search(MarkerCard());
    EXPECT_EQ(m.topMarker1X, 60);
    EXPECT_EQ(m.topMarker2X, 110);
    EXPECT_EQ(m.topMarker3X, 250);
    // Buffer rows of the upper pixels, counted from the bottom (H = 400).
    EXPECT_EQ(m.sideMarker1Y, 400 - 50);
    EXPECT_EQ(m.sideMarker2Y, 400 - 200);
    EXPECT_EQ(m.sideMarker3Y, 400 - 260);
    EXPECT_EQ(m.sideMarker4Y, 400 - 300);
    MarkerResult screen = m;
    ConvertSideMarkersToScreenRows(screen, 400);
    EXPECT_EQ(screen.sideMarker1Y, 50);
    EXPECT_EQ(screen.sideMarker4Y, 300);
    EXPECT_TRUE(MissingMarkersText(m).isEmpty());
}

TEST(MarkerSearch, MarkerOfThirteenPixelsGivesTwoSpotsTwelveGivesOne) {
    // The search resumes 11 px right of a hit; a second spot needs pixels 11 and 12 dark.
    const MarkerResult twelve = Search(MarkerCard(12, 12));
    EXPECT_EQ(twelve.topMarker2X, 110);
    EXPECT_EQ(twelve.sideMarker2Y, 400 - 200);

    const MarkerResult thirteen = Search(MarkerCard(13, 13));
    EXPECT_EQ(thirteen.topMarker1X, 60);
    EXPECT_EQ(thirteen.topMarker2X, 71) << "second spot inside the first marker";
    EXPECT_EQ(thirteen.topMarker3X, 110);
    EXPECT_EQ(thirteen.sideMarker2Y, 400 - 61);
    EXPECT_EQ(thirteen.sideMarker3Y, 400 - 200);
}

TEST(MarkerSearch, MeanOfExactlyHundredIsNotDark) {
    QImage img = MarkerCard();
    Box(img, 110, 15, 4, 12, QColor(100, 100, 100)); // sum 300
    MarkerResult m = Search(img);
    EXPECT_EQ(m.topMarker2X, 0);
    EXPECT_EQ(m.topMarker3X, 0);
    Box(img, 110, 15, 4, 12, QColor(100, 100, 99)); // sum 299
    m = Search(img);
    EXPECT_EQ(m.topMarker2X, 110);
}

TEST(MarkerSearch, RowWithTwoSpotsIsSkippedAndSetsAreKeptWhole) {
    QImage img = Blank(300, 400);
    Box(img, 60, 12, 4, 4);  // rows 12..15: only two markers
    Box(img, 110, 12, 4, 4);
    for (int x : {70, 120, 250}) Box(img, x, 20, 4, 6);
    const MarkerResult m = Search(img);
    EXPECT_EQ(m.topMarker1X, 70);
    EXPECT_EQ(m.topMarker2X, 120);
    EXPECT_EQ(m.topMarker3X, 250);
}

TEST(MarkerSearch, NothingAboveScreenRowTenOrLeftOfColumnNineteen) {
    QImage img = Blank(300, 400);
    for (int x : {60, 110, 250}) Box(img, x, 0, 4, 9); // rows 0..8: above the search
    for (int y : {50, 200, 260, 300}) Box(img, 8, y, 10, 5); // columns 8..17: left of buffer x 20
    const MarkerResult m = Search(img);
    EXPECT_FALSE(m.gridMarkersFound());
    EXPECT_EQ(MissingMarkersText(m),
              QStringLiteral("Brak markera(ów) na obrazie\rPoczątek siatki (Oś X)\rDługość siatki (Oś X)\r"
                             "Początek siatki (Oś Y)\rWysokość siatki (Oś Y)\rZmień parametry skanowania !"));
    // Screen column 19 is buffer column 20, the first one searched.
    Box(img, 19, 50, 1, 5);
    for (int y : {200, 260, 300}) Box(img, 19, y, 1, 5);
    EXPECT_EQ(Search(img).sideMarker1Y, 400 - 50);
}

TEST(MarkerSearch, RefusalNamesOnlyTheMissingSet) {
    QImage noTop = MarkerCard();
    Box(noTop, 250, 15, 4, 12, Qt::white);
    const MarkerResult a = Search(noTop);
    EXPECT_EQ(a.topMarker1X, 0);
    EXPECT_NE(a.sideMarker1Y, 0);
    EXPECT_EQ(MissingMarkersText(a), QStringLiteral("Brak markera(ów) na obrazie") + kLineBreak +
                                         QStringLiteral("Początek siatki (Oś X)") + kLineBreak +
                                         QStringLiteral("Długość siatki (Oś X)") + kLineBreak +
                                         QStringLiteral("Zmień parametry skanowania !"));
    QImage noSide = MarkerCard();
    Box(noSide, 30, 300, 12, 5, Qt::white);
    const MarkerResult b = Search(noSide);
    EXPECT_NE(b.topMarker3X, 0);
    EXPECT_EQ(b.sideMarker1Y, 0);
    EXPECT_EQ(MissingMarkersText(b), QStringLiteral("Brak markera(ów) na obrazie\rPoczątek siatki (Oś Y)\r"
                                                    "Wysokość siatki (Oś Y)\rZmień parametry skanowania !"));
}

TEST(MarkerSearch, ColumnCrossingTheTopRowMeetsTheTopMarker) {
    // No separate side markers left of the top ones: the first top marker's
    // column supplies its own spot plus three below it.
    QImage img = Blank(300, 400);
    for (int x : {60, 110, 250}) Box(img, x, 25, 4, 5); // below screen row 20, where columns start
    for (int y : {100, 200, 300}) Box(img, 60, y, 4, 5);
    const MarkerResult m = Search(img);
    EXPECT_EQ(m.topMarker1X, 60);
    EXPECT_EQ(m.sideMarker1Y, 400 - 25);
    EXPECT_EQ(m.sideMarker4Y, 400 - 300);
}

TEST(MarkerSearch, TracePaintsEveryExaminedPixelGreenAndReportsProgress) {
    QImage img = MarkerCard();
    QImage trace = img.copy();
    PixelBuffer buffer;
    LoadPixelBuffer(buffer, img);
    std::vector<int> progress;
    MarkerResult m;
    SearchTopMarkers(buffer, m, &trace, [&](int p) { progress.push_back(p); });
    // Rows 10..14 were searched in full (5 rows without markers), row 15 up to marker 3.
    EXPECT_EQ(progress.size(), 5u);
    EXPECT_EQ(progress.back(), 1); // 5 / 400 * 100 = 1.25
    EXPECT_EQ(trace.pixel(10, 10), qRgb(0, 255, 0));
    EXPECT_EQ(trace.pixel(290, 14), qRgb(0, 255, 0));
    EXPECT_EQ(trace.pixel(9, 10), qRgb(255, 255, 255));
    EXPECT_EQ(trace.pixel(100, 9), qRgb(255, 255, 255));
    EXPECT_EQ(trace.pixel(100, 16), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(10, 10), qRgb(255, 255, 255)) << "the card itself stays clean";
}

TEST(MarkerSearch, GridCutOutIsOneLargerWithWhiteLastColumnAndRow) {
    QImage card = Blank(600, 800);
    for (int x : {30, 50, 450}) Box(card, x, 12, 4, 8);
    for (int y : {40, 640, 700, 760}) Box(card, 22, y, 5, 4);
    Box(card, 50, 40, 400, 600, QColor(10, 200, 30)); // the grid area
    MarkerResult m = Search(card);
    ASSERT_TRUE(m.gridMarkersFound());
    ConvertSideMarkersToScreenRows(m, card.height());
    const QImage grid = CutOutGrid(card, m);
    EXPECT_EQ(grid.size(), QSize(401, 601));
    EXPECT_EQ(grid.pixel(0, 0), qRgb(10, 200, 30));
    EXPECT_EQ(grid.pixel(399, 599), qRgb(10, 200, 30));
    EXPECT_EQ(grid.pixel(400, 10), qRgb(255, 255, 255));
    EXPECT_EQ(grid.pixel(10, 600), qRgb(255, 255, 255));
    const QImage code = CutOutCodeField(card, m);
    EXPECT_EQ(code.size(), QSize(421, 61));
}
