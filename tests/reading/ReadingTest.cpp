#include "ReadingFixtures.h"

#include "reading/MarkReading.h"
#include "reading/Measurements.h"
#include "reading/Plausibility.h"
#include "reading/ReadingState.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <cmath>
#include <limits>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

constexpr QRgb kInk = 0xff000000u, kBlack = kInk, kPaper = 0xffffffffu, kRed = 0xffff0000u;

// The rule: columns x - cw/2 - 1 + i, rows y + rh/2 - 1 - j (i <= cw - 2, j <= rh - 2), rounded half to
// even; ink is exact black on the picture; marked (0) when ink > threshold x paper.
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

bool Contains(const QImage& img, QRgb colour) { return Ink(img, 0, img.width(), colour) > 0; }

GridGeometry Drawn(QImage& img, const Record& p) {
    GridGeometry g;
    EXPECT_TRUE(UstawZakresyP(p, g).ok());
    SetGridEdges(g, img);
    RysSiatka(img, p, g);
    return g;
}

QImage White(int w, int h) { return SyntheticGrid{1, 1, w - 1, h - 1}.picture(); }

struct Read {
    ReadingState state;
    QImage p1, p3;
    ReadingState::ReadResult result;
    Read& operator()(const QImage& clean, const Record& p, bool values = true, double threshold = 0.2,
                     const ReadingState::Hooks& hooks = {}) {
        result = state.Czytaj(clean, p, RangeOf(p), threshold, p1, p3, values, hooks);
        return *this;
    }
};

// The ink of `count` printed alone, normal or bold.
int ReferenceInk(int count, bool standsOut) {
    QImage strip = BlankCountStrip(40);
    PrintCount(strip, 20.0f, count, GridParameter(SyntheticGrid{}, standsOut ? count + 1 : count));
    return Ink(strip, 0, 40);
}

} // namespace

// Small pictures: runs of whole pixels, halves that repeat a column, windows over the edges.
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

// A 12 x 11 window (cw 13, rh 12 at 20.25, 20): columns 13..24, rows 15..25. At 20 % 22 black
// samples against 110 are not more than the threshold; 23 are. Only exact black is ink, whatever its alpha.
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

// Row values: the middle of each row, rounded half to even to one place more than the format shows.
TEST(ValueRange, EdgesRowValuesAndRefusedLimits) {
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
        {"outerLimitsInsideOrNull", With(With(Parameter(12.0, 10.0), "GL", 11.5), "CzyArch", true), 12, 10, {{0, 10.05}}},
        {"noTopTakesGLK", With(Parameter(QVariant(), 10.0), "GLK", 11.5), 11.5, 10, {{0, 10.038}, {19, 11.462}}},
        {"noBottomTakesWN", With(Parameter(12.0, QVariant()), "WN", 11.0), 12, 11, {{0, 11.025}, {19, 11.975}}},
        // 0.2 as a 32-bit float is 0.2000000030: row 2 lies just above the tie 0.025.
        {"singlePrecisionStep", With(Parameter(0.2, 0.0), "Format", "0.0"), 0.2f, 0, {{0, 0.01}, {2, 0.03}}}};
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
    for (const QVariant& no : {QVariant(false), QVariant(0), QVariant("0"), QVariant("0.0"), QVariant("false"), QVariant(), QVariant("")})
        EXPECT_FALSE(IsExtendedRange(With(Parameter(1, 0), "CzyArch", no))) << no.toString().toStdString();
    for (const auto& [format, decimals] : {std::pair{"0.0", 2}, {"#,##0.000", 4}, {"0", 2}, {"", 1}})
        EXPECT_EQ(ValueDecimalsOf(format), decimals) << format;
    // Unusable limits are refused by name.
    const Record base = Parameter(12.0, 10.0);
    const std::pair<Record, const char*> refused[] = {
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
    for (const auto& [p, says] : refused) {
        GridGeometry g;
        const Result<void> r = UstawZakresyP(p, g);
        EXPECT_TRUE(r.error().contains(QString::fromUtf8(says))) << qPrintable(r.error());
    }
    GridGeometry g;
    EXPECT_TRUE(UstawZakresyP(Parameter(3e38, 1e38), g).ok() && !RowValue(Parameter(QVariant(), QVariant()), g, 0).isValid());
    EXPECT_FALSE(RowValue(Parameter(12.0, 10.0, 0), g, 0).isValid()) << "no rows, no value";
}

