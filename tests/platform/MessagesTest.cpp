#include "platform/Messages.h"

#include "common/TestHelpers.h"

#include <gtest/gtest.h>

using namespace kartovo;

TEST(BreakSentences, OneSentencePerLineButNotInsideANumber) {
    const QString CR(QChar(13));
    const std::pair<QString, QString> cases[] = {
        {"Pierwsze zdanie. Drugie zdanie.", "Pierwsze zdanie. " + CR + "Drugie zdanie." + CR},
        {"  Bez kropki na końcu  ", "Bez kropki na końcu"},
        {"Raz.  Dwa", "Raz. " + CR + "Dwa"},
        {"", ""},
        {"Wartość 2.5 mm jest poza granicą. Popraw.", "Wartość 2.5 mm jest poza granicą. " + CR + "Popraw." + CR},
        {"plik.bmp", "plik.bmp"}};
    for (const auto& [text, broken] : cases) EXPECT_EQ(BreakSentences(text), broken) << text.toStdString();
}

TEST(MessagePresenter, RecordsRequestsWithDefaultsAndLogsThem) {
    kartovo::testing::MessageRecorder recorder;
    recorder.answer = true;
    ShowMessage(QStringLiteral("a\rb"), 2, 0, QString());
    EXPECT_TRUE(AskQuestion(QStringLiteral("c?"), 2, 0, QStringLiteral("Pytanie")));
    ASSERT_EQ(recorder.requests.size(), 2u);
    EXPECT_EQ(recorder.requests[0].style, 16);
    EXPECT_EQ(recorder.requests[0].title, QStringLiteral("UWAGA !!!"));
    EXPECT_FALSE(recorder.requests[0].question);
    EXPECT_EQ(recorder.requests[1].style, 128);
    EXPECT_EQ(recorder.requests[1].title, QStringLiteral("Pytanie"));
    EXPECT_EQ(MessageLogLine(recorder.requests[0]), QStringLiteral("[komunikat] UWAGA !!!: a / b"));
}
