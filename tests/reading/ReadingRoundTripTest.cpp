#include "ReadingFixtures.h"
#include "recognition/CardFixtures.h"

#include "imaging/PicMod.h"
#include "reading/ReadingState.h"
#include "recognition/Recognition.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

enum class Cleaning { BlackAndWhite, ColourFilter };

struct TripCase {
    const char* name;
    double dpi;
    double noise = 0.0;
    double blur = 0.0;
    int jpegQuality = -1;
    Cleaning cleaning = Cleaning::BlackAndWhite;
    int rotation = 0; // the scan lies turned; the station turns it back
};

class ReadingRoundTrip : public ::testing::TestWithParam<TripCase> {};

// The value a row stands for on a 10..12 card of 20 rows, in 1/1000.
double DrawnValue(int row) { return std::round((10.0 + (row + 0.5) * 0.1) * 1000.0) / 1000.0; }

} // namespace

TEST_P(ReadingRoundTrip, EveryDrawnMarkReadsAsItsRowValue) {
    const TripCase& c = GetParam();
    for (quint32 seed : {5u, 11u}) {
        SCOPED_TRACE(seed);
        CardSpec cardSpec = SampleCard(41, 9, 20);
        cardSpec.parameter.set("Probka", 1);
        cardSpec.parameter.set("TypKarty", 2);
        std::vector<CellMark> marks = RandomMarks(10, 20, seed);
        marks.push_back({7, (marks[6].row + 9) % 20}); // two marks in section 7
        QImage scan = RenderCard(cardSpec, CardStyle{}, c.dpi, marks, seed);
        ScanDefects d;
        d.noise = c.noise;
        d.blur = c.blur;
        d.rotation = c.rotation;
        d.seed = seed;
        scan = ApplyScanDefects(scan, d);
        if (c.jpegQuality >= 0) scan = JpegRoundTrip(scan, c.jpegQuality);
        scan = TurnBack(scan, c.rotation);

        const RecognitionResult r = RecogniseCard(scan);
        ASSERT_TRUE(r.codeRead) << qPrintable(r.refusal);
        QImage clean = r.grid;
        if (c.cleaning == Cleaning::BlackAndWhite)
            ConvertToBW(clean);
        else
            FilterColors(clean, 2, 80, 80, 0); // black and blue ink kept, drop-out print removed

        ReadingState state;
        QImage p1, p3;
        const auto result =
            state.Czytaj(clean, cardSpec.parameter, RangeOf(cardSpec.parameter), 0.2, p1, p3, /*computeValues=*/true);
        ASSERT_TRUE(result.done());

        std::sort(marks.begin(), marks.end(), [](const CellMark& a, const CellMark& b) {
            return a.section != b.section ? a.section < b.section : a.row < b.row;
        });
        const MeasurementTable& t = state.measurements();
        ASSERT_EQ(t.size(), marks.size());
        for (std::size_t i = 0; i < t.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(t[i].section, marks[i].section);
            EXPECT_EQ(t[i].row, marks[i].row);
            EXPECT_NEAR(t[i].value.toDouble(), DrawnValue(marks[i].row), 1e-9);
        }
        // Section 7 holds two marks where one is expected: its count is red.
        EXPECT_EQ(state.columnCounts()[6], 2);
        EXPECT_EQ(state.columnCounts()[0], 1);
        EXPECT_TRUE(CountStandsOut(2, cardSpec.parameter));
        const int cw = static_cast<int>(state.grid().ColumnWidth);
        EXPECT_GT(CountPixels(p3, 6 * cw + 2, 7 * cw - 1, 0xffff0000u), 0);
        EXPECT_EQ(CountPixels(p3, 2, cw - 1, 0xffff0000u), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scans, ReadingRoundTrip,
    ::testing::Values(TripCase{"bw100", 100}, TripCase{"bw200", 200}, TripCase{"noisyJpeg100", 100, 8.0, 0.5, 70},
                      TripCase{"noisyJpeg200", 200, 8.0, 0.7, 80},
                      TripCase{"noisyJpegFilter150", 150, 6.0, 0.4, 75, Cleaning::ColourFilter},
                      TripCase{"turned150", 150, 4.0, 0.0, 85, Cleaning::BlackAndWhite, -90}),
    [](const auto& info) { return std::string(info.param.name); });