// Control lines: GLK at y = 101 - 1.5 * 50.5 = 25.25 (rows 24..26), DLK at 75.75; the outer limits
// when the range is extended: OG at 50.25 under a grid line, OD at 150.75.
TEST(RysSiatka, FrameColumnsRowsLimitLinesAndAbsurdCounts) {
    Record p = With(With(Parameter(12.0, 10.0, 10, 9), "GLK", 11.5), "DLK", 10.5);
    QImage img = White(501, 101);
    GridGeometry g = Drawn(img, p);
    EXPECT_EQ(std::tuple(g.ColumnWidth, g.RowHeight, g.GridOriginX, g.GridOriginY), std::tuple(50.f, 10.f, 0.f, 100.f));
    for (int x = 0; x <= 500; x += 50) EXPECT_EQ(img.pixel(x, 35), kGridLineColour) << x;
    for (const auto& [x, y, colour] : {std::tuple(49, 35, kPaper), {25, 0, kGridLineColour}, {25, 90, kGridLineColour},
                                       {25, 95, kPaper}, {25, 24, kControlLineColour}, {25, 26, kControlLineColour},
                                       {25, 76, kControlLineColour}, {25, 100, kGridLineColour}}) // DLK at 75.75
        EXPECT_EQ(img.pixel(x, y), colour) << x << "," << y;
    EXPECT_FALSE(Contains(img, kCentreLineColour) || Contains(img, kOuterLimitColour));
    Drawn(img, With(p, "LS", 11.0));
    EXPECT_TRUE(Contains(img, kCentreLineColour));
    img = White(101, 201).convertToFormat(QImage::Format_Grayscale8); // drawn in colour all the same
    Drawn(img, With(With(With(Parameter(12.0, 10.0), "GL", 13.0), "DL", 9.0), "Skala", 1));
    for (int y : {48, 49, 50, 51, 151, 152, 153})
        EXPECT_EQ(img.pixel(5, y), y == 50 ? kGridLineColour : y == 48 || y == 153 ? kPaper : kOuterLimitColour) << y;
    // Missing or absurd counts: lines skipped, or filling the grid once.
    p = With(With(With(Parameter(10.0, 10.0, 10, 9), "Gestosc", QVariant()), "GLK", 10.0), "SkalaSiatki", 9.5); // no span
    img = White(501, 101);
    g = GridGeometry();
    ASSERT_TRUE(UstawZakresyP(p, g).ok());
    SetGridEdges(g, img);
    g.ColumnWidth = 7.0f;
    RysSiatka(img, p, g);
    EXPECT_EQ(std::pair(g.ColumnWidth, g.RowHeight), std::pair(7.0f, 100.0f / 9.5f)) << "kept its previous content";
    EXPECT_FALSE(Contains(img, kControlLineColour));
    EXPECT_EQ(std::pair(img.pixel(50, 35), img.pixel(500, 35)), std::pair(kPaper, kGridLineColour)) << "no column lines, the frame";
    EXPECT_EQ(std::pair(img.pixel(25, 84), img.pixel(25, 95)), std::pair(kGridLineColour, kPaper)) << "row lines of the whole rows";
    g.RowHeight = 3.0f, RysSiatka(img, With(p, "SkalaSiatki", 0.0), g); // no rows: their height kept too
    EXPECT_EQ(g.RowHeight, 3.0f);
    // 2^31 - 1 columns and rows: lines closer than a pixel fill the grid once.
    img = White(300, 200);
    g = Drawn(img, Parameter(12.0, 10.0, 2147483647, 2147483647));
    EXPECT_LT(g.ColumnWidth, 1e-6f);
    EXPECT_EQ(img.pixel(150, 100), kGridLineColour);
}

