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

// Column strip [left, right) of section s on P3.
std::pair<int, int> Column(const SyntheticGrid& g, int s) { return {(s - 1) * g.cw + 1, s * g.cw}; }

// The ink of `count` printed alone, normal or bold.
int ReferenceInk(int count, bool standsOut, int width) {
    SyntheticGrid g;
    Record p = GridParameter(g, standsOut ? count + 1 : count);
    QImage strip = BlankCountStrip(width);
    PrintCount(strip, 20.0f, count, p);
    return InkPixels(strip, 0, width);
}

} // namespace

TEST(Reading, EmptyCardHasNoEntriesAndEveryCountIsABlackZero) {
    const SyntheticGrid g;
    Read r;
    ReadGrid(r, BlankGrid(g), GridParameter(g, 5));
    ASSERT_TRUE(r.result.done());
    EXPECT_EQ(r.state.MeasurementCount(), 0);
    EXPECT_EQ(r.state.columnCounts(), std::vector<int>(10, 0));
    EXPECT_EQ(r.state.listLines(), QStringList{"Lp\tSekcja\tPomiar"});
    ASSERT_EQ(r.p3.size(), QSize(g.width(), 19));
    for (int s = 1; s <= g.columns; ++s) {
        const auto [a, b] = Column(g, s);
        EXPECT_GT(CountPixels(r.p3, a, b, kBlack), 0) << "section " << s;
        EXPECT_EQ(CountPixels(r.p3, a, b, kRed), 0) << "section " << s;
    }
    // P1 got its grid back but no box.
    EXPECT_EQ(r.p1.pixel(0, 5), kGridLineColour);
    EXPECT_EQ(CountPixels(r.p1, 0, r.p1.width(), kRed), 0);
}

TEST(Reading, CountsDifferingFromTheSampleSizeAreBoldRed) {
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    for (int row : {1, 3, 5, 7}) Blacken(clean, g, 2, row);         // 4 of 5
    for (int row : {0, 2, 4, 6, 8}) Blacken(clean, g, 3, row);      // 5 of 5
    Read r;
    ReadGrid(r, clean, GridParameter(g, 5));
    ASSERT_TRUE(r.result.done());
    EXPECT_EQ(r.state.columnCounts()[1], 4);
    EXPECT_EQ(r.state.columnCounts()[2], 5);
    auto [a2, b2] = Column(g, 2);
    auto [a3, b3] = Column(g, 3);
    auto [a4, b4] = Column(g, 4);
    EXPECT_EQ(CountPixels(r.p3, a2, b2, kBlack), 0);
    EXPECT_EQ(CountPixels(r.p3, a2, b2, kRed), InkPixels(r.p3, a2, b2)) << "pure red, no blending";
    EXPECT_EQ(InkPixels(r.p3, a2, b2), ReferenceInk(4, true, 40));
    EXPECT_GT(ReferenceInk(4, true, 40), ReferenceInk(4, false, 40)) << "the red count is bold";
    EXPECT_EQ(CountPixels(r.p3, a3, b3, kRed), 0);
    EXPECT_EQ(InkPixels(r.p3, a3, b3), ReferenceInk(5, false, 40));
    EXPECT_EQ(CountPixels(r.p3, a4, b4, kRed), 0) << "an empty column is a black 0";
    EXPECT_EQ(InkPixels(r.p3, a4, b4), ReferenceInk(0, false, 40));
}

TEST(Reading, IndividualValueCardsExpectOneMarkPerSection) {
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 1, 4);
    Blacken(clean, g, 2, 4);
    Blacken(clean, g, 2, 9);
    Read r;
    ReadGrid(r, clean, GridParameter(g, 5, 1));
    auto [a1, b1] = Column(g, 1);
    auto [a2, b2] = Column(g, 2);
    EXPECT_EQ(CountPixels(r.p3, a1, b1, kRed), 0);
    EXPECT_GT(CountPixels(r.p3, a1, b1, kBlack), 0);
    EXPECT_EQ(InkPixels(r.p3, a2, b2), CountPixels(r.p3, a2, b2, kRed));
    EXPECT_EQ(InkPixels(r.p3, a2, b2), ReferenceInk(2, true, 40));
    // Without a sample size nothing stands out.
    EXPECT_FALSE(CountStandsOut(3, GridParameter(g, QVariant(), 2)));
}

