#include "recognition/CardFixtures.h"

#include "imaging/PicMod.h"
#include "reading/MarkReading.h"
#include "recognition/Recognition.h"

#include <gtest/gtest.h>
#include <algorithm>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

struct ReadCase {
    const char* name;
    double dpi;
    double noise = 0.0;
    double blur = 0.0;
    int jpegQuality = -1;
    int rotation = 0;
};

class FilledCard : public ::testing::TestWithParam<ReadCase> {};

// Recognition, black-and-white cleaning and the grid, as the pipeline does,
// then the reading of every cell at the default threshold of 20 %.
std::vector<MarkedCell> ReadCard(const QImage& scan, const Record& parameter, GridGeometry& g) {
    const RecognitionResult r = RecogniseCard(scan);
    EXPECT_TRUE(r.codeRead) << qPrintable(r.refusal);
    QImage grid = r.grid;
    ConvertToBW(grid);
    EXPECT_TRUE(UstawZakresyP(parameter, g).isEmpty());
    SetGridEdges(g, grid);
    RysSiatka(grid, parameter, g);
    return ReadMarks(grid, g, 0.2);
}

std::vector<CellMark> Cells(const std::vector<MarkedCell>& marks) {
    std::vector<CellMark> cells;
    for (const MarkedCell& m : marks) cells.push_back({m.section, m.row});
    return cells;
}

std::vector<CellMark> Sorted(std::vector<CellMark> v) {
    std::sort(v.begin(), v.end(), [](const CellMark& a, const CellMark& b) {
        return a.section != b.section ? a.section < b.section : a.row < b.row;
    });
    return v;
}

} // namespace

TEST_P(FilledCard, ReadsExactlyTheMarkedCells) {
    const ReadCase& c = GetParam();
    for (quint32 seed : {3u, 4u}) {
        SCOPED_TRACE(seed);
        const CardSpec cardSpec = SampleCard(77, 9, 20);
        std::vector<CellMark> marks = RandomMarks(10, 20, seed);
        marks.push_back({4, (marks[3].row + 7) % 20}); // a second mark in one column
        QImage scan = RenderCard(cardSpec, CardStyle{}, c.dpi, marks, seed);
        ScanDefects d;
        d.noise = c.noise;
        d.blur = c.blur;
        d.rotation = c.rotation;
        d.seed = seed;
        scan = ApplyScanDefects(scan, d);
        if (c.jpegQuality >= 0) scan = JpegRoundTrip(scan, c.jpegQuality);
        scan = TurnBack(scan, c.rotation);
        GridGeometry g;
        const std::vector<MarkedCell> read = ReadCard(scan, cardSpec.parameter, g);
        EXPECT_EQ(Cells(read), Sorted(marks)) << "column by column, bottom row first";
    }
}

INSTANTIATE_TEST_SUITE_P(Scans, FilledCard,
                         ::testing::Values(ReadCase{"clean100", 100}, ReadCase{"clean150", 150},
                                           ReadCase{"clean200", 200}, ReadCase{"noisyJpeg100", 100, 8.0, 0.5, 70},
                                           ReadCase{"noisyJpeg150", 150, 8.0, 0.5, 75},
                                           ReadCase{"noisyJpeg200", 200, 8.0, 0.7, 80},
                                           ReadCase{"turned150", 150, 4.0, 0.0, 85, -90}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MarkReading, EmptyCardHasNoMarksAndEveryColumnIsVisited) {
    const CardSpec cardSpec = SampleCard(5, 9, 20);
    const QImage scan = JpegRoundTrip(RenderCard(cardSpec, CardStyle{}, 150), 80);
    const RecognitionResult r = RecogniseCard(scan);
    ASSERT_TRUE(r.codeRead);
    QImage grid = r.grid;
    ConvertToBW(grid);
    GridGeometry g;
    UstawZakresyP(cardSpec.parameter, g);
    SetGridEdges(g, grid);
    RysSiatka(grid, cardSpec.parameter, g);
    std::vector<float> centres;
    EXPECT_TRUE(ReadMarks(grid, g, 0.2, [&](float x, int found) {
                    centres.push_back(x);
                    EXPECT_EQ(found, 0);
                }).empty());
    ASSERT_EQ(centres.size(), 10u);
    EXPECT_NEAR(centres.front(), g.ColumnWidth / 2, 0.01);
}

TEST(MarkReading, GridLinesAreNeverInkAndEntriesKeepCellCentres) {
    // A drawn grid on white: nothing marked even at threshold 0.
    Record p;
    p.set("OG", 12.0);
    p.set("OD", 10.0);
    p.set("SkalaSiatki", 10);
    p.set("Gestosc", 4);
    p.set("Format", "0.00");
    QImage img(201, 101, QImage::Format_RGB32);
    img.fill(Qt::white);
    GridGeometry g;
    UstawZakresyP(p, g);
    SetGridEdges(g, img);
    RysSiatka(img, p, g);
    EXPECT_TRUE(ReadMarks(img, g, 0.0).empty());
    // Black cells in section 2, rows 3 and 7 (row 0 at the bottom).
    QPainter painter(&img);
    painter.fillRect(QRect(45, 100 - 40 + 2, 30, 6), Qt::black);
    painter.fillRect(QRect(45, 100 - 80 + 2, 30, 6), Qt::black);
    painter.end();
    const auto marks = ReadMarks(img, g, 0.2);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].section, 2);
    EXPECT_EQ(marks[0].row, 3);
    EXPECT_EQ(marks[1].row, 7);
    EXPECT_EQ(marks[0].x, 60);
    EXPECT_EQ(marks[0].y, 65);
}