// A count other than Probka (sample card) or one (individual values) is bold red; none is without a
// sample size. The grid lines drawn on P1 are never ink, even at the lowest threshold.
TEST(Reading, MarksBoxesAndCountsOfAReadGrid) {
    const SyntheticGrid g;
    QImage clean = g.picture();
    for (int row : {7, 3}) Blacken(clean, g, 2, row);
    for (int row : {0, 2, 4, 6, 8}) Blacken(clean, g, 3, row);
    Blacken(clean, g, 4, 4);
    struct Case {
        QVariant probka, typKarty;
        bool red2, red3, red4; // columns of 2, 5 and 1 marks
    };
    Read r; // one state for all: each reading starts afresh, on a picture left by a card of another size
    r.p1 = QImage(3, 3, QImage::Format_RGB32);
    for (const Case& c : {Case{5, 0, true, false, true}, Case{5, 1, true, true, false},
                          Case{QVariant(), 0, false, false, false}}) {
        SCOPED_TRACE(c.typKarty.toInt());
        ASSERT_TRUE(r(clean, GridParameter(g, c.probka, c.typKarty), true, 0.0001).result.done());
        ASSERT_TRUE(r.state.columnCounts() == (std::vector<int>{0, 2, 5, 1, 0, 0, 0, 0, 0, 0}) && r.p3.size() == QSize(g.width(), 19));
        const bool red[] = {false, c.red2, c.red3, c.red4, false, false, false, false, false, false};
        for (int s = 1; s <= g.columns; ++s) {
            const auto [a, b] = g.column(s);
            EXPECT_EQ(Ink(r.p3, a, b, kRed), red[s - 1] ? Ink(r.p3, a, b) : 0) << s;
            EXPECT_EQ(Ink(r.p3, a, b), ReferenceInk(r.state.columnCounts()[s - 1], red[s - 1])) << s;
            EXPECT_EQ(Ink(r.p3, a, (a + b) / 2) > 0, Ink(r.p3, (a + b) / 2, b) > 0) << "centred in column " << s;
        }
        // Digits 11 pixels high in DejaVu Sans: dark rows 6 to 13 of the strip.
        for (int y : {5, 6, 13, 14})
            EXPECT_EQ(Ink(r.p3.copy(0, y, g.width(), 1), 0, g.width()) > 0, y == 6 || y == 13) << y;
        const MeasurementTable& t = r.state.measurements();
        ASSERT_EQ(t.size(), 8u);
        EXPECT_EQ(std::tuple(t[0].section, t[0].row, t[1].row, t[2].section, QPoint(t[0].x, t[0].y)), std::tuple(2, 3, 7, 3, g.centre(2, 3)));
        EXPECT_DOUBLE_EQ(t[0].value.toDouble(), 10.35);
        EXPECT_DOUBLE_EQ(t[1].value.toDouble(), 10.75);
        // Red box over the mark, half the cell's size; the rest of the cell keeps its ink.
        for (const QPoint d : {QPoint(0, 0), QPoint(10, 5)}) EXPECT_EQ(r.p1.pixel(g.centre(2, 3) + d), kRed);
        for (const QPoint d : {QPoint(12, 0), QPoint(0, -6)}) EXPECT_EQ(r.p1.pixel(g.centre(2, 3) + d), kBlack);
        EXPECT_EQ(std::pair(r.p1.pixel(0, 5), r.p1.format()), std::pair(kGridLineColour, clean.format()));
        r.p1 = r.p1.convertToFormat(QImage::Format_ARGB32); // and next on one of its size in another format
    }
    EXPECT_EQ(r(clean.convertToFormat(QImage::Format_ARGB32), GridParameter(g, 5, 0)).p1.format(), QImage::Format_ARGB32); // drawn on as it is
    EXPECT_GT(ReferenceInk(4, true), ReferenceInk(4, false)) << "the red count is bold";
}