TEST(Reading, MarksOfOneColumnComeBottomUpWithBoxesOnTheirCells) {
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 6, 7);
    Blacken(clean, g, 6, 3);
    Blacken(clean, g, 2, 0);
    Read r;
    ReadGrid(r, clean, GridParameter(g));
    const MeasurementTable& t = r.state.measurements();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].section, 2);
    EXPECT_EQ(t[1].section, 6);
    EXPECT_EQ(t[1].row, 3);
    EXPECT_EQ(t[2].row, 7);
    EXPECT_EQ(QPoint(t[1].x, t[1].y), g.centre(6, 3));
    EXPECT_DOUBLE_EQ(t[1].value.toDouble(), 10.35);
    EXPECT_DOUBLE_EQ(t[2].value.toDouble(), 10.75);
    // Red box over the mark, half the cell's size; the rest of the cell keeps its ink.
    EXPECT_EQ(r.p1.pixel(g.centre(6, 3)), kRed);
    EXPECT_EQ(r.p1.pixel(g.centre(6, 3) + QPoint(10, 5)), kRed);
    EXPECT_EQ(r.p1.pixel(g.centre(6, 3) + QPoint(12, 0)), kBlack);
    EXPECT_EQ(r.p1.pixel(g.centre(6, 3) + QPoint(0, -6)), kBlack);
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
}

TEST(Reading, ListLinesUseThePolishDecimalCommaAndEmptyNulls) {
    EXPECT_EQ(MeasurementListLine(3, {0, 0, 7, 10.75, 2}, "0.00"), "3. \t2.\t10,75");
    EXPECT_EQ(MeasurementListLine(12, {0, 0, 7, 1234.5, 10}, "#,##0.000"), "12. \t10.\t1\u00a0234,500");
    EXPECT_EQ(MeasurementListLine(1, {0, 0, 7, QVariant(), 4}, "0.00"), "1. \t4.\t");
    // Without OD and OG the rows have no value.
    const SyntheticGrid g;
    Record p = GridParameter(g);
    GridGeometry grid = RangeOf(p);
    p.set("OG", QVariant());
    p.set("OD", QVariant());
    MeasurementTable t{{0, 0, 3, 99.0, 1}};
    ComputeValues(t, p, grid);
    EXPECT_TRUE(t[0].value.isNull());
    EXPECT_EQ(MeasurementListLines(t, "0.00").value(1), "1. \t1.\t");
}

TEST(Reading, SortIsStableBySection) {
    MeasurementTable t{{1, 1, 5, {}, 3}, {2, 2, 1, {}, 1}, {3, 3, 0, {}, 3}, {4, 4, 9, {}, 2}, {5, 5, 2, {}, 1}};
    SortujPomiary(t);
    std::vector<int> xs;
    for (const auto& e : t) xs.push_back(e.x);
    EXPECT_EQ(xs, (std::vector<int>{2, 5, 4, 1, 3}));
}

TEST(Reading, CannotBeReenteredWhileItRuns) {
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 1, 1);
    Read r;
    QImage otherP1, otherP3;
    int cells = 0;
    ReadingState::ReadResult inner;
    ReadingState::Hooks hooks;
    hooks.cell = [&] {
        if (cells++ == 5) inner = r.state.Czytaj(clean, GridParameter(g), RangeOf(GridParameter(g)), 0.2, otherP1,
                                                 otherP3, true);
    };
    ReadGrid(r, clean, GridParameter(g), true, 0.2, hooks);
    EXPECT_EQ(inner.status, ReadingState::ReadStatus::Busy);
    EXPECT_TRUE(otherP1.isNull());
    EXPECT_EQ(cells, g.columns * g.rows);
    EXPECT_TRUE(r.result.done());
    EXPECT_EQ(r.state.MeasurementCount(), 1);
    EXPECT_FALSE(r.state.running());
}

TEST(Reading, ProgressOncePerColumnUpToTheRightEdge) {
    const SyntheticGrid g;
    Read r;
    std::vector<int> percents;
    ReadingState::Hooks hooks;
    hooks.progress = [&](int p) { percents.push_back(p); };
    ReadGrid(r, BlankGrid(g), GridParameter(g), true, 0.2, hooks);
    ASSERT_EQ(percents.size(), 10u);
    EXPECT_EQ(percents.front(), 5);  // centre 20 of 400
    EXPECT_EQ(percents.back(), 95);  // centre 380
}

