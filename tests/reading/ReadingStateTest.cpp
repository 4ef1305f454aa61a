#include "ReadingFixtures.h"

#include "reading/MarkReading.h"
#include "reading/Measurements.h"
#include "reading/Plausibility.h"
#include "reading/ReadingState.h"

#include <QJsonArray>
#include <gtest/gtest.h>
#include <functional>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

constexpr QRgb kRed = 0xffff0000u;
constexpr QRgb kBlack = 0xff000000u;

struct Read {
    ReadingState state;
    QImage p1, p3;
    ReadingState::ReadResult result;
};

void ReadGrid(Read& r, const QImage& clean, const Record& parameter, bool values = true, double threshold = 0.2,
              const ReadingState::Hooks& hooks = {}) {
    r.result = r.state.Czytaj(clean, parameter, RangeOf(parameter), threshold, r.p1, r.p3, values, hooks);
}

// The ink of `count` printed alone, normal or bold.
int ReferenceInk(int count, bool standsOut) {
    SyntheticGrid g;
    QImage strip = BlankCountStrip(40);
    PrintCount(strip, 20.0f, count, GridParameter(g, standsOut ? count + 1 : count));
    return InkPixels(strip, 0, 40);
}

QImage Black(const SyntheticGrid& g) {
    QImage img(g.width(), g.height(), QImage::Format_RGB32);
    img.fill(Qt::black);
    return img;
}

} // namespace

// The marks of a column come bottom up with a red box on each; a count other
// than the expected one is bold red: Probka marks on a sample card, one on an
// individual-value card, none without a sample size; an empty column is a
// black zero. The grid lines drawn on P1 are never ink, even at the lowest
// threshold.
TEST(Reading, MarksBoxesAndCountsOfAReadGrid) {
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    for (int row : {7, 3}) Blacken(clean, g, 2, row);
    for (int row : {0, 2, 4, 6, 8}) Blacken(clean, g, 3, row);
    Blacken(clean, g, 4, 4);
    struct Case {
        QVariant probka, typKarty;
        bool red2, red3, red4; // columns of 2, 5 and 1 marks
    };
    for (const Case& c : {Case{5, 0, true, false, true}, Case{5, 1, true, true, false},
                          Case{QVariant(), 0, false, false, false}}) {
        SCOPED_TRACE(c.typKarty.toInt());
        Read r;
        ReadGrid(r, clean, GridParameter(g, c.probka, c.typKarty), true, 0.0001);
        ASSERT_TRUE(r.result.done());
        EXPECT_EQ(r.state.columnCounts(), (std::vector<int>{0, 2, 5, 1, 0, 0, 0, 0, 0, 0}));
        ASSERT_EQ(r.p3.size(), QSize(g.width(), 19));
        const bool red[] = {false, c.red2, c.red3, c.red4, false, false, false, false, false, false};
        for (int s = 1; s <= g.columns; ++s) {
            const auto [a, b] = g.column(s);
            EXPECT_EQ(CountPixels(r.p3, a, b, kRed), red[s - 1] ? InkPixels(r.p3, a, b) : 0) << s;
            EXPECT_EQ(InkPixels(r.p3, a, b), ReferenceInk(r.state.columnCounts()[s - 1], red[s - 1])) << s;
        }
        const MeasurementTable& t = r.state.measurements();
        ASSERT_EQ(t.size(), 8u);
        EXPECT_EQ(t[0].section, 2);
        EXPECT_EQ(t[0].row, 3);
        EXPECT_EQ(t[1].row, 7);
        EXPECT_EQ(t[2].section, 3);
        EXPECT_EQ(QPoint(t[0].x, t[0].y), g.centre(2, 3));
        EXPECT_DOUBLE_EQ(t[0].value.toDouble(), 10.35);
        EXPECT_DOUBLE_EQ(t[1].value.toDouble(), 10.75);
        // Red box over the mark, half the cell's size; the rest of the cell keeps its ink.
        EXPECT_EQ(r.p1.pixel(g.centre(2, 3)), kRed);
        EXPECT_EQ(r.p1.pixel(g.centre(2, 3) + QPoint(10, 5)), kRed);
        EXPECT_EQ(r.p1.pixel(g.centre(2, 3) + QPoint(12, 0)), kBlack);
        EXPECT_EQ(r.p1.pixel(g.centre(2, 3) + QPoint(0, -6)), kBlack);
        EXPECT_EQ(r.p1.pixel(0, 5), kGridLineColour);
    }
    EXPECT_GT(ReferenceInk(4, true), ReferenceInk(4, false)) << "the red count is bold";
}