// A reading cannot be re-entered and reports progress per column; past 16 entries a sort that is not
// stable shows it; the exchange's triples are section, row, value.
TEST(Reading, ProgressListLinesSortAndExchangeTriples) {
    const SyntheticGrid g;
    QImage clean = g.picture();
    Blacken(clean, g, 2, 7);
    Read r, inner;
    int cells = 0;
    std::vector<int> percents;
    ReadingState::Hooks hooks;
    hooks.cell = [&] {
        if (cells++ == 5) inner.result = r.state.Czytaj(clean, GridParameter(g), RangeOf(GridParameter(g)), 0.2,
                                                        inner.p1, inner.p3, true);
    };
    hooks.progress = [&](int p) { percents.push_back(p); };
    r(clean, GridParameter(g), /*values=*/false, 0.2, hooks);
    EXPECT_EQ(std::tuple(inner.result.status, inner.p1.isNull(), cells), std::tuple(ReadingState::ReadStatus::Busy, true, g.columns * g.rows));
    EXPECT_TRUE(r.result.done() && !r.state.running());
    EXPECT_EQ(percents, (std::vector<int>{5, 15, 25, 35, 45, 55, 65, 75, 85, 95})); // a column's centre of 400
    EXPECT_TRUE(r.state.MeasurementCount() == 1 && r.state.measurements()[0].value.isNull() && r.state.listLines().value(1) == "1. \t2.\t");
    // The pointer of list line 1 sits on the mark; the header and lines past the table have none.
    EXPECT_EQ(r.state.pointerPosition(1, QSize(16, 16)), g.centre(2, 7) + QPoint(-8 + 1, -8));
    EXPECT_EQ(r.state.pointerPosition(1, QSize(15, 15)), g.centre(2, 7) + QPoint(-6, -8)); // 7.5 and -6.5 to even
    EXPECT_FALSE(r.state.pointerPosition(0, QSize(16, 16)) || r.state.pointerPosition(2, QSize(16, 16)));
    EXPECT_EQ(r.state.prepareList(), (QStringList{"Lp\tSekcja\tPomiar", "1. \t2.\t10,75"}));
    EXPECT_EQ(MeasurementListLine(12, {0, 0, 7, 1234.5, 10}, "#,##0.000"), "12. \t10.\t1\u00a0234,500");
    MeasurementTable t{{0, 0, 3, 99.0, 1}}; // without OD and OG the rows have no value
    ComputeValues(t, With(With(GridParameter(g), "OG", QVariant()), "OD", QVariant()), RangeOf(GridParameter(g)));
    EXPECT_EQ(MeasurementListLines(t, "0.00").value(1), "1. \t1.\t");

    t.clear();
    for (int i = 0; i < 40; ++i) t.push_back({i, 0, 0, {}, 1 + (i * 7) % 3});
    SortujPomiary(t);
    for (std::size_t i = 1; i < t.size(); ++i)
        EXPECT_LT(std::pair(t[i - 1].section, t[i - 1].x), std::pair(t[i].section, t[i].x)) << i;

    t = {{0, 0, 0, 10.05, 1}, {0, 0, 19, QVariant(), 4}};
    const QJsonArray json = MeasurementsJson(t);
    ASSERT_EQ(json.size(), 2);
    EXPECT_EQ(std::pair(json[0].toArray(), json[1].toArray()), std::pair(QJsonArray{1, 0, 10.05}, QJsonArray{4, 19, QJsonValue()}));
}

// MeasurementCount is 16-bit: 32767 marks are read, 32768 refused.
TEST(Reading, MarkCountLimitsAtTheirBoundaries) {
    const SyntheticGrid full{151, 217, 4, 4}, over{256, 128, 4, 4}; // 32767 and 32768 cells
    Read r;
    ASSERT_TRUE(r(full.picture(Qt::black), GridParameter(full)).result.done()) << qPrintable(r.result.message);
    EXPECT_EQ(r.state.MeasurementCount(), kMaxMeasurements);
    auto table = ReadMeasurements(full.picture(Qt::black), GridParameter(full), RangeOf(GridParameter(full)), 0.2);
    EXPECT_TRUE(table.ok() && table->size() == 32767u);

    r(over.picture(Qt::black), GridParameter(over));
    EXPECT_EQ(std::pair(r.result.status, r.result.message), std::pair(ReadingState::ReadStatus::TooManyMarks, TooManyMarksText()));
    EXPECT_TRUE(r.result.message.contains("32767") && r.state.MeasurementCount() == 0 && r.state.columnCounts().empty()); // no stale counts
    EXPECT_FALSE(r.state.hasReading() || Ink(r.p1, 0, r.p1.width(), kRed) + Ink(r.p3, 0, r.p3.width()) > 0 || r.p1.pixel(0, 5) != kGridLineColour); // the grid drawn
    table = ReadMeasurements(over.picture(Qt::black), GridParameter(over), RangeOf(GridParameter(over)), 0.2);
    EXPECT_EQ(table.error(), TooManyMarksText());
    // One white column more than the full grid: the entry mode may not add a 32768th mark.
    SyntheticGrid wider = full;
    ++wider.columns;
    QImage clean = wider.picture(Qt::black);
    QPainter(&clean).fillRect(QRect(full.columns * 4 - 2, 0, 8, clean.height()), Qt::white);
    ASSERT_EQ(r(clean, GridParameter(wider)).state.MeasurementCount(), kMaxMeasurements);
    r.state.toggleEntryMode();
    const QPoint c = wider.centre(wider.columns, 3);
    r.state.setMousePosition(c.x(), c.y());
    const ReadingState::ClickResult click = r.state.click(r.p1, r.p3);
    EXPECT_EQ(std::tuple(click.hit, click.change, r.state.MeasurementCount()), std::tuple(true, ReadingState::Change::None, kMaxMeasurements));
}