TEST(Reading, MoreMarksThanTheTableHoldsAreRefused) {
    // 256 x 129 cells of 4 x 4 pixels, all black: 33024 marks.
    SyntheticGrid g{256, 129, 4, 4};
    QImage clean(g.width(), g.height(), QImage::Format_RGB32);
    clean.fill(Qt::black);
    const Record p = GridParameter(g);
    Read r;
    ReadGrid(r, clean, p);
    EXPECT_EQ(r.result.status, ReadingState::ReadStatus::TooManyMarks);
    EXPECT_TRUE(r.result.message.contains("32767"));
    EXPECT_EQ(r.state.MeasurementCount(), 0);
    EXPECT_FALSE(r.state.hasReading());
    EXPECT_EQ(CountPixels(r.p1, 0, r.p1.width(), kRed), 0);
    MeasurementTable t;
    QString refusal;
    EXPECT_FALSE(ReadMeasurements(clean, p, RangeOf(p), 0.2, t, &refusal));
    EXPECT_EQ(refusal, TooManyMarksText());
    // One column fewer fits: 255 x 128 = 32640.
    SyntheticGrid fits{255, 128, 4, 4};
    QImage smaller(fits.width(), fits.height(), QImage::Format_RGB32);
    smaller.fill(Qt::black);
    EXPECT_TRUE(ReadMeasurements(smaller, GridParameter(fits), RangeOf(GridParameter(fits)), 0.2, t));
    EXPECT_EQ(t.size(), 32640u);
}

TEST(Reading, MeasurementsAsJsonTriples) {
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 4, 19);
    Blacken(clean, g, 1, 0);
    MeasurementTable t;
    ASSERT_TRUE(ReadMeasurements(clean, GridParameter(g), RangeOf(GridParameter(g)), 0.2, t));
    const QJsonArray json = MeasurementsJson(t);
    ASSERT_EQ(json.size(), 2);
    EXPECT_EQ(json[0].toArray(), (QJsonArray{1, 0, 10.05}));
    EXPECT_EQ(json[1].toArray(), (QJsonArray{4, 19, 11.95}));
    QJsonArray direct;
    EXPECT_TRUE(ReadMeasurementsJson(clean, GridParameter(g), RangeOf(GridParameter(g)), 0.2, direct));
    EXPECT_EQ(direct, json);
    MeasurementTable noValue{{0, 0, 1, QVariant(), 2}};
    EXPECT_TRUE(MeasurementsJson(noValue)[0].toArray()[2].isNull());
}

TEST(Correction, ModesExcludeEachOtherAndNameThemselves) {
    ReadingState s;
    EXPECT_EQ(s.modeText(), "");
    s.toggleEntryMode();
    EXPECT_EQ(s.modeText(), "Tryb wprowadzania.");
    s.toggleDeletionMode();
    EXPECT_EQ(s.modeText(), "Tryb usuwania.");
    EXPECT_FALSE(s.entryMode());
    s.toggleDeletionMode();
    EXPECT_EQ(s.modeText(), "");
    EXPECT_FALSE(s.entryMode() || s.deletionMode());
}

TEST(Correction, PointerCentresOnTheMarkOfTheLine) {
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 3, 2);
    Blacken(clean, g, 5, 6);
    Read r;
    ReadGrid(r, clean, GridParameter(g));
    const QPoint c = g.centre(5, 6);
    EXPECT_EQ(r.state.pointerPosition(2, QSize(16, 16)), QPoint(c.x() - 8 + 1, c.y() - 8));
    EXPECT_EQ(r.state.pointerPosition(0, QSize(16, 16)), std::nullopt);
    EXPECT_EQ(r.state.pointerPosition(3, QSize(16, 16)), std::nullopt);
}

namespace {

Record Without(const Record& p, const QString& column) {
    Record out;
    for (const QString& c : p.columns())
        if (c != column) out.set(c, p.value(c));
    return out;
}

struct UnreadableCase {
    const char* name;
    std::function<Record(Record)> parameter;
    double threshold;
    const char* says; // empty: the grid is read
};

void PrintTo(const UnreadableCase& c, std::ostream* os) { *os << c.name; }

class UnreadableGrid : public ::testing::TestWithParam<UnreadableCase> {};

Record With(Record p, const char* column, QVariant v) {
    p.set(column, v);
    return p;
}

} // namespace

