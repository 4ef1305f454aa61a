#include "ReadingFixtures.h"

#include "reading/MarkReading.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <cmath>
#include <limits>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

constexpr QRgb kInk = 0xff000000u, kPaper = 0xffffffffu;

// The rule, pixel by pixel: the window's columns x - cw/2 - 1 + i and rows
// y + rh/2 - 1 - j (i <= cw - 2, j <= rh - 2), rounded half to even; a sample
// is ink when its pixel is exactly black, paper otherwise (off the picture
// too); marked (0) when ink > threshold x paper.
int Expected(const QImage& img, float x, float y, float cw, float rh, double threshold) {
    long ink = 0, paper = 0;
    for (int i = 0; float(i) <= cw - 2.0f; ++i)
        for (int j = 0; float(j) <= rh - 2.0f; ++j) {
            const int px = int(std::nearbyint(x - cw / 2.0f - 1.0f + float(i)));
            const int py = int(std::nearbyint(rh / 2.0f + y - 1.0f - float(j)));
            (img.valid(px, py) && (img.pixel(px, py) & 0xffffffu) == 0 ? ink : paper)++;
        }
    return ink > double(paper) * threshold ? 0 : 1;
}

bool Contains(const QImage& img, QRgb colour) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == colour) return true;
    return false;
}

GridGeometry Drawn(QImage& img, const Record& p) {
    GridGeometry g;
    EXPECT_TRUE(UstawZakresyP(p, g).ok());
    SetGridEdges(g, img);
    RysSiatka(img, p, g);
    return g;
}

QImage White(int w, int h) { return SyntheticGrid{1, 1, w - 1, h - 1}.picture(); }

} // namespace

// Small pictures where every sample is known: runs of whole pixels (counted
// four at a time), halves that repeat a column, windows over the edges.
TEST(CheckCell, DecidesEveryCellByTheRule) {
    QRandomGenerator random(20261206);
    int marked = 0, empty = 0;
    for (int n = 0; n < 3000; ++n) {
        QImage img(int(random.bounded(6, 30)), int(random.bounded(6, 30)), QImage::Format_RGB32);
        const quint32 share = random.bounded(1, 8);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                img.setPixel(x, y, random.bounded(10u) < share ? kInk : random.bounded(2) ? 0xff010101u : kPaper);
        const float cw = 2.0f + float(random.bounded(64)) / 4.0f, rh = 2.0f + float(random.bounded(64)) / 4.0f;
        const float x = float(random.bounded(-16, 140)) / 4.0f, y = float(random.bounded(-16, 140)) / 4.0f;
        const double threshold = random.bounded(5) * 0.1;
        const int expected = Expected(img, x, y, cw, rh, threshold);
        ASSERT_EQ(CheckCell(img, x, y, cw, rh, threshold), expected)
            << "x " << x << " y " << y << " cw " << cw << " rh " << rh << " t " << threshold;
        (expected == 0 ? marked : empty)++;
    }
    EXPECT_GT(marked, 500);
    EXPECT_GT(empty, 500);
}

// A 12 x 11 window (cw 13, rh 12 at 20.25, 20): columns 13..24, rows 15..25,
// 132 samples. At 20 % 22 black ones against 110 are not more than the
// threshold; 23 are. Only exact black is ink, whatever its alpha.
TEST(CheckCell, ThresholdAndInkAtExactlyTheirValues) {
    QImage img(40, 40, QImage::Format_ARGB32);
    img.fill(Qt::white);
    const auto check = [&](double t) { return CheckCell(img, 20.25f, 20.0f, 13.0f, 12.0f, t); };
    for (int k = 0; k < 22; ++k) img.setPixel(13 + k % 12, 25 - k / 12, kInk);
    EXPECT_EQ(check(0.2), 1);
    for (const QRgb almost : {0xff010000u, 0xff000100u, 0xff000001u}) {
        img.setPixel(24, 15, almost);
        EXPECT_EQ(check(0.2), 1) << std::hex << almost;
    }
    img.setPixel(24, 15, 0x00000000u); // transparent black is still black
    EXPECT_EQ(check(0.2), 0);
    img.setPixel(24, 15, kPaper);
    img.setPixel(12, 15, kInk); // just outside the window
    img.setPixel(24, 26, kInk);
    EXPECT_EQ(check(0.2), 1);
    // At threshold 0 one black sample marks the cell; none leaves it empty.
    img.fill(Qt::white);
    EXPECT_EQ(check(0.0), 1);
    img.setPixel(13, 15, kInk);
    EXPECT_EQ(check(0.0), 0);
}

