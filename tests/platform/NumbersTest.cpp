#include "platform/Numbers.h"

#include <gtest/gtest.h>

using namespace kartovo;

TEST(Val, ReadsTheLongestLeadingNumber) {
    EXPECT_EQ(Val(QStringLiteral("20%")), 20);
    EXPECT_EQ(Val(QStringLiteral("  7x")), 7);
    EXPECT_EQ(Val(QString()), 0);
    EXPECT_EQ(Val(QStringLiteral("-3%")), -3);
    EXPECT_EQ(Val(QStringLiteral("abc")), 0);
    EXPECT_EQ(Val(QStringLiteral("-")), 0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("2.5 cm")), 2.5);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("1e")), 1);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("1e2x")), 100);
}

TEST(CInt, RoundsHalvesToEven) {
    EXPECT_EQ(CInt(2.5), 2);
    EXPECT_EQ(CInt(3.5), 4);
    EXPECT_EQ(CInt(-2.5), -2);
    EXPECT_EQ(CInt(2.5000001), 3);
    EXPECT_EQ(CInt16(1e9), 32767);
    EXPECT_EQ(CLng(-1e12), INT32_MIN);
}

TEST(RoundHalfEven, UsesTheDecimalValue) {
    EXPECT_DOUBLE_EQ(RoundHalfEven(10.05, 1), 10.0);
    EXPECT_DOUBLE_EQ(RoundHalfEven(10.15, 1), 10.2);
    EXPECT_DOUBLE_EQ(RoundHalfEven(10.75, 3), 10.75);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.125, 2), 0.12);
    EXPECT_DOUBLE_EQ(RoundHalfEven(-0.135, 2), -0.14);
    EXPECT_DOUBLE_EQ(RoundHalfEven(1.23456, 3), 1.235);
}

TEST(ShortestText, HasNoTrailingZeros) {
    EXPECT_EQ(ShortestText(20), QStringLiteral("20"));
    EXPECT_EQ(ShortestText(-3), QStringLiteral("-3"));
    EXPECT_EQ(ShortestText(19.5), QStringLiteral("19.5"));
}
