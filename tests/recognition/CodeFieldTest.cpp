#include "recognition/CardFixtures.h"

#include "recognition/CheckPoint.h"
#include "recognition/CodeField.h"

#include <gtest/gtest.h>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

// A 100 x 40 field: bar row is screen row 3, the margin Int(40/4) = 10
// columns, the bit row screen row 30.
QImage Field(const QString& bits, int firstBar = 5, int pitch = 12, int barWidth = 4) {
    QImage img = Blank(100, 40);
    for (int i = 0; i < bits.size(); ++i) {
        const int x = firstBar + i * pitch;
        Box(img, x, 0, barWidth, 12);
        if (bits[i] == u'1') Box(img, x - 1, 24, barWidth + 2, 12);
    }
    return img;
}

} // namespace

TEST(Bin2Dec, ReadsBitsMostSignificantFirst) {
    EXPECT_EQ(Bin2Dec(QStringLiteral("00101")), 5);
    EXPECT_EQ(Bin2Dec(QString()), 0);
    EXPECT_EQ(Bin2Dec(QStringLiteral("1x1")), 5);
    EXPECT_EQ(Bin2Dec(QStringLiteral("1") + QString(31, u'0')), 0) << "weight 2^31 is skipped";
    EXPECT_EQ(Bin2Dec(QString(32, u'1')), 2147483647);
    EXPECT_EQ(Bin2Dec(QStringLiteral("1") + QString(30, u'0') + QStringLiteral("1")), 1);
}

TEST(CodeField, FiveBarsReadNineteen) {
    const CodeFieldResult r = ReadCodeField(Field(QStringLiteral("10011")));
    EXPECT_EQ(r.bits, QStringLiteral("10011"));
    EXPECT_EQ(r.id, 19);
    EXPECT_EQ(r.barCount, 5);
    ASSERT_EQ(r.bars.size(), 5u);
    // Buffer column of the centre: start + Int((end - start) / 2), 1-based.
    EXPECT_EQ(r.bars[0].centre, 6 + 2);
    EXPECT_TRUE(r.refusal.isEmpty());
}

TEST(CodeField, NoBarGivesCodeZeroAndTheRefusal) {
    const CodeFieldResult r = ReadCodeField(Blank(100, 40));
    EXPECT_TRUE(r.bits.isEmpty());
    EXPECT_EQ(r.id, 0);
    EXPECT_EQ(r.refusal, QStringLiteral("Niepoprawnie odczytane pole kodujące parametr.\rZmień parametry skanowania."));
}

TEST(CodeField, BarsMustReachTheFourthRowFromTheTop) {
    QImage img = Blank(100, 40);
    for (int i = 0; i < 3; ++i) {
        Box(img, 5 + 12 * i, 4, 4, 10); // bars begin one row too low
        Box(img, 4 + 12 * i, 24, 6, 12);
    }
    EXPECT_EQ(ReadCodeField(img).id, 0);
}

TEST(CodeField, BarRunningIntoTheRightMarginIsDropped) {
    QImage img = Field(QStringLiteral("11"));
    Box(img, 85, 0, 8, 12); // screen 85..92 = buffer 86..93, past 100 - 10
    Box(img, 84, 24, 10, 12);
    CodeFieldResult r = ReadCodeField(img);
    EXPECT_EQ(r.bits, QStringLiteral("11"));
    EXPECT_EQ(r.id, 3);
    // Ending exactly at the limit (white at buffer 90) still counts.
    img = Field(QStringLiteral("11"));
    Box(img, 84, 0, 5, 12); // screen 84..88, buffer 85..89
    r = ReadCodeField(img);
    EXPECT_EQ(r.bits, QStringLiteral("110"));
}

TEST(CodeField, MoreThanHundredBarsIsRefused) {
    QImage img = Blank(500, 8); // margin 2, bars 1 px wide every 3 px
    for (int i = 0; i < 101; ++i) Box(img, 2 + 3 * i, 0, 1, 8);
    CodeFieldResult r = ReadCodeField(img);
    EXPECT_EQ(r.barCount, 101);
    EXPECT_EQ(r.id, 0);
    EXPECT_TRUE(r.refusal.contains(QStringLiteral("zbyt wiele")));
    // Exactly 100 bars fit the table (all bits black here).
    img = Blank(500, 8);
    for (int i = 0; i < 100; ++i) Box(img, 2 + 3 * i, 0, 1, 8);
    r = ReadCodeField(img);
    EXPECT_EQ(r.barCount, 100);
    EXPECT_EQ(r.bits.size(), 100);
    EXPECT_EQ(r.id, 2147483647);
    EXPECT_TRUE(r.refusal.isEmpty());
}

namespace {

// A 12 x 12 cell centred at (20, 20): the window is 11 x 11 = 121 pixels,
// screen columns 13..23 and rows 15..25.
QImage CellWithBlack(int count) {
    QImage img = Blank(40, 40);
    for (int n = 0; n < count; ++n) img.setPixel(13 + n % 11, 25 - n / 11, qRgb(0, 0, 0));
    return img;
}

} // namespace

TEST(CheckPoint, MarkedWhenBlackExceedsThresholdShareOfTheRest) {
    EXPECT_EQ(CheckPoint(CellWithBlack(21), 20, 20, 12, 12, 0.2), 0);
    EXPECT_EQ(CheckPoint(CellWithBlack(20), 20, 20, 12, 12, 0.2), 1) << "21 black vs 100 is needed";
    // The window ends at column 23: black at column 24 is not seen.
    QImage img = Blank(40, 40);
    Box(img, 24, 0, 16, 40);
    EXPECT_EQ(CheckPoint(img, 20, 20, 12, 12, 0.0), 1);
    Box(img, 23, 15, 1, 1);
    EXPECT_EQ(CheckPoint(img, 20, 20, 12, 12, 0.0), 0);
}

TEST(CheckPoint, OnlyPureBlackCountsAndOutsideIsPaper) {
    QImage img = Blank(40, 40);
    Box(img, 0, 0, 40, 40, QColor(0, 0, 1));
    EXPECT_EQ(CheckPoint(img, 20, 20, 12, 12, 0.0), 1);
    QImage corner = Blank(10, 10);
    Box(corner, 0, 0, 10, 10);
    // Window half outside the picture: 6 x 6 inside of 11 x 11.
    EXPECT_EQ(CheckPoint(corner, 2, 0, 12, 12, 0.45), 1); // 36 > 85 * 0.45 fails
    EXPECT_EQ(CheckPoint(corner, 2, 0, 12, 12, 0.4), 0);
}

TEST(CheckPoint, PixelPositionsRoundHalfToEven) {
    // x0 = 20.5 - 6 - 1 = 13.5: 13.5 and 14.5 both give 14, 15.5 gives 16,
    // so column 15 is never read (rounding halves up would read it).
    QImage img = Blank(40, 40);
    Box(img, 15, 0, 1, 40);
    EXPECT_EQ(CheckPoint(img, 20.5f, 20, 12, 12, 0.05), 1);
    Box(img, 16, 0, 1, 40);
    EXPECT_EQ(CheckPoint(img, 20.5f, 20, 12, 12, 0.05), 0);
}