// The range of the grid and the values of its rows (the middle of each row,
// rounded half to even to one place more than the format shows).
TEST(ValueRange, EdgesAndRowValues) {
    struct Case {
        const char* name;
        Record p;
        float top, bottom;
        std::vector<std::pair<int, double>> rows;
    };
    const Record wide = With(With(Parameter(12.0, 10.0), "GL", 13.0), "DL", 9.0);
    const Case cases[] = {
        {"limits", Parameter(12.0, 10.0), 12, 10, {{0, 10.05}, {7, 10.75}, {19, 11.95}}},
        {"limitsAsText", Parameter("12", "10"), 12, 10, {{7, 10.75}}},
        {"outerLimitsUnused", With(wide, "CzyArch", false), 12, 10, {{0, 10.05}}},
        {"outerLimitsBySkala", With(wide, "Skala", 1), 13, 9, {{0, 9.1}}},
        {"outerLimitsByCzyArch", With(wide, "CzyArch", true), 13, 9, {{19, 12.9}}},
        {"noTopTakesGLK", With(Parameter(QVariant(), 10.0), "GLK", 11.5), 11.5, 10, {{0, 10.038}, {19, 11.462}}},
        {"noBottomTakesWN", With(Parameter(12.0, QVariant()), "WN", 11.0), 12, 11, {{0, 11.025}, {19, 11.975}}},
        // 0.2 as a 32-bit float is 0.2000000030: row 2 lies just above the tie 0.025.
        {"singlePrecisionStep", With(Parameter(0.2, 0.0), "Format", "0.0"), 0.2f, 0, {{0, 0.01}, {2, 0.03}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GridGeometry g;
        ASSERT_TRUE(UstawZakresyP(c.p, g).ok());
        EXPECT_FLOAT_EQ(g.RangeTop, c.top);
        EXPECT_FLOAT_EQ(g.RangeBottom, c.bottom);
        for (const auto& [row, value] : c.rows) EXPECT_DOUBLE_EQ(RowValue(c.p, g, row).toDouble(), value) << row;
    }
    // CzyArch as each database hands it over.
    for (const QVariant& yes : {QVariant(true), QVariant(-1), QVariant(1), QVariant("true"), QVariant("-1")})
        EXPECT_TRUE(IsExtendedRange(With(Parameter(1, 0), "CzyArch", yes))) << yes.toString().toStdString();
    for (const QVariant& no : {QVariant(false), QVariant(0), QVariant("0"), QVariant("false"), QVariant(), QVariant("")})
        EXPECT_FALSE(IsExtendedRange(With(Parameter(1, 0), "CzyArch", no))) << no.toString().toStdString();
    for (const auto& [format, decimals] : {std::pair{"0.0", 2}, {"#,##0.000", 4}, {"0", 2}, {"", 1}})
        EXPECT_EQ(ValueDecimalsOf(format), decimals) << format;
}

TEST(ValueRange, UnusableLimitsAreRefusedByName) {
    const Record base = Parameter(12.0, 10.0);
    const std::pair<Record, const char*> cases[] = {
        {Parameter(QVariant(), QVariant()), "Parametr skanowanej karty nie ma określonej górnej ani dolnej granicy (OG, OD)."},
        {Parameter(12.0, QVariant()), "Brak granicy OD oraz wartości zastępczych (DLK, WN)."},
        {Parameter(QVariant(), 10.0), "Brak granicy OG oraz wartości zastępczych (GLK, WN)."},
        {Parameter(1e308, -1e308), "Wartość OG parametru"}, // beyond a 32-bit float
        {Parameter(12.0, -1e308), "Wartość OD parametru"},
        {With(base, "GLK", std::numeric_limits<double>::infinity()), "Wartość GLK parametru"},
        {With(base, "DLK", std::numeric_limits<double>::quiet_NaN()), "Wartość DLK parametru"},
        {With(With(base, "Skala", 1), "GL", 1e39), "Wartość GL parametru"},
        {With(base, "DL", -1e39), "Wartość DL parametru"},
        {Parameter(3e38, -3e38), "Wartość OG - OD parametru"}, // each finite, the span not
    };
    for (const auto& [p, says] : cases) {
        GridGeometry g;
        const Result<void> r = UstawZakresyP(p, g);
        EXPECT_TRUE(r.error().contains(QString::fromUtf8(says))) << qPrintable(r.error());
    }
    GridGeometry g;
    EXPECT_TRUE(UstawZakresyP(Parameter(3e38, 1e38), g).ok());
    EXPECT_FALSE(RowValue(Parameter(QVariant(), QVariant()), g, 0).isValid());
}

TEST(RysSiatka, FrameColumnsRowsAndLimitLines) {
    Record p = With(With(Parameter(12.0, 10.0, 10, 9), "GLK", 11.5), "DLK", 10.5);
    QImage img = White(501, 101);
    const GridGeometry g = Drawn(img, p);
    EXPECT_FLOAT_EQ(g.ColumnWidth, 50.0f);
    EXPECT_FLOAT_EQ(g.RowHeight, 10.0f);
    EXPECT_FLOAT_EQ(g.GridOriginX, 0.0f);
    EXPECT_FLOAT_EQ(g.GridOriginY, 100.0f);
    for (int x = 0; x <= 500; x += 50) EXPECT_EQ(img.pixel(x, 35), kGridLineColour) << x;
    EXPECT_EQ(img.pixel(49, 35), kPaper);
    EXPECT_EQ(img.pixel(25, 0), kGridLineColour);
    EXPECT_EQ(img.pixel(25, 90), kGridLineColour);
    EXPECT_EQ(img.pixel(25, 95), kPaper);
    // GLK at y = 101 - 1.5 * 50.5 = 25.25: rows 24..26; no LS, no outer limits.
    EXPECT_EQ(img.pixel(25, 24), kControlLineColour);
    EXPECT_EQ(img.pixel(25, 26), kControlLineColour);
    EXPECT_FALSE(Contains(img, kCentreLineColour));
    EXPECT_FALSE(Contains(img, kOuterLimitColour));
    Drawn(img, With(p, "LS", 11.0));
    EXPECT_TRUE(Contains(img, kCentreLineColour));

    // Outer limits in red: range 9..13 over 201 rows, OG at y = 50.25 (rows
    // 49..51, 50 under a grid line), OD at 150.75 (rows 150..152).
    img = White(101, 201);
    Drawn(img, With(With(With(Parameter(12.0, 10.0), "GL", 13.0), "DL", 9.0), "Skala", 1));
    for (int y : {49, 51, 151, 152}) EXPECT_EQ(img.pixel(5, y), kOuterLimitColour) << y;
    EXPECT_EQ(img.pixel(5, 50), kGridLineColour);
    for (int y : {48, 153}) EXPECT_EQ(img.pixel(5, y), kPaper) << y;
}

TEST(RysSiatka, MissingOrAbsurdCountsAreSkippedOrFilledOnce) {
    Record p = With(With(Parameter(10.0, 10.0, 10, 9), "Gestosc", QVariant()), "GLK", 10.0); // no span
    QImage img = White(501, 101);
    GridGeometry g;
    ASSERT_TRUE(UstawZakresyP(p, g).ok());
    SetGridEdges(g, img);
    g.ColumnWidth = 7.0f;
    RysSiatka(img, p, g);
    EXPECT_FLOAT_EQ(g.ColumnWidth, 7.0f) << "kept its previous content";
    EXPECT_FLOAT_EQ(g.RowHeight, 10.0f);
    EXPECT_FALSE(Contains(img, kControlLineColour));
    EXPECT_EQ(img.pixel(50, 35), kPaper) << "no column lines";
    EXPECT_EQ(img.pixel(25, 10), kGridLineColour) << "row lines still drawn";
    // 2^31 - 1 columns and rows: lines closer than a pixel fill the grid once.
    img = White(300, 200);
    g = Drawn(img, Parameter(12.0, 10.0, 2147483647, 2147483647));
    EXPECT_LT(g.ColumnWidth, 1e-6f);
    EXPECT_EQ(img.pixel(150, 100), kGridLineColour);
}