// Entry adds one entry per empty cell, not on grid lines; deletion takes a click inside the red box.
TEST(Reading, EntryAndDeletionCorrectTheReading) {
    using C = ReadingState::Change;
    const SyntheticGrid g;
    QImage clean = g.picture();
    for (int row = 0; row < 11; ++row) Blacken(clean, g, 2, row);
    Blacken(clean, g, 1, 5);
    Read r; // its reading of another grid before leaves nothing behind
    r(SyntheticGrid{4, 5, 55}.picture(), GridParameter(SyntheticGrid{4, 5, 55}))(clean.convertToFormat(QImage::Format_Grayscale8), GridParameter(g, 12));
    const auto click = [&](QPoint p) {
        r.state.setMousePosition(p.x(), p.y());
        return r.state.click(r.p1, r.p3).change;
    };
    const QPoint cell = g.centre(1, 0) + QPoint(-10, 6); // the first column counts too
    EXPECT_EQ(click(cell), C::None) << "no mode";
    r.state.toggleDeletionMode();
    r.state.toggleEntryMode();
    ASSERT_TRUE(r.state.entryMode() && !r.state.deletionMode());
    for (const QPoint p : {QPoint(cell.x(), g.height() - 1 - 2 * g.rh), QPoint(3 * g.cw, cell.y()), g.centre(1, 5),
                           QPoint(g.width() + 1, 10), QPoint(-1, 10)})
        EXPECT_EQ(click(p), C::None) << p.x() << "," << p.y();
    EXPECT_EQ((std::tuple{click(cell), click(cell + QPoint(2, -3))}), std::tuple(C::Added, C::None)); // in this order
    ASSERT_EQ(r.state.MeasurementCount(), 13);
    const MeasurementEntry& e = r.state.measurements()[12];
    EXPECT_EQ(std::tuple(e.section, e.row, QPoint(e.x, e.y)), std::tuple(1, 0, g.centre(1, 0)));
    EXPECT_EQ(std::pair(r.p1.pixel(g.centre(1, 0)), r.state.columnCounts()[0]), std::pair(kRed, 2));

    const auto [a, b] = g.column(2);
    const int wide = Ink(r.p3, a, b);
    r.state.toggleDeletionMode();
    ASSERT_FALSE(r.state.entryMode());
    const QPoint c = g.centre(2, 10);
    EXPECT_EQ(click(c + QPoint(g.cw / 4 + 2, 0)), C::None); // in the marked cell beside its box
    const QRect box = MarkBoxRect(r.state.grid(), float(c.x()), float(c.y())); // red two pixels out is a neighbour's
    for (const QPoint p : {QPoint(box.right(), c.y()), QPoint(c.x(), box.bottom()), QPoint(box.left(), c.y()), QPoint(c.x(), box.top())})
        EXPECT_EQ(click(p), C::None) << "on the box's edge a neighbour is not red: " << p.x() << "," << p.y();
    const QPoint out[] = {box.topLeft() - QPoint(2, 0), box.bottomRight() + QPoint(2, 0), box.topLeft() - QPoint(0, 2),
                          box.bottomRight() + QPoint(0, 2)};
    for (const QPoint p : out) r.p1.setPixel(p, kRed);
    r.p1.setPixel(box.bottomRight() + QPoint(1, 1), kRed), r.p1.setPixel(box.topLeft(), kInk); // the box drawn a pixel apart: red one out, ink in
    EXPECT_EQ(click(box.bottomLeft() + QPoint(1, -1)), C::Removed); // its red neighbours one pixel out are in the box
    EXPECT_TRUE(r.state.columnCounts()[1] == 10 && Ink(r.p1.copy(g.cell(2, 10)), 0, g.cw, kRed) == 4 && r.p1.pixel(box.topLeft()) == kPaper) << "no red left in the cell but the neighbours', the box white";
    for (const QPoint p : out) EXPECT_EQ(r.p1.pixel(p), kRed);
    EXPECT_EQ((std::tuple{Ink(r.p1.copy(g.cell(2, 9)), 0, g.cw, kRed) > 0, click(c + QPoint(3, 2))}), std::tuple(true, C::None));
    click(MarkBoxRect(r.state.grid(), float(c.x()), float(c.y() + g.rh)).topRight() + QPoint(-1, 1)); // row 9
    click(g.centre(2, 8) + QPoint(1, 1));
    ASSERT_EQ(r.state.columnCounts()[1], 8);
    // Exactly a freshly printed "8" in bold red, nothing of "11" or "10" around it.
    QImage fresh = BlankCountStrip(r.p3.width());
    PrintCount(fresh, r.state.grid().GridOriginX + 1.5f * r.state.grid().ColumnWidth, 8, GridParameter(g, 12));
    EXPECT_EQ(r.p3.copy(a, 0, b - a, 19), fresh.copy(a, 0, b - a, 19));
    EXPECT_LT(Ink(r.p3, a, b), wide);
    EXPECT_GT(Ink(r.p3, a, b, kRed), 0);
    EXPECT_GT(Ink(r.p3, 1, g.cw), 0) << "the other columns keep their counts";
    // The list sorts the new entry into its section.
    EXPECT_EQ(r.state.prepareList().mid(1, 2) << r.state.prepareList().last(), (QStringList{"1. \t1.\t10,55", "2. \t1.\t10,05", "10. \t2.\t10,75"})); // rows 10 to 8 gone
    // Half a column more (Gestosc 9.5): the part column is not read, a mark entered in it is counted.
    r(g.picture(), With(GridParameter(g), "Gestosc", 9.5)).state.toggleEntryMode();
    EXPECT_EQ((std::tuple{click(QPoint(g.width() - 3, cell.y())), r.state.columnCounts().size(), r.state.columnCounts().back(),
                           Ink(r.p3, g.width() - 20, g.width()) > 0}), std::tuple(C::Added, size_t(11), 1, true)); // printed over it
}