TEST(Reading, ValuesWaitForTheListWhenNotAskedFor) {
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 2, 7);
    Read r;
    ReadGrid(r, clean, GridParameter(g), /*values=*/false);
    ASSERT_EQ(r.state.MeasurementCount(), 1);
    EXPECT_TRUE(r.state.measurements()[0].value.isNull());
    EXPECT_EQ(r.state.listLines().value(1), "1. \t2.\t");
    EXPECT_EQ(r.state.prepareList(), (QStringList{"Lp\tSekcja\tPomiar", "1. \t2.\t10,75"}));
    // Without OD and OG the rows have no value.
    Record noLimits = GridParameter(g);
    noLimits.set("OG", QVariant());
    noLimits.set("OD", QVariant());
    MeasurementTable t{{0, 0, 3, 99.0, 1}};
    ComputeValues(t, noLimits, RangeOf(GridParameter(g)));
    EXPECT_EQ(MeasurementListLines(t, "0.00").value(1), "1. \t1.\t");
    EXPECT_EQ(MeasurementListLine(12, {0, 0, 7, 1234.5, 10}, "#,##0.000"), "12. \t10.\t1\u00a0234,500");
    // The exchange's triples: section, row, value (null when unknown).
    t = {{0, 0, 0, 10.05, 1}, {0, 0, 19, QVariant(), 4}};
    const QJsonArray json = MeasurementsJson(t);
    ASSERT_EQ(json.size(), 2);
    EXPECT_EQ(json[0].toArray(), (QJsonArray{1, 0, 10.05}));
    EXPECT_EQ(json[1].toArray(), (QJsonArray{4, 19, QJsonValue()}));
}

// Past 16 entries a sort that is not stable shows it.
TEST(Reading, SortIsStableBySection) {
    MeasurementTable t;
    for (int i = 0; i < 40; ++i) t.push_back({i, 0, 0, {}, 1 + (i * 7) % 3});
    SortujPomiary(t);
    for (std::size_t i = 1; i < t.size(); ++i) {
        const bool ordered = t[i - 1].section < t[i].section || (t[i - 1].section == t[i].section && t[i - 1].x < t[i].x);
        EXPECT_TRUE(ordered) << i;
    }
}

TEST(Reading, CannotBeReenteredAndReportsProgressPerColumn) {
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 1, 1);
    Read r;
    QImage otherP1, otherP3;
    int cells = 0;
    std::vector<int> percents;
    ReadingState::ReadResult inner;
    ReadingState::Hooks hooks;
    hooks.cell = [&] {
        if (cells++ == 5) inner = r.state.Czytaj(clean, GridParameter(g), RangeOf(GridParameter(g)), 0.2, otherP1,
                                                 otherP3, true);
    };
    hooks.progress = [&](int p) { percents.push_back(p); };
    ReadGrid(r, clean, GridParameter(g), true, 0.2, hooks);
    EXPECT_EQ(inner.status, ReadingState::ReadStatus::Busy);
    EXPECT_TRUE(otherP1.isNull());
    EXPECT_EQ(cells, g.columns * g.rows);
    EXPECT_TRUE(r.result.done());
    EXPECT_EQ(r.state.MeasurementCount(), 1);
    EXPECT_FALSE(r.state.running());
    ASSERT_EQ(percents.size(), 10u);
    EXPECT_EQ(percents.front(), 5); // centre 20 of 400
    EXPECT_EQ(percents.back(), 95);
}

// MeasurementCount is 16-bit: 32767 marks are read, 32768 refused; a
// correction adds no entry to a full table.
TEST(Reading, MarkCountLimitsAtTheirBoundaries) {
    const SyntheticGrid full{151, 217, 4, 4}; // 32767 cells
    Read r;
    ReadGrid(r, Black(full), GridParameter(full));
    ASSERT_TRUE(r.result.done()) << qPrintable(r.result.message);
    EXPECT_EQ(r.state.MeasurementCount(), kMaxMeasurements);
    auto table = ReadMeasurements(Black(full), GridParameter(full), RangeOf(GridParameter(full)), 0.2);
    ASSERT_TRUE(table.ok());
    EXPECT_EQ(table->size(), 32767u);

    const SyntheticGrid over{256, 128, 4, 4}; // 32768 cells
    ReadGrid(r, Black(over), GridParameter(over));
    EXPECT_EQ(r.result.status, ReadingState::ReadStatus::TooManyMarks);
    EXPECT_EQ(r.result.message, TooManyMarksText());
    EXPECT_TRUE(r.result.message.contains("32767"));
    EXPECT_EQ(r.state.MeasurementCount(), 0);
    EXPECT_FALSE(r.state.hasReading());
    EXPECT_EQ(CountPixels(r.p1, 0, r.p1.width(), kRed), 0);
    table = ReadMeasurements(Black(over), GridParameter(over), RangeOf(GridParameter(over)), 0.2);
    EXPECT_EQ(table.error(), TooManyMarksText());

    // One white column more than the full grid: the entry mode may not add a 32768th mark.
    SyntheticGrid wider = full;
    ++wider.columns;
    QImage clean = Black(wider);
    QPainter(&clean).fillRect(QRect(full.columns * 4 - 2, 0, 8, clean.height()), Qt::white);
    ReadGrid(r, clean, GridParameter(wider));
    ASSERT_EQ(r.state.MeasurementCount(), kMaxMeasurements);
    r.state.toggleEntryMode();
    const QPoint c = wider.centre(wider.columns, 3);
    r.state.setMousePosition(c.x(), c.y());
    const ReadingState::ClickResult click = r.state.click(r.p1, r.p3);
    EXPECT_TRUE(click.hit);
    EXPECT_EQ(click.change, ReadingState::Change::None);
    EXPECT_EQ(r.state.MeasurementCount(), kMaxMeasurements);
}