TEST_P(UnreadableGrid, IsRefusedSayingWhyAndReadsNothing) {
    const UnreadableCase& c = GetParam();
    const SyntheticGrid g; // 10 x 20 cells of 40 x 20 pixels
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 2, 3);
    const Record p = c.parameter(GridParameter(g));
    Read r;
    ReadGrid(r, clean, p, true, c.threshold);
    MeasurementTable t;
    QString refusal;
    const bool read = ReadMeasurements(clean, p, RangeOf(p), c.threshold, t, &refusal);
    if (*c.says == '\0') {
        EXPECT_TRUE(r.result.done()) << qPrintable(r.result.message);
        EXPECT_TRUE(read) << qPrintable(refusal);
        EXPECT_GT(r.state.MeasurementCount(), 0);
        return;
    }
    EXPECT_EQ(r.result.status, ReadingState::ReadStatus::Refused);
    EXPECT_TRUE(r.result.message.contains(QString::fromUtf8(c.says))) << qPrintable(r.result.message);
    EXPECT_EQ(r.state.MeasurementCount(), 0);
    EXPECT_FALSE(r.state.hasReading());
    EXPECT_FALSE(read);
    EXPECT_EQ(refusal, r.result.message);
    EXPECT_TRUE(t.empty());
    GridGeometry drawn = RangeOf(p);
    SetGridEdges(drawn, r.p1);
    EXPECT_FALSE(ReadDrawnGrid(r.p1, p, drawn, c.threshold, t, &refusal));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, UnreadableGrid,
    ::testing::Values(
        UnreadableCase{"threshold20", [](Record p) { return p; }, 0.2, ""},
        UnreadableCase{"thresholdTiny", [](Record p) { return p; }, 0.0001, ""},
        UnreadableCase{"thresholdZero", [](Record p) { return p; }, 0.0, "Próg wypełnienia pola 0%"},
        UnreadableCase{"thresholdNegative", [](Record p) { return p; }, -0.5, "-50%"},
        UnreadableCase{"cellsOfFourPixels", [](Record p) { return With(p, "Gestosc", 99); }, 0.2, ""},
        UnreadableCase{"cellsUnderFourPixels", [](Record p) { return With(p, "Gestosc", 100); }, 0.2, "Gestosc parametru skanowanej karty (100) daje kolumny siatki o szerokości 3,96 piksela"},
        UnreadableCase{"hugeGestosc", [](Record p) { return With(p, "Gestosc", 2147483647); }, 0.2, "szerokości mniej niż 0,01 piksela"},
        UnreadableCase{"hugeSkalaSiatki", [](Record p) { return With(p, "SkalaSiatki", 2147483647); }, 0.2,
                       "SkalaSiatki"},
        UnreadableCase{"bothHuge",
                       [](Record p) { return With(With(p, "Gestosc", 2147483647), "SkalaSiatki", 2147483647); },
                       0.2, "Gestosc"},
        UnreadableCase{"noRows", [](Record p) { return With(p, "SkalaSiatki", 0); }, 0.2, "SkalaSiatki parametru skanowanej karty (0)"},
        UnreadableCase{"nullGestosc", [](Record p) { return With(p, "Gestosc", QVariant()); }, 0.2,
                       "nie ma określonej wartości Gestosc"},
        UnreadableCase{"noGestoscColumn", [](Record p) { return Without(p, "Gestosc"); }, 0.2,
                       "W tabeli SPC_Setap brak kolumny Gestosc"}),
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
        EXPECT_TRUE(ImplausibleMarksText(t, p).isEmpty()) << rows;
        t.push_back({0, 0, most, QVariant(), 3});
        const QString text = ImplausibleMarksText(t, p);
        EXPECT_TRUE(text.startsWith(QStringLiteral("Kolumna 3 karty ma zaznaczone %1 z %2 pól").arg(most + 1).arg(rows)))
            << qPrintable(text);
    }
}

TEST(ImplausibleMarks, BlackPaintedGridIsReadButNotAnOperatorsCard) {
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    clean.fill(Qt::black);
    const Record p = GridParameter(g);
    MeasurementTable t;
    ASSERT_TRUE(ReadMeasurements(clean, p, RangeOf(p), 0.2, t));
    EXPECT_EQ(t.size(), 200u);
    EXPECT_TRUE(ImplausibleMarksText(t, p).startsWith(QStringLiteral("Kolumna 1 karty ma zaznaczone 20 z 20 pól")));
}