// Refused alike by the window's reading and the headless one.
TEST(Reading, UnreadableGridIsRefusedSayingWhy) {
    const struct {
        const char* column; // set to `value`; "-" removes Gestosc
        QVariant value;
        double threshold;
        const char* says; // empty: the grid is read
    } cases[] = {
        {"", {}, 0.2, ""},
        {"", {}, 0.0, "Próg wypełnienia pola 0%"},
        {"", {}, -0.12345678912, "pola -12,34567891% zaznacza"}, // ten digits shown
        {"Gestosc", 99, 0.2, ""}, // cells of four pixels
        {"Gestosc", 0, 0.2, ""}, // one column
        {"Gestosc", 100, 0.2, "Gestosc parametru skanowanej karty (100) daje kolumny siatki o szerokości 3,96 piksela"},
        {"Gestosc", 39999, 0.2, "szerokości 0,01 piksela"},
        {"Gestosc", 2147483647, 0.2, "szerokości mniej niż 0,01 piksela"},
        {"SkalaSiatki", 2147483647, 0.2, "SkalaSiatki"},
        {"SkalaSiatki", 0, 0.2, "SkalaSiatki parametru skanowanej karty (0)"},
        {"Gestosc", QVariant(), 0.2, "nie ma określonej wartości Gestosc"},
        {"-", {}, 0.2, "W tabeli SPC_Setap brak kolumny Gestosc"}};
    const SyntheticGrid g; // 10 x 20 cells of 40 x 20 pixels
    QImage clean = g.picture();
    for (int x = 2; x < 8; ++x) Blacken(clean, g, x, 3); // under the middle of one column too
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " " + c.value.toString().toStdString() + " " + c.says);
        Record p = GridParameter(g);
        if (*c.column == '-') {
            Record without;
            for (const QString& column : p.columns())
                if (column != "Gestosc") without.set(column, p.value(column));
            p = without;
        } else if (*c.column) {
            p.set(c.column, c.value);
        }
        Read r;
        r(clean, p, true, c.threshold);
        const auto read = ReadMeasurements(clean, p, RangeOf(p), c.threshold);
        if (*c.says == '\0') {
            EXPECT_TRUE(r.result.done() && read.ok()) << qPrintable(r.result.message);
            EXPECT_GT(r.state.MeasurementCount(), 0);
            continue;
        }
        EXPECT_EQ(r.result.status, ReadingState::ReadStatus::Refused);
        EXPECT_TRUE(r.result.message.contains(QString::fromUtf8(c.says))) << qPrintable(r.result.message);
        EXPECT_EQ(std::tuple(r.state.MeasurementCount(), r.state.hasReading(), read.error()), std::tuple(0, false, r.result.message));
        GridGeometry drawn = RangeOf(p);
        SetGridEdges(drawn, r.p1);
        EXPECT_FALSE(ReadDrawnGrid(r.p1, p, drawn, c.threshold).ok());
    }
}

