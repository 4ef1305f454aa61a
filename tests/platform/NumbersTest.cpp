#include "platform/Numbers.h"

#include <gtest/gtest.h>

using namespace kartovo;

TEST(Numbers, ValRoundingAndShortestText) {
    // Val reads the longest leading number.
    const std::pair<const char*, double> val[] = {{"20%", 20},  {"  7x", 7}, {"", 0},      {"-3%", -3}, {"abc", 0},
                                                  {"-", 0},     {"2.5 cm", 2.5}, {".5", 0.5}, {"1e", 1}, {"1e2x", 100}};
    for (const auto& [text, value] : val) EXPECT_DOUBLE_EQ(Val(QString::fromLatin1(text)), value) << text;
    // CInt rounds halves to even; the narrow conversions saturate.
    EXPECT_EQ(CInt(2.5), 2);
    EXPECT_EQ(CInt(3.5), 4);
    EXPECT_EQ(CInt(-2.5), -2);
    EXPECT_EQ(CInt(2.5000001), 3);
    EXPECT_EQ(CInt16(1e9), 32767);
    EXPECT_EQ(CLng(-1e12), INT32_MIN);
    // RoundHalfEven works on the decimal value, not the binary one.
    const struct {
        double value;
        int digits;
        double rounded;
    } half[] = {{10.05, 1, 10.0}, {10.15, 1, 10.2}, {10.75, 3, 10.75}, {0.125, 2, 0.12}, {-0.135, 2, -0.14}, {1.23456, 3, 1.235}};
    for (const auto& h : half) EXPECT_DOUBLE_EQ(RoundHalfEven(h.value, h.digits), h.rounded) << h.value;
    EXPECT_EQ(ShortestText(20), QStringLiteral("20"));
    EXPECT_EQ(ShortestText(-3), QStringLiteral("-3"));
    EXPECT_EQ(ShortestText(19.5), QStringLiteral("19.5"));
}
