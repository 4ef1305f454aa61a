#include "platform/NumberFormat.h"

#include <gtest/gtest.h>
#include <ostream>

using namespace kartovo;

// Readable texts in failure messages.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {
const QChar kNbsp(0x00A0);

QString F(const QVariant& v, const char* format) { return FormatNumber(v, QString::fromUtf8(format)); }
QString Grouped(const char* text) { return QString::fromUtf8(text).replace(u' ', kNbsp); }
} // namespace

TEST(FormatNumber, FixedDecimalsUseTheDecimalComma) {
    EXPECT_EQ(F(12.5, "0.00"), "12,50");
    EXPECT_EQ(F(12.5, "0"), "13");
    EXPECT_EQ(F(0.25, "0.0"), "0,3");
    EXPECT_EQ(F(3, "0.000"), "3,000");
    EXPECT_EQ(F(-1.5, "0.0"), "-1,5");
    EXPECT_EQ(F(0.05, "#.00"), ",05");
}

TEST(FormatNumber, RoundsHalvesAwayFromZeroOnTheDecimalValue) {
    EXPECT_EQ(F(2.5, "0"), "3");
    EXPECT_EQ(F(-2.5, "0"), "-3");
    EXPECT_EQ(F(0.125, "0.00"), "0,13");
    EXPECT_EQ(F(2.675, "0.00"), "2,68");  // binary 2.67499999...
    EXPECT_EQ(F(1.005, "0.00"), "1,01");
    EXPECT_EQ(F(9.995, "0.00"), "10,00"); // carry into a new digit
    EXPECT_EQ(F(999.9996, "0.000"), "1000,000");
    EXPECT_EQ(F(0.0004, "0.000"), "0,000");
}

TEST(FormatNumber, NoMinusOnAResultThatShowsAsZero) {
    EXPECT_EQ(F(-0.001, "0.00"), "0,00");
    EXPECT_EQ(F(-0.005, "0.00"), "-0,01");
}

TEST(FormatNumber, GroupsOfThreeWithTheLocaleSeparator) {
    EXPECT_EQ(F(1234567.8915, "#,##0.000"), Grouped("1 234 567,892"));
    EXPECT_EQ(F(1234, "#,##0"), Grouped("1 234"));
    EXPECT_EQ(F(123, "#,##0.000"), "123,000");
    EXPECT_EQ(F(0.5, "#,##0.000"), "0,500");
    EXPECT_EQ(F(-1234.5, "#,##0.0"), Grouped("-1 234,5"));
    EXPECT_EQ(F(1234567, "Standard"), Grouped("1 234 567,00"));
    // A comma right before the point scales by a thousand instead.
    EXPECT_EQ(F(1234567, "0,.0"), "1234,6");
    EXPECT_EQ(F(1234567, "#,##0,"), Grouped("1 235"));
}

TEST(FormatNumber, OptionalDecimalsDropTrailingZerosAndADanglingSeparator) {
    EXPECT_EQ(F(12.5, "0.###"), "12,5");
    EXPECT_EQ(F(12.3456, "0.###"), "12,346");
    EXPECT_EQ(F(12, "0.###"), "12");
    EXPECT_EQ(F(12.1, "0.0#"), "12,1");
    EXPECT_EQ(F(0, "#"), "");
}

TEST(FormatNumber, IntegerPlaceholdersPadAndTakeAllDigits) {
    EXPECT_EQ(F(7, "000"), "007");
    EXPECT_EQ(F(12345, "00"), "12345");
    EXPECT_EQ(F(5, "#0.0"), "5,0");
}

TEST(FormatNumber, SectionsPercentExponentAndLiterals) {
    EXPECT_EQ(F(-3.5, "0.0;(0.0)"), "(3,5)");
    EXPECT_EQ(F(0, "0.0;(0.0);\"zero\""), "zero");
    EXPECT_EQ(F(3.5, "0.0;(0.0);\"zero\""), "3,5");
    EXPECT_EQ(F(0.125, "0.0%"), "12,5%");
    EXPECT_EQ(F(12345, "0.00E+00"), "1,23E+04");
    EXPECT_EQ(F(0.00123, "0.0E-0"), "1,2E-3");
    EXPECT_EQ(F(9.999, "0.00E+00"), "1,00E+01");
    EXPECT_EQ(F(5, "0\" mm\""), "5 mm");
    EXPECT_EQ(F(5, "\\#0"), "#5");
    EXPECT_EQ(F(1.5, "Fixed"), "1,50");
}

TEST(FormatNumber, NullsTextsAndTheGeneralFormat) {
    EXPECT_EQ(FormatNumber(QVariant(), "0.00"), "");
    EXPECT_EQ(FormatNumber(QVariant(QMetaType::fromType<double>()), "0.00"), "");
    EXPECT_EQ(F(12.5, ""), "12,5");
    EXPECT_EQ(F(0.1 + 0.2, ""), "0,3");
    EXPECT_EQ(F(1e20, ""), "1E+20");
    EXPECT_EQ(F(QStringLiteral("12.5"), "0.00"), "12,50"); // stored as text
    EXPECT_EQ(F(QStringLiteral("12,5"), "0.00"), "12,50");
    EXPECT_EQ(F(QStringLiteral("abc"), "0.00"), "abc");
    EXPECT_EQ(F(qint64(42), "0.0"), "42,0");
}

TEST(FormatNumber, OtherLocaleSeparators) {
    EXPECT_EQ(FormatNumber(1234.5, "#,##0.00", QLocale::c()), "1,234.50");
}

TEST(DisplayText, ShowsNumbersInTheLocaleAndTextsUnchanged) {
    EXPECT_EQ(DisplayText(2.5), "2,5");
    EXPECT_EQ(DisplayText(17), "17");
    EXPECT_EQ(DisplayText(QStringLiteral("AB-12.5")), "AB-12.5");
    EXPECT_EQ(DisplayText(QVariant()), "");
}
