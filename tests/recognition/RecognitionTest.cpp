#include "CardRenderer.h"
#include "common/TestHelpers.h"
#include "imaging/PictureRoad.h"
#include "db/DemoDatabase.h"
#include "reading/Measurements.h"
#include "recognition/CardIdentification.h"
#include "recognition/CardPlausibility.h"
#include "recognition/CodeField.h"
#include "recognition/Recognition.h"

#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <functional>

using namespace kartovo;
using kartovo::testing::Filled;

namespace {

// A parameter as the database would give it.
CardSpec SampleCard(int id, int gestosc = 9, int rows = 20) {
    CardSpec card{.id = id, .parameter = test::RoadParameter(), .name = QStringLiteral("Średnica"), .program = QStringLiteral("Wałek 12")};
    card.parameter.set("ID", id), card.parameter.set("Gestosc", gestosc), card.parameter.set("SkalaSiatki", rows);
    return card;
}

// White pictures with black rectangles (x, y, w, h in screen pixels).
void Box(QImage& img, int x, int y, int w, int h, QColor c = Qt::black) { QPainter(&img).fillRect(x, y, w, h, c); }

// A 100 x 40 field, bars 4 wide every 12 from x = 5: bar row 3, margin 10 columns, bit row 30.
QImage Field(const QString& bits) {
    QImage img = Filled(100, 40);
    for (int i = 0; i < bits.size(); ++i) {
        Box(img, 5 + i * 12, 0, 4, 12);
        if (bits[i] == u'1') Box(img, 4 + i * 12, 24, 6, 12);
    }
    return img;
}

// `count` bars 1 px wide every 3 px on a field 8 px high (margin 2), every bit black.
QImage ManyBars(int count, int height = 8) {
    QImage img = Filled(500, height);
    for (int i = 0; i < count; ++i) Box(img, 2 + 3 * i, 0, 1, height);
    return img;
}

// Seven bars `t` thick and 12 long as on a card: top ones at row `top`, side ones at column 20; grid green.
const QRgb kGreen = qRgb(40, 230, 60); // not dark
QImage MarkerCard(int t = 2, int top = 20) {
    QImage card = Filled(400, 420);
    Box(card, 80, 80, 220, 220, kGreen);
    for (int x : {50, 80, 300}) Box(card, x, top, t, 12);
    for (int y : {80, 300, 340, 380}) Box(card, 20, y, 12, t);
    return card;
}

struct Plain { MarkerResult markers; QImage trace; std::vector<int> progress; };

// The searches written plainly: search pixel (x, y) is screen (x - 1, H - y), traced green at (x, H - y).
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

// One card through a scan: resolution, parameter, page and the scan's defects.
struct ScanCase {
    const char* name;
    double dpi;
    int id, gestosc = 9, rows = 20; // 40 rows on an A4 page
    double noise = 0.0, blur = 0.0;
    int jpegQuality = -1, rotation = 0; // scanned on off-white paper; delivered turned, the pipeline turns it back
};
void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class CardRoundTrip : public ::testing::TestWithParam<ScanCase> {};

// Not a straight, whole card: a skew, a turn or mirror not undone, ballpoint zig-zags or blots (0 strokes).
struct Damage {
    const char* name;
    double skew = 0;
    int turn = 0;
    bool mirrorX = false, mirrorY = false;
    std::function<QRectF(const CardLayout&)> area = {};
    int strokes = 0;
};
void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

QImage Damaged(const QImage& card, const Damage& d, const CardLayout& l, double dpmm) {
    QImage out = ApplyScanDefects(card.mirrored(d.mirrorX, d.mirrorY), {.rotation = d.turn});
    if (d.skew != 0) out.fill(Qt::white);
    QPainter p(&out);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QPointF centre(card.width() / 2.0, card.height() / 2.0);
    if (d.skew != 0) p.translate(centre), p.rotate(d.skew), p.translate(-centre), p.drawImage(0, 0, card);
    if (!d.area) return out;
    const QRectF mm = d.area(l), r(mm.x() * dpmm, mm.y() * dpmm, mm.width() * dpmm, mm.height() * dpmm);
    const QColor ink(40, 50, 160); // ballpoint
    p.setPen(d.strokes ? QPen(ink, std::max(2.0, 0.5 * dpmm)) : QPen(Qt::NoPen));
    p.setBrush(d.strokes ? QBrush() : QBrush(ink));
    QPolygonF line;
    for (int i = 0; i <= d.strokes; ++i) line << QPointF(r.left() + r.width() * i / std::max(d.strokes, 1), i % 2 ? r.bottom() : r.top());
    d.strokes ? p.drawPolyline(line) : p.drawEllipse(r);
    return out;
}

const Damage kDamages[] = {
    {.name = "skew05", .skew = 0.5}, {.name = "skewMinus1", .skew = -1.0}, {.name = "skew3", .skew = 3.0},
    {.name = "clockwiseNotTurnedBack", .turn = 90}, {.name = "counterClockwiseNotTurnedBack", .turn = -90},
    {.name = "upsideDown", .mirrorX = true, .mirrorY = true}, {.name = "mirrored", .mirrorX = true},
    {.name = "mirroredVertically", .mirrorY = true},
    {.name = "scribbledTopMarkers", .area = [](const CardLayout& l) { return QRectF(14, 9.5, l.grid.right() - 10, 4); }, .strokes = 40},
    {.name = "scribbledSideMarkers", .area = [](const CardLayout& l) { return QRectF(9, 30, 5, l.codeField.bottom() - 28); }, .strokes = 30},
    {.name = "blotOnTopMarker", .area = [](const CardLayout& l) { return QRectF(l.grid.left() - 2, 9, 5, 5); }},
    {.name = "scribbledCodeField", .area = [](const CardLayout& l) { return l.codeField.adjusted(1, 0.5, -8, -0.5); }, .strokes = 9},
    {.name = "strokeAcrossBits", .area = [](const CardLayout& l) { return QRectF(l.codeField.left() + 1, l.codeField.top() + 5.8, 20, 0.6); }, .strokes = 1},
    {.name = "strokeOverBars", .area = [](const CardLayout& l) { return QRectF(l.codeField.left() + 3, l.codeField.top() + 1.6, 12, 0.5); }, .strokes = 1},
    {.name = "blotOverBits", .area = [](const CardLayout& l) { return QRectF(l.bars[1].center().x() - 2.5, l.codeField.top() + 4, 5, 4); }},
};

class DamagedCard : public ::testing::TestWithParam<Damage> {};

} // namespace

