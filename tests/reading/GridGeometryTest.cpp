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

double Value(const Record& p, const GridGeometry& g, int row) { return RowValue(p, g, row).toDouble(); }

} // namespace

TEST(ValueDecimals, OnePlaceMoreThanTheFormatShows) {
    EXPECT_EQ(ValueDecimalsOf("0.0"), 2);
    EXPECT_EQ(ValueDecimalsOf("#,##0.000"), 4);
    EXPECT_EQ(ValueDecimalsOf("0"), 2);
    EXPECT_EQ(ValueDecimalsOf("0.00"), 3);
    EXPECT_EQ(ValueDecimalsOf(""), 1);
}

TEST(ValueRange, ExtendedRangeWidensToOuterBoundsAndDrawsRedLimits) {
    Record p = Parameter(12.0, 10.0);
    p.set("GL", 13.0);
    p.set("DL", 9.0);
    p.set("Skala", 1);
    QImage img = White(101, 201); // H = 201, k = 50.25 per unit
    const GridGeometry g = Drawn(img, p);
    EXPECT_FLOAT_EQ(g.RangeTop, 13.0f);
    EXPECT_FLOAT_EQ(g.RangeBottom, 9.0f);
    // OG at y = 201 - 3 * 50.25 = 50.25: rows 49..51, row 50 lies under a grid line.
    EXPECT_EQ(img.pixel(5, 49), kOuterLimitColour);
    EXPECT_EQ(img.pixel(5, 51), kOuterLimitColour);
    EXPECT_EQ(img.pixel(5, 50), kGridLineColour);
    EXPECT_EQ(img.pixel(5, 48), qRgb(255, 255, 255));
    // OD at y = 150.75: rows 150..152.
    EXPECT_EQ(img.pixel(5, 151), kOuterLimitColour);
    EXPECT_EQ(img.pixel(5, 152), kOuterLimitColour);
    EXPECT_EQ(img.pixel(5, 153), qRgb(255, 255, 255));
    // CzyArch alone does the same.
    p.set("Skala", 0);
    p.set("CzyArch", true);
    GridGeometry g2;
    ASSERT_TRUE(UstawZakresyP(p, g2).ok());
    EXPECT_FLOAT_EQ(g2.RangeTop, 13.0f);
}

TEST(ValueRange, WithoutExtendedRangeTheLimitsAreTheEdgesAndNoRedLine) {
    Record p = Parameter(12.0, 10.0);
    p.set("GL", 13.0);
    p.set("DL", 9.0);
    p.set("Skala", 0);
    p.set("CzyArch", false);
    QImage img = White(101, 201);
    const GridGeometry g = Drawn(img, p);
    EXPECT_FLOAT_EQ(g.RangeTop, 12.0f);
    EXPECT_FLOAT_EQ(g.RangeBottom, 10.0f);
    EXPECT_FALSE(Contains(img, kOuterLimitColour));
}

TEST(ValueRange, MissingLimitTakesControlLineOrNominal) {
    Record up = Parameter(QVariant(), 10.0);
    up.set("GLK", 11.5);
    GridGeometry g;
    ASSERT_TRUE(UstawZakresyP(up, g).ok());
    EXPECT_FLOAT_EQ(g.RangeTop, 11.5f);
    EXPECT_FLOAT_EQ(g.RangeBottom, 10.0f);
    EXPECT_DOUBLE_EQ(Value(up, g, 0), 10.038); // 10 + 0.075 / 2, half to even at 3 places
    EXPECT_DOUBLE_EQ(Value(up, g, 19), 11.462);

    Record down = Parameter(12.0, QVariant());
    down.set("WN", 11.0);
    ASSERT_TRUE(UstawZakresyP(down, g).ok());
    EXPECT_FLOAT_EQ(g.RangeTop, 12.0f);
    EXPECT_FLOAT_EQ(g.RangeBottom, 11.0f);
    EXPECT_DOUBLE_EQ(Value(down, g, 19), 11.975); // counted down from 12
    EXPECT_DOUBLE_EQ(Value(down, g, 0), 11.025);
}

TEST(ValueRange, ParameterWithoutAnyLimitIsRefused) {
    GridGeometry g;
    g.RangeTop = 5.0f;
    const QString text = UstawZakresyP(Parameter(QVariant(), QVariant()), g).error();
    EXPECT_TRUE(text.contains(QStringLiteral("OG, OD")));
    EXPECT_FLOAT_EQ(g.RangeTop, 5.0f);
    EXPECT_FALSE(RowValue(Parameter(QVariant(), QVariant()), g, 0).isValid());
    // A missing bound with no stand-in is refused too, instead of a null range.
    EXPECT_FALSE(UstawZakresyP(Parameter(12.0, QVariant()), g).ok());
}

