#include "recognition/CardFixtures.h"

#include "recognition/CodeField.h"

#include <gtest/gtest.h>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

// A 100 x 40 field, bars 4 wide every 12 from x = 5: bar row is screen row
// 3, the margin Int(40/4) = 10 columns, the bit row screen row 30.
QImage Field(const QString& bits) {
    QImage img = Blank(100, 40);
    for (int i = 0; i < bits.size(); ++i) {
        Box(img, 5 + i * 12, 0, 4, 12);
        if (bits[i] == u'1') Box(img, 4 + i * 12, 24, 6, 12);
    }
    return img;
}

// `count` bars 1 px wide every 3 px on a field 8 px high (margin 2), every bit black.
QImage ManyBars(int count) {
    QImage img = Blank(500, 8);
    for (int i = 0; i < count; ++i) Box(img, 2 + 3 * i, 0, 1, 8);
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

TEST(CodeField, ReadsBarsAndBitsOrRefuses) {
    QImage low = Blank(100, 40); // bars begin one row below the bar row
    for (int i = 0; i < 3; ++i) {
        Box(low, 5 + 12 * i, 4, 4, 10);
        Box(low, 4 + 12 * i, 24, 6, 12);
    }
    QImage intoMargin = Field(QStringLiteral("11"));
    Box(intoMargin, 85, 0, 8, 12); // screen 85..92 = columns 86..93, past 100 - 10
    Box(intoMargin, 84, 24, 10, 12);
    QImage atLimit = Field(QStringLiteral("11"));
    Box(atLimit, 84, 0, 5, 12); // columns 85..89: white at column 90 still ends it
    // Refused exactly when no id is read.
    const struct { const char* name; QImage field; QString bits; int id, barCount; } cases[] = {
        {"nineteen", Field(QStringLiteral("10011")), QStringLiteral("10011"), 19, 5},
        {"noBar", Blank(100, 40), QString(), 0, 0},
        {"allZero", Field(QStringLiteral("000")), QStringLiteral("000"), 0, 3},
        {"barsTooLow", low, QString(), 0, 0},
        {"barIntoTheMargin", intoMargin, QStringLiteral("11"), 3, 2},
        {"barEndingAtTheLimit", atLimit, QStringLiteral("110"), 6, 3},
        {"hundredBars", ManyBars(100), QString(100, u'1'), 2147483647, 100},
        {"hundredAndOneBars", ManyBars(101), QString(100, u'1'), 0, 101},
        {"empty", QImage(), QString(), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CodeFieldResult r = ReadCodeField(c.field);
        EXPECT_EQ(r.bits, c.bits);
        EXPECT_EQ(r.id, c.id);
        EXPECT_EQ(r.barCount, c.barCount);
        EXPECT_EQ(r.refusal.isEmpty(), c.id != 0) << r.refusal.toStdString();
    }
    // Column (1-based) of a bar's centre: start + Int((end - start) / 2).
    EXPECT_EQ(ReadCodeField(Field(QStringLiteral("1"))).bars.at(0).centre, 6 + 2);
    EXPECT_TRUE(ReadCodeField(ManyBars(101)).refusal.contains(QStringLiteral("zbyt wiele")));
}