TEST(CodeField, ReadsBarsAndBitsMostSignificantFirstOrRefuses) {
    // Weight 2^31 is skipped.
    EXPECT_EQ(QList<int>({Bin2Dec("00101"), Bin2Dec({}), Bin2Dec("1x1"), Bin2Dec("1" + QString(31, u'0')),
                          Bin2Dec(QString(32, u'1')), Bin2Dec("1" + QString(30, u'0') + "1")}),
              QList<int>({5, 0, 5, 0, 2147483647, 1}));
    QImage low = Field(QStringLiteral("111")); // bars begin one row below the bar row
    Box(low, 0, 0, 100, 4, Qt::white);
    QImage intoMargin = Field(QStringLiteral("11"));
    Box(intoMargin, 85, 0, 8, 12); // screen 85..92 = columns 86..93, past 100 - 10
    Box(intoMargin, 84, 24, 10, 12);
    QImage atLimit = Field(QStringLiteral("11"));
    Box(atLimit, 84, 0, 5, 12); // columns 85..89: white at column 90 still ends it
    QImage atEdge = Filled(100, 40);
    Box(atEdge, 0, 0, 3, 12); // columns 1..3: centre 1 + Int(3 / 2)
    Box(atEdge, 0, 24, 2, 12);
    // Refused exactly when no id is read.
    const struct { const char* name; QImage field; QString bits; int id, barCount; } cases[] = {
        {"nineteen", Field(QStringLiteral("10011")).convertToFormat(QImage::Format_Grayscale8), QStringLiteral("10011"), 19, 5},
        {"noBarOnGreyPaper", Filled(100, 40, QColor(201, 201, 201)), QString(), 0, 0}, {"empty", QImage(), QString(), 0, 0},
        {"allZero", Field(QStringLiteral("000")), QStringLiteral("000"), 0, 3},
        {"barsTooLow", low, QString(), 0, 0},
        {"barIntoTheMargin", intoMargin, QStringLiteral("11"), 3, 2},
        {"barEndingAtTheLimit", atLimit, QStringLiteral("110"), 6, 3},
        {"barAtTheLeftEdge", atEdge, QStringLiteral("1"), 1, 1},
        {"hundredBars", ManyBars(100), QString(100, u'1'), 2147483647, 100},
        {"hundredAndOneBars", ManyBars(101), QString(100, u'1'), 0, 101},
        {"fourRowsHigh", ManyBars(1, 4), QStringLiteral("1"), 1, 1}, // bit row and margin 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CodeFieldResult r = ReadCodeField(c.field);
        EXPECT_EQ(std::tuple(r.bits, r.id, r.barCount), std::tuple(c.bits, c.id, c.barCount));
        EXPECT_EQ(r.refusal.isEmpty(), c.id != 0) << r.refusal.toStdString();
    }
    // Column (1-based) of a bar's centre: start + Int((end - start) / 2).
    EXPECT_EQ(ReadCodeField(Field(QStringLiteral("1"))).bars.at(0).centre, 6 + 2);
    EXPECT_TRUE(ReadCodeField(ManyBars(101)).refusal.contains(QStringLiteral("zbyt wiele")));
    // Refused: a spot over two columns beside a bar in its band (past the last too), a bit over a quarter pitch off (bar 2: 17..20); bar 2 three rows longer is alike, six not; a trace under bar 2 as wide as the pitch is not a bit.
    for (const auto& [spot, plausible] : {std::pair{QRect(15, 2, 1, 1), true}, {QRect(14, 2, 1, 1), false},
                                          {QRect(10, 2, 1, 1), true}, {QRect(11, 2, 1, 1), false},
                                          {QRect(20, 28, 6, 8), true}, {QRect(21, 28, 6, 8), false}, {QRect(17, 12, 4, 3), true}, {QRect(17, 12, 4, 6), false},
                                          {QRect(14, 0, 1, 1), false}, {QRect(0, 2, 1, 1), false}, {QRect(60, 2, 1, 1), false},
                                          {QRect(13, 28, 11, 4), true}, {QRect(13, 28, 12, 4), false}}) {
        QImage field = Field(QStringLiteral("10"));
        Box(field, spot.x(), spot.y(), spot.width(), spot.height());
        EXPECT_EQ(ImplausibleCodeFieldText(field, ReadCodeField(field)).isEmpty(), plausible) << spot.x();
    }
    QImage joined = Field(QStringLiteral("1")); // one bar, running down into its bit cell
    Box(joined, 5, 12, 4, 12);
    EXPECT_TRUE(ImplausibleCodeFieldText(joined, ReadCodeField(joined)).contains(QStringLiteral("sięga pola bitu")));
    QImage slanted = Field(QStringLiteral("10")); // a thin slanted stroke under bar 2 is one pixel of the bit row
    for (int k = 0; k < 12; ++k) Box(slanted, 12 + k, 24 + k, 1, 1);
    EXPECT_TRUE(ImplausibleCodeFieldText(slanted, ReadCodeField(slanted)).isEmpty());
    QImage close = Filled(100, 40); // bars 6 and 4 wide a pixel apart: the wide one reaches past the pitch
    Box(close, 5, 0, 6, 12), Box(close, 12, 0, 4, 12), Box(close, 4, 24, 8, 12);
    EXPECT_TRUE(ImplausibleCodeFieldText(close, ReadCodeField(close)).contains(QStringLiteral("różne rozmiary")));
    QImage wide = Filled(100, 40); // bars 10 wide; a spur 3 past bar 1 on the row under the bar row is a stroke in their band
    Box(wide, 5, 0, 10, 12), Box(wide, 25, 0, 10, 12), Box(wide, 45, 0, 10, 12), Box(wide, 15, 4, 3, 1), Box(wide, 4, 24, 12, 12);
    EXPECT_TRUE(ImplausibleCodeFieldText(wide, ReadCodeField(wide)).contains(QStringLiteral("jednym wierszu")));
}