TEST(ValueRange, LimitsThatAreNoFiniteNumberAreRefusedByName) {
    const auto with = [](Record p, const char* column, QVariant v) {
        p.set(column, v);
        return p;
    };
    const Record base = Parameter(12.0, 10.0);
    const std::pair<Record, const char*> cases[] = {
        {Parameter(1e308, -1e308), "OG"}, // beyond a 32-bit float
        {Parameter(12.0, -1e308), "OD"},
        {with(base, "GLK", std::numeric_limits<double>::infinity()), "GLK"},
        {with(base, "DLK", std::numeric_limits<double>::quiet_NaN()), "DLK"},
        {with(with(base, "Skala", 1), "GL", 1e39), "GL"},
        {with(base, "DL", -1e39), "DL"},
        {Parameter(3e38, -3e38), "OG - OD"}, // each finite, the span not
    };
    for (const auto& [p, column] : cases) {
        GridGeometry g;
        const QString text = UstawZakresyP(p, g).error();
        EXPECT_TRUE(text.startsWith(QStringLiteral("Wartość %1 parametru").arg(column))) << qPrintable(text);
    }
    GridGeometry g;
    EXPECT_TRUE(UstawZakresyP(Parameter(3e38, 1e38), g).ok());
}

TEST(RysSiatka, AbsurdCountsCostNoMoreThanThePicture) {
    // 2^31 - 1 columns and rows: lines closer than a pixel fill the grid once.
    QImage img = White(300, 200);
    const GridGeometry g = Drawn(img, Parameter(12.0, 10.0, 2147483647, 2147483647));
    EXPECT_LT(g.ColumnWidth, 1e-6f);
    EXPECT_EQ(img.pixel(150, 100), kGridLineColour);
}

TEST(RowValue, MiddleOfEachRowRoundedHalfToEven) {
    const Record p = Parameter(12.0, 10.0);
    GridGeometry g;
    ASSERT_TRUE(UstawZakresyP(p, g).ok());
    EXPECT_EQ(g.ValueDecimals, 3);
    EXPECT_DOUBLE_EQ(Value(p, g, 0), 10.05);
    EXPECT_DOUBLE_EQ(Value(p, g, 7), 10.75);
    EXPECT_DOUBLE_EQ(Value(p, g, 19), 11.95);
}

TEST(RowValue, StepComesFromTheSinglePrecisionRange) {
    // 0.2 as a 32-bit float is 0.2000000030, so row 2 is just above 0.025
    // and reads 0.03; an exact 0.2 would give the tie 0.025 and 0.02.
    const Record p = Parameter(0.2, 0.0, 20, 9, "0.0");
    GridGeometry g;
    ASSERT_TRUE(UstawZakresyP(p, g).ok());
    EXPECT_EQ(g.ValueDecimals, 2);
    EXPECT_DOUBLE_EQ(Value(p, g, 2), 0.03);
    EXPECT_DOUBLE_EQ(Value(p, g, 0), 0.01);
    // Limits stored as text are read as the program always read them.
    Record text = Parameter(QStringLiteral("12"), QStringLiteral("10"));
    ASSERT_TRUE(UstawZakresyP(text, g).ok());
    EXPECT_DOUBLE_EQ(Value(text, g, 7), 10.75);
}

TEST(RysSiatka, ColumnsRowsAndFrameInLightGrey) {
    const Record p = Parameter(12.0, 10.0, 10, 9);
    QImage img = White(501, 101);
    const GridGeometry g = Drawn(img, p);
    EXPECT_FLOAT_EQ(g.ColumnWidth, 50.0f);
    EXPECT_FLOAT_EQ(g.RowHeight, 10.0f);
    EXPECT_FLOAT_EQ(g.GridOriginX, 0.0f);
    EXPECT_FLOAT_EQ(g.GridOriginY, 100.0f);
    for (int x = 50; x <= 500; x += 50) EXPECT_EQ(img.pixel(x, 35), kGridLineColour) << x;
    EXPECT_EQ(img.pixel(49, 35), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(0, 35), kGridLineColour);
    EXPECT_EQ(img.pixel(25, 0), kGridLineColour);
    EXPECT_EQ(img.pixel(25, 100), kGridLineColour);
    EXPECT_EQ(img.pixel(25, 90), kGridLineColour);
    EXPECT_EQ(img.pixel(25, 95), qRgb(255, 255, 255));
}

TEST(RysSiatka, ControlAndCentreLinesOnlyWhenPresent) {
    Record p = Parameter(12.0, 10.0, 10, 9);
    p.set("GLK", 11.5);
    p.set("DLK", 10.5);
    QImage img = White(501, 101);
    Drawn(img, p);
    EXPECT_TRUE(Contains(img, kControlLineColour));
    EXPECT_FALSE(Contains(img, kCentreLineColour)) << "null LS draws nothing";
    // GLK at y = 101 - 1.5 * 50.5 = 25.25: rows 24..26, below every grid line.
    EXPECT_EQ(img.pixel(25, 24), kControlLineColour);
    EXPECT_EQ(img.pixel(25, 26), kControlLineColour);
    p.set("LS", 11.0);
    Drawn(img, p);
    EXPECT_TRUE(Contains(img, kCentreLineColour));
}

TEST(RysSiatka, StepWithMissingInputIsSkipped) {
    Record p = Parameter(10.0, 10.0, 10, 9); // no value span: no limit lines
    p.set("Gestosc", QVariant());
    p.set("GLK", 10.0);
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
}
