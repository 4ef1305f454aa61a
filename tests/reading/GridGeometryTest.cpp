#include "reading/GridGeometry.h"

#include <gtest/gtest.h>
#include <limits>

using namespace kartovo;

namespace {

Record Parameter(QVariant og, QVariant od, int rows = 20, int gestosc = 9, const QString& format = "0.00") {
    Record p;
    for (const char* c : {"GLK", "DLK", "LS", "WN", "GL", "DL", "Skala", "CzyArch"}) p.set(c, QVariant());
    p.set("OG", og);
    p.set("OD", od);
    p.set("SkalaSiatki", rows);
    p.set("Gestosc", gestosc);
    p.set("Format", format);
    return p;
}

Record With(Record p, const char* column, QVariant v) {
    p.set(column, v);
    return p;
}

QImage White(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
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

} // namespace

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
        {"singlePrecisionStep", Parameter(0.2, 0.0, 20, 9, "0.0"), 0.2f, 0, {{0, 0.01}, {2, 0.03}}},
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
    EXPECT_EQ(ValueDecimalsOf("0.0"), 2);
    EXPECT_EQ(ValueDecimalsOf("#,##0.000"), 4);
    EXPECT_EQ(ValueDecimalsOf("0"), 2);
    EXPECT_EQ(ValueDecimalsOf(""), 1);
}

TEST(ValueRange, UnusableLimitsAreRefusedByName) {
    const Record base = Parameter(12.0, 10.0);
    const std::pair<Record, const char*> cases[] = {
        {Parameter(QVariant(), QVariant()), "Parametr skanowanej karty nie ma określonej górnej ani dolnej granicy (OG, OD)."},
        {Parameter(12.0, QVariant()), "Brak granicy OD oraz wartości zastępczych (DLK, WN)."},
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
        g.RangeTop = 5.0f;
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
    EXPECT_EQ(img.pixel(49, 35), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(25, 0), kGridLineColour);
    EXPECT_EQ(img.pixel(25, 90), kGridLineColour);
    EXPECT_EQ(img.pixel(25, 95), qRgb(255, 255, 255));
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
    for (int y : {48, 153}) EXPECT_EQ(img.pixel(5, y), qRgb(255, 255, 255)) << y;
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
    EXPECT_EQ(img.pixel(50, 35), qRgb(255, 255, 255)) << "no column lines";
    EXPECT_EQ(img.pixel(25, 10), kGridLineColour) << "row lines still drawn";
    // 2^31 - 1 columns and rows: lines closer than a pixel fill the grid once.
    img = White(300, 200);
    g = Drawn(img, Parameter(12.0, 10.0, 2147483647, 2147483647));
    EXPECT_LT(g.ColumnWidth, 1e-6f);
    EXPECT_EQ(img.pixel(150, 100), kGridLineColour);
}