// The banded searches give the plain ones' markers, trace and progress, on cards and on spots.
TEST(MarkerSearch, MatchesThePlainSearchesTraceAndProgress) {
    QImage striped = Filled(230, 300);
    for (int y = 15; y < 300; y += 23) Box(striped, 0, y, 230, 2);
    QImage boxes = Filled(200, 260);
    Box(boxes, 30, 40, 4, 12);
    Box(boxes, 90, 40, 4, 12), Box(boxes, 192, 40, 4, 12); // the last in the right margin, never searched
    Box(boxes, 25, 100, 9, 3);
    QImage crossing = Filled(300, 400); // the first top marker's column holds all four side spots
    for (int x : {60, 110, 250}) Box(crossing, x, 25, 4, 5);
    for (int y : {100, 200, 300}) Box(crossing, 60, y, 4, 5);
    QImage narrow = Filled(40, 300); // a band of one column
    for (int y : {19, 100, 150, 279}) Box(narrow, 19, y, 2, 4); // the first from the first row searched, the last at the last
    const QImage card = RenderCard(SampleCard(19), CardStyle{}, 150);
    int n = 0;
    for (const QImage& picture :
         {card, card.mirrored(true, true), MarkerCard(), MarkerCard(13).convertToFormat(QImage::Format_RGB888), boxes, striped, crossing, narrow}) {
        SCOPED_TRACE(n++);
        const Plain plain = PlainSearch(picture);
        std::vector<int> progress;
        const MarkerSearch s = FindMarkers(picture.convertToFormat(QImage::Format_RGB32),
                                           [&](int percent) { progress.push_back(percent); });
        const auto all = [](const MarkerResult& m) {
            return QList<int>({m.topMarker1X, m.topMarker2X, m.topMarker3X, m.sideMarker1Y, m.sideMarker2Y,
                               m.sideMarker3Y, m.sideMarker4Y});
        };
        EXPECT_TRUE(all(s.markers) == all(plain.markers) && progress == plain.progress && RecogniseCard(picture).trace == plain.trace);
        // The rows handed to the bitmap writer carry the same trace.
        const SearchTrace rows(s);
        QImage bgr = picture.convertToFormat(QImage::Format_RGB888).rgbSwapped();
        for (int y = 0; y < bgr.height(); ++y) rows.paintRow(y, bgr.scanLine(y));
        EXPECT_TRUE(bgr.rgbSwapped().convertToFormat(QImage::Format_RGB32) == plain.trace);
    }
    EXPECT_EQ(FindMarkers(crossing).markers.sideMarker1Y, 400 - 25);
    EXPECT_NE(FindMarkers(narrow).markers.sideMarker4Y, 0);
}