TEST(ImplausibleMarks, HalfAColumnOrMoreIsNoOperatorsWork) {
    // 20 rows: 9 marks in a column may be an operator's, 10 are not; 5 rows: 2 and 3.
    for (const auto& [rows, most] : {std::pair{20, 9}, std::pair{5, 2}}) {
        const Record p = GridParameter(SyntheticGrid{10, rows});
        MeasurementTable t;
        for (int i = 0; i < most; ++i) t.push_back({0, 0, i, QVariant(), 3});
        t.push_back({0, 0, 0, QVariant(), 4}); // short of the sample size elsewhere: fine
        EXPECT_TRUE(ImplausibleMarksText(t, p).ok()) << rows;
        t.push_back({0, 0, most, QVariant(), 3});
        const QString text = ImplausibleMarksText(t, p).error();
        EXPECT_TRUE(text.startsWith(QStringLiteral("Kolumna 3 karty ma zaznaczone %1 z %2 pól").arg(most + 1).arg(rows)))
            << qPrintable(text);
    }
    EXPECT_TRUE(!ImplausibleMarksText(MeasurementTable{{0, 0, 0, QVariant(), 1}}, GridParameter(SyntheticGrid{10, 1})).ok() && // all of one row; none (0.4) is no grid to judge
                ImplausibleMarksText(MeasurementTable{{0, 0, 0, QVariant(), 1}}, With(GridParameter(SyntheticGrid{10, 1}), "SkalaSiatki", 0.4)).ok());
    // A black painted grid is read, but it is no operator's card.
    const SyntheticGrid g;
    const auto t = ReadMeasurements(g.picture(Qt::black), GridParameter(g), RangeOf(GridParameter(g)), 0.2);
    ASSERT_TRUE(t.ok() && t->size() == 200u);
    // A drawn grid in another pixel format reads alike.
    GridGeometry drawn = RangeOf(GridParameter(g));
    QImage grey = g.picture();
    Blacken(grey, g, 2, 3);
    SetGridEdges(drawn, grey);
    RysSiatka(grey, GridParameter(g), drawn);
    const auto one = ReadDrawnGrid(grey.convertToFormat(QImage::Format_Grayscale8), GridParameter(g), drawn, 0.2);
    EXPECT_TRUE(one && one->size() == 1u && (*one)[0].section == 2 && (*one)[0].row == 3);
    EXPECT_TRUE(ImplausibleMarksText(*t, GridParameter(g)).error().startsWith("Kolumna 1 karty ma zaznaczone 20 z 20 pól"));
}
