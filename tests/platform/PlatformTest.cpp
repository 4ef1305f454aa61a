// Texts and numbers as the main program writes and reads them.
#include "platform/Messages.h"
#include "platform/NumberFormat.h"
#include "platform/Numbers.h"

#include "common/TestHelpers.h"

#include <gtest/gtest.h>

using namespace kartovo;

TEST(BreakSentences, OneSentencePerLineButNotInsideANumber) {
    const QString CR(QChar(13));
    const std::pair<QString, QString> cases[] = {
        {"Pierwsze zdanie. Drugie zdanie.", "Pierwsze zdanie. " + CR + "Drugie zdanie." + CR},
        {"  Bez kropki na końcu  ", "Bez kropki na końcu"}, {"Raz.  Dwa", "Raz. " + CR + "Dwa"}, {"", ""},
        {"Wartość 2.5 mm jest poza granicą. Popraw.", "Wartość 2.5 mm jest poza granicą. " + CR + "Popraw." + CR},
        {"plik.bmp", "plik.bmp"}};
    for (const auto& [text, broken] : cases) EXPECT_EQ(BreakSentences(text), broken) << text.toStdString();
}

// The box's style from the main program's button and icon codes; the default title; the log line.
TEST(MessagePresenter, RecordsRequestsWithDefaultsAndLogsThem) {
    kartovo::testing::MessageRecorder recorder;
    recorder.answer = true;
    ShowMessage(QStringLiteral("a\rb"), 2, 0, QString());
    ASSERT_TRUE(AskQuestion(QStringLiteral("c?"), 2, 0, QStringLiteral("Pytanie")) && recorder.requests.size() == 2u);
    EXPECT_EQ(std::tuple(recorder.requests[0].style, recorder.requests[0].question, recorder.requests[1].style, recorder.requests[1].title),
              std::tuple(16, false, 128, QStringLiteral("Pytanie")));
    EXPECT_EQ(MessageLogLine(recorder.requests[0]), QStringLiteral("[komunikat] UWAGA !!!: a / b"));
}

TEST(Numbers, ValRoundingAndShortestText) {
    // Val reads the longest leading number.
    const std::pair<const char*, double> val[] = {{"20%", 20}, {"  7x", 7}, {"", 0},       {"-3%", -3}, {"abc", 0},
                                                  {"-", 0},    {"2.5 cm", 2.5}, {".5", 0.5}, {"1e", 1}, {"1e2x", 100}};
    for (const auto& [text, value] : val) EXPECT_DOUBLE_EQ(Val(QString::fromLatin1(text)), value) << text;
    // CInt rounds halves to even; the narrow conversions saturate.
    EXPECT_EQ(QList<qint64>({CInt(2.5), CInt(3.5), CInt(-2.5), CInt(2.5000001), CInt16(1e9), CLng(-1e12)}),
              QList<qint64>({2, 4, -2, 3, 32767, INT32_MIN}));
    // RoundHalfEven works on the decimal value, not the binary one.
    const std::tuple<double, int, double> half[] = {{10.05, 1, 10.0},  {10.15, 1, 10.2},   {10.75, 3, 10.75},
                                                    {0.125, 2, 0.12}, {-0.135, 2, -0.14}, {1.23456, 3, 1.235}};
    for (const auto& [value, digits, rounded] : half) EXPECT_DOUBLE_EQ(RoundHalfEven(value, digits), rounded) << value;
    EXPECT_EQ(QStringList({ShortestText(20), ShortestText(-3), ShortestText(19.5)}), QStringList({"20", "-3", "19.5"}));
}

// Polish decimal comma, halves away from zero on the decimal value, groups, sections, literals.
TEST(FormatNumber, EachFormatAsTheMainProgramWritesIt) {
    const struct {
        QVariant value;
        const char* format;
        const char* expected; // ~ the locale's group separator
    } cases[] = {
        {12.5, "0.00", "12,50"}, {12.5, "0", "13"}, {0.25, "0.0", "0,3"}, {3, "0.000", "3,000"},
        {-1.5, "0.0", "-1,5"}, {0.05, "#.00", ",05"}, {2.5, "0", "3"}, {-2.5, "0", "-3"}, {0.125, "0.00", "0,13"},
        {2.675, "0.00", "2,68"}, // binary 2.67499999...
        {1.005, "0.00", "1,01"},
        {9.995, "0.00", "10,00"}, // carry into a new digit
        {999.9996, "0.000", "1000,000"}, {0.0004, "0.000", "0,000"}, {-0.001, "0.00", "0,00"},
        {-0.005, "0.00", "-0,01"}, {1234567.8915, "#,##0.000", "1~234~567,892"}, {1234, "#,##0", "1~234"},
        {123, "#,##0.000", "123,000"}, {0.5, "#,##0.000", "0,500"}, {-1234.5, "#,##0.0", "-1~234,5"},
        {1234567, "Standard", "1~234~567,00"},
        // A comma right before the point scales by a thousand instead.
        {1234567, "0,.0", "1234,6"}, {1234567, "#,##0,", "1~235"}, {12.5, "0.###", "12,5"},
        {12.3456, "0.###", "12,346"}, {12, "0.###", "12"}, {12.1, "0.0#", "12,1"}, {0, "#", ""}, {7, "000", "007"},
        {12345, "00", "12345"}, {5, "#0.0", "5,0"}, {-3.5, "0.0;(0.0)", "(3,5)"}, {0, "0.0;(0.0);\"zero\"", "zero"},
        {3.5, "0.0;(0.0);\"zero\"", "3,5"}, {0.125, "0.0%", "12,5%"}, {12345, "0.00E+00", "1,23E+04"},
        {0.00123, "0.0E-0", "1,2E-3"}, {9.999, "0.00E+00", "1,00E+01"}, {5, "0\" mm\"", "5 mm"}, {5, "\\#0", "#5"},
        {1.5, "Fixed", "1,50"}, {QVariant(), "0.00", ""}, {QVariant(QMetaType::fromType<double>()), "0.00", ""},
        {12.5, "", "12,5"}, {0.1 + 0.2, "", "0,3"}, {1e20, "", "1E+20"}, {"12.5", "0.00", "12,50"}, // stored as text
        {"12,5", "0.00", "12,50"}, {"abc", "0.00", "abc"}, {qint64(42), "0.0", "42,0"}};
    for (const auto& c : cases)
        EXPECT_EQ(FormatNumber(c.value, QString::fromUtf8(c.format)), QString::fromUtf8(c.expected).replace(u'~', QChar(0xA0)))
            << c.value.toString().toStdString() << " " << c.format;
    // Other locales and the display text.
    EXPECT_EQ(FormatNumber(1234.5, "#,##0.00", QLocale::c()), "1,234.50");
    EXPECT_EQ(QStringList({DisplayText(2.5), DisplayText(17), DisplayText(QStringLiteral("AB-12.5")), DisplayText(QVariant())}),
              QStringList({"2,5", "17", "AB-12.5", ""}));
}