// MarkerCard with `more` drawn: what is no card's markers is refused with why; dark is a sum below 300.
TEST(MarkerSearch, SpotsAreMarkersOnlyWhenSolidAlikeLinedUpAndPlacedAsOnACard) {
    const struct {
        int t, top;
        std::function<void(QImage&)> more;
        const char* refusal; // nullptr: found
    } cases[] = {
        {2, 20, {}, nullptr}, // the thinnest the searches see
        {6, 20, {}, nullptr}, // length twice the thickness
        {6, 20, [](QImage& c) { Box(c, 51, 32, 1, 30); }, nullptr}, // a marker is measured through its middle, not along a tail
        {2, 20, [](QImage& c) { Box(c, 32, 81, 30, 1); }, nullptr},
        {6, 20, [](QImage& c) { Box(c, 50, 20, 6, 1, Qt::white); }, "Górny marker 1 nie jest markerem karty: ciemny ślad 6×11 pikseli"},
        {2, 20, [](QImage& c) { Box(c, 20, 80, 12, 4); }, nullptr},
        {2, 20, [](QImage& c) { Box(c, 20, 80, 1, 5); }, "Boczny marker 1 "}, // measured where the search met it
        {2, 20, [](QImage& c) { Box(c, 25, 82, 1, 10); }, "Boczny marker 1 nie jest"}, // and through its middle (a tail off it is not)
        {2, 20, [](QImage& c) { Box(c, 20, 80, 12, 5); }, "Boczny marker 1 ma inny rozmiar (12×5 pikseli) niż pozostałe markery (12×2)."},
        {2, 20, [](QImage& c) { Box(c, 50, 20, 5, 12); }, "Górny marker 1 ma inny rozmiar (5×12 pikseli)"},
        {2, 20, [](QImage& c) { Box(c, 50, 20, 17, 40); }, "Markery są za grube"}, // a scan of too many dpi
        {2, 20, [](QImage& c) { Box(c, 50, 20, 17, 400); }, "ciemny ślad 17×400 pikseli"}, // as long as the run cap: a line, no hint
        {2, 20, [](QImage& c) { Box(c, 50, 20, 20, 20); }, "Górny marker 1 nie jest markerem karty: ciemny ślad 20×20 pikseli"},
        {2, 20, [](QImage& c) { Box(c, 50, 20, 2, 12, Qt::white), Box(c, 28, 20, 2, 12); }, "markery górne i boczne zachodzą na siebie"},
        {2, 20, [](QImage& c) { Box(c, 300, 20, 2, 12, Qt::white), Box(c, 103, 20, 2, 12); }, "siatka 23×220 pikseli jest za mała"},
        {2, 20, [](QImage& c) { Box(c, 300, 20, 2, 2, Qt::white); }, nullptr},
        {2, 20, [](QImage& c) { Box(c, 20, 80, 2, 2, Qt::white); }, nullptr}, // a side marker as far in
        {2, 20, [](QImage& c) { Box(c, 300, 20, 2, 3, Qt::white); }, "Markery nie leżą w jednej linii: karta jest skręcona o około 0,7°."},
        // Off by 3 pixels: the middle top marker (the last by 1), the 2nd side marker (the 3rd and 4th by 1), the 3rd side marker.
        {2, 20, [](QImage& c) { Box(c, 80, 20, 2, 3, Qt::white), Box(c, 300, 20, 2, 1, Qt::white); }, "Markery nie leżą w jednej linii"},
        {2, 20, [](QImage& c) { Box(c, 20, 300, 3, 2, Qt::white), Box(c, 20, 340, 1, 2, Qt::white), Box(c, 20, 380, 1, 2, Qt::white); }, "nie leżą w jednej linii"},
        {2, 20, [](QImage& c) { Box(c, 20, 340, 3, 2, Qt::white); }, "Markery nie leżą w jednej linii"},
        {2, 30, {}, "siatka nie leży w równej odległości od markerów górnych (50) i bocznych (60)"},
        {2, 52, [](QImage& c) { Box(c, 50, 52, 32, 12, Qt::white), Box(c, 33, 52, 2, 12), Box(c, 44, 53, 2, 12); }, // 4 px of 24: over 15 % (from the first)
         "siatka nie leży w równej odległości od markerów górnych (28) i bocznych (24)"},
        {2, 20, [](QImage& c) { Box(c, 20, 340, 12, 2, Qt::white), Box(c, 20, 365, 12, 2), Box(c, 300, 20, 2, 12, Qt::white), Box(c, 104, 20, 2, 12); },
         "pole kodujące nie leży pod siatką"}, // a grid 24 pixels wide (twice the markers' length) is not too small
        {2, 20, [](QImage& c) { Box(c, 80, 20, 2, 12, QColor(100, 100, 99)); }, nullptr},
        {2, 20, [](QImage& c) { Box(c, 80, 20, 2, 12, QColor(100, 100, 100)); }, "Brak markera(ów) na obrazie\rPoczątek siatki (Oś X)\rDługość siatki (Oś X)\rZmień"},
        {2, 20, [](QImage& c) { Box(c, 20, 300, 12, 2, QColor(100, 100, 99)); }, nullptr},
        {2, 20, [](QImage& c) { Box(c, 20, 300, 12, 2, QColor(100, 100, 100)); }, "Brak markera(ów) na obrazie\rPoczątek siatki (Oś Y)\rWysokość siatki (Oś Y)\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.t << " " << c.top << " " << (c.refusal ? c.refusal : ""));
        QImage card = MarkerCard(c.t, c.top);
        if (c.more) c.more(card);
        const RecognitionResult r = RecogniseCard(c.t == 6 ? card.convertToFormat(QImage::Format_RGB888) : card); // any depth
        EXPECT_EQ(r.markersFound, !c.refusal) << r.refusal.toStdString();
        EXPECT_EQ(r.refusal.contains(QStringLiteral("za grube")), c.refusal && strstr(c.refusal, "za grube"));
        if (c.refusal) {
            EXPECT_TRUE(r.refusal.contains(QString::fromUtf8(c.refusal))) << r.refusal.toStdString();
            continue;
        }
        // The grid cut out one larger than between its markers, the last column and row white.
        EXPECT_EQ(r.grid.size(), QSize(221, 221));
        EXPECT_EQ(QList<QRgb>({r.grid.pixel(0, 0), r.grid.pixel(219, 219), r.grid.pixel(220, 10), r.grid.pixel(10, 220)}),
                  QList<QRgb>({kGreen, kGreen, qRgb(255, 255, 255), qRgb(255, 255, 255)}));
        EXPECT_EQ(r.codeField.size(), QSize(251, 41));
    }
}

TEST_P(CardRoundTrip, CodeGridAndMarksSurviveTheScan) {
    const ScanCase& c = GetParam();
    const CardSpec cardSpec = SampleCard(c.id, c.gestosc, c.rows);
    const CardStyle style{.page = c.rows == 40 ? QPageSize::A4 : QPageSize::A5, .paper = c.noise > 0 ? QColor(246, 241, 228) : QColor(Qt::white)};
    const CardLayout layout = LayoutCard(cardSpec, style);
    std::vector<CellMark> marks = RandomMarks(c.gestosc + 1, c.rows, quint32(c.id));
    marks.push_back({1, (marks[0].row + 2) % c.rows}); // a column over its sample size
    QImage card = RenderCard(cardSpec, style, c.dpi, marks, quint32(c.id));
    card = ApplyScanDefects(card, {.noise = c.noise, .blur = c.blur, .rotation = c.rotation, .seed = quint32(c.id)});
    if (c.jpegQuality >= 0) card = JpegRoundTrip(card, c.jpegQuality);
    if (c.rotation) RotatePicture(QImage(card), card, c.rotation > 0 ? 270 : 90); // "w Lewo", "w Prawo"
    const RecognitionResult r = RecogniseCard(card);
    ASSERT_TRUE(r.markersFound && r.codeRead) << qPrintable(r.refusal) << " bits " << qPrintable(r.code.bits);
    EXPECT_EQ(std::pair(r.code.id, r.code.bits), std::pair(c.id, layout.bits));
    // The cut-out covers the printed grid to within a pixel or two.
    const double dpmm = c.dpi / 25.4;
    EXPECT_NEAR(r.markers.topMarker2X, layout.grid.left() * dpmm, 2.0);
    EXPECT_NEAR(r.markers.sideMarker1Y, layout.grid.top() * dpmm, 2.0);
    EXPECT_NEAR(r.grid.width() - 1, layout.grid.width() * dpmm, 2.0);
    EXPECT_NEAR(r.grid.height() - 1, layout.grid.height() * dpmm, 2.0);
    // Cleaned as the station's "Konwertuj na B&W" does, the grid reads as drawn.
    QImage clean = r.grid;
    ConvertToBW(clean);
    GridGeometry grid;
    ASSERT_TRUE(UstawZakresyP(cardSpec.parameter, grid).ok());
    const auto table = ReadMeasurements(clean, cardSpec.parameter, grid, 0.2);
    ASSERT_TRUE(table.ok()) << qPrintable(table.error());
    std::ranges::sort(marks, {}, [](const CellMark& m) { return std::pair(m.section, m.row); });
    std::vector<CellMark> read;
    for (const MeasurementEntry& e : *table) read.push_back({e.section, e.row});
    EXPECT_EQ(read, marks);
}

INSTANTIATE_TEST_SUITE_P(
    Scans, CardRoundTrip,
    ::testing::Values(
        ScanCase{"a5at100", 100, 1234}, ScanCase{"a5at150", 150, 1, 1, 5}, ScanCase{"a5at200", 200, 77, 14, 20},
        ScanCase{"a5at300", 300, 2147483647}, ScanCase{"a4at100", 100, 2147483647, 20, 40},
        ScanCase{"scanA5at100", 100, 19, 9, 20, 8.0, 0.5, 70}, ScanCase{"scanA5at200", 200, 1, 1, 5, 8.0, 0.7, 80},
        ScanCase{"scanA5at150", 150, 2147483647, 14, 20, 8.0, 0.5, 75},
        ScanCase{"scanA5at300", 300, 1234, 9, 20, 8.0, 0.5, 75}, ScanCase{"scanA4at300", 300, 77, 20, 40, 8.0, 0.5, 75},
        ScanCase{"scanA4at150", 150, 4711, 20, 40, 8.0, 0.5, 75},
        ScanCase{"clockwise150", 150, 1234, 9, 20, 4.0, 0.0, 85, 90},
        ScanCase{"counterClockwise200", 200, 19, 9, 20, 4.0, 0.3, 85, -90}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(DamagedCard, IsRefusedNeverMisread) {
    for (double dpi : {100.0, 200.0, 300.0}) {
        const int id = dpi == 200.0 ? 19 : 1234;
        SCOPED_TRACE(::testing::Message() << dpi << " dpi, id " << id);
        const CardSpec cardSpec = SampleCard(id);
        const QImage card = RenderCard(cardSpec, CardStyle{}, dpi, RandomMarks(10, 20, id), id);
        const RecognitionResult r = RecogniseCard(Damaged(card, GetParam(), LayoutCard(cardSpec, CardStyle{}), dpi / 25.4));
        EXPECT_FALSE((r.markersFound && r.codeRead) || r.refusal.isEmpty()) << "read as " << r.code.id;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedCard, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

// The demonstration database's parameters by the code read: 0 or less is unreadable, not missing.
TEST(CardIdentification, FindsTheParameterAndItsProgramOrSaysWhyNot) {
    QTemporaryDir dir;
    ASSERT_FALSE(CreateDemoDatabase(dir.path()).isEmpty());
    DbConnection conn;
    ASSERT_TRUE(conn.openSqliteFile(dir.filePath(QStringLiteral("Norv.mdb"))));
    const int alternative =
        conn.query(QStringLiteral("Select ID from [SPC_Setap] Where TypKarty=2")).rows().value(0).value("ID").toInt();
    using enum IdentificationRefusal;
    for (const auto& [code, why] : {std::pair{0, UnreadableCode}, {-3, UnreadableCode}, {987654, NoParameter},
                                    {alternative, Alternative}, {1, None}}) {
        const CardIdentification r = IdentifyCard(conn, code);
        EXPECT_EQ(std::pair(r.refusal, r.identified()), std::pair(why, why == None && !r.program.eof())) << code;
    }
    // An IDP that is no whole number names no program: not the one it rounds to, nor program 0.
    ASSERT_TRUE(conn.execute(QStringLiteral("Update [SPC_Programy] Set ID=0 Where ID=2")));
    for (const char* idp : {"1.5", "-0.5", "x"}) {
        ASSERT_TRUE(conn.execute(QStringLiteral("Update [SPC_Setap] Set IDP=? Where ID=1"), {QString::fromLatin1(idp)}));
        EXPECT_EQ(IdentifyCard(conn, 1).refusal, NoProgram) << idp;
    }
}