namespace {

struct UnreadableCase {
    const char* name;
    const char* column; // set to `value`; "-" removes Gestosc
    QVariant value;
    double threshold;
    const char* says; // empty: the grid is read
};

void PrintTo(const UnreadableCase& c, std::ostream* os) { *os << c.name; }

class UnreadableGrid : public ::testing::TestWithParam<UnreadableCase> {};

} // namespace

TEST_P(UnreadableGrid, IsRefusedSayingWhyAndReadsNothing) {
    const UnreadableCase& c = GetParam();
    const SyntheticGrid g; // 10 x 20 cells of 40 x 20 pixels
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 2, 3);
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
    ReadGrid(r, clean, p, true, c.threshold);
    const auto read = ReadMeasurements(clean, p, RangeOf(p), c.threshold);
    if (*c.says == '\0') {
        EXPECT_TRUE(r.result.done()) << qPrintable(r.result.message);
        EXPECT_TRUE(read.ok()) << qPrintable(read.error());
        EXPECT_GT(r.state.MeasurementCount(), 0);
        return;
    }
    EXPECT_EQ(r.result.status, ReadingState::ReadStatus::Refused);
    EXPECT_TRUE(r.result.message.contains(QString::fromUtf8(c.says))) << qPrintable(r.result.message);
    EXPECT_EQ(r.state.MeasurementCount(), 0);
    EXPECT_FALSE(r.state.hasReading());
    EXPECT_EQ(read.error(), r.result.message);
    GridGeometry drawn = RangeOf(p);
    SetGridEdges(drawn, r.p1);
    EXPECT_FALSE(ReadDrawnGrid(r.p1, p, drawn, c.threshold).ok());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, UnreadableGrid,
    ::testing::Values(
        UnreadableCase{"threshold20", "", {}, 0.2, ""},
        UnreadableCase{"thresholdZero", "", {}, 0.0, "Próg wypełnienia pola 0%"},
        UnreadableCase{"thresholdNegative", "", {}, -0.5, "-50%"},
        UnreadableCase{"cellsOfFourPixels", "Gestosc", 99, 0.2, ""},
        UnreadableCase{"cellsUnderFourPixels", "Gestosc", 100, 0.2,
                       "Gestosc parametru skanowanej karty (100) daje kolumny siatki o szerokości 3,96 piksela"},
        UnreadableCase{"hugeGestosc", "Gestosc", 2147483647, 0.2, "szerokości mniej niż 0,01 piksela"},
        UnreadableCase{"hugeSkalaSiatki", "SkalaSiatki", 2147483647, 0.2, "SkalaSiatki"},
        UnreadableCase{"noRows", "SkalaSiatki", 0, 0.2, "SkalaSiatki parametru skanowanej karty (0)"},
        UnreadableCase{"nullGestosc", "Gestosc", QVariant(), 0.2, "nie ma określonej wartości Gestosc"},
        UnreadableCase{"noGestoscColumn", "-", {}, 0.2, "W tabeli SPC_Setap brak kolumny Gestosc"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImplausibleMarks, HalfAColumnOrMoreIsNoOperatorsWork) {
    // 20 rows: 9 marks in a column may be an operator's, 10 are not; 5 rows: 2 and 3.
    for (const auto& [rows, most] : {std::pair{20, 9}, std::pair{5, 2}}) {
        SyntheticGrid g;
        g.rows = rows;
        const Record p = GridParameter(g);
        MeasurementTable t;
        for (int i = 0; i < most; ++i) t.push_back({0, 0, i, QVariant(), 3});
        t.push_back({0, 0, 0, QVariant(), 4}); // short of the sample size elsewhere: fine
        EXPECT_TRUE(ImplausibleMarksText(t, p).ok()) << rows;
        t.push_back({0, 0, most, QVariant(), 3});
        const QString text = ImplausibleMarksText(t, p).error();
        EXPECT_TRUE(text.startsWith(QStringLiteral("Kolumna 3 karty ma zaznaczone %1 z %2 pól").arg(most + 1).arg(rows)))
            << qPrintable(text);
    }
    // A black painted grid is read, but it is no operator's card.
    const SyntheticGrid g;
    const auto t = ReadMeasurements(Black(g), GridParameter(g), RangeOf(GridParameter(g)), 0.2);
    ASSERT_TRUE(t.ok());
    EXPECT_EQ(t->size(), 200u);
    EXPECT_TRUE(ImplausibleMarksText(*t, GridParameter(g)).error().startsWith("Kolumna 1 karty ma zaznaczone 20 z 20 pól"));
}
