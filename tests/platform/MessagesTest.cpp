#include "platform/Messages.h"

#include <gtest/gtest.h>

using namespace kartovo;

namespace {
const QString CR = QString(QChar(13));
}

TEST(BreakSentences, OneSentencePerLine) {
    EXPECT_EQ(BreakSentences(QStringLiteral("Pierwsze zdanie. Drugie zdanie.")),
              QStringLiteral("Pierwsze zdanie. ") + CR + QStringLiteral("Drugie zdanie.") + CR);
    EXPECT_EQ(BreakSentences(QStringLiteral("  Bez kropki na końcu  ")), QStringLiteral("Bez kropki na końcu"));
    EXPECT_EQ(BreakSentences(QStringLiteral("Raz.  Dwa")), QStringLiteral("Raz. ") + CR + QStringLiteral("Dwa"));
    EXPECT_EQ(BreakSentences(QString()), QString());
}

TEST(BreakSentences, AFullStopInsideANumberIsNoBreak) {
    EXPECT_EQ(BreakSentences(QStringLiteral("Wartość 2.5 mm jest poza granicą. Popraw.")),
              QStringLiteral("Wartość 2.5 mm jest poza granicą. ") + CR + QStringLiteral("Popraw.") + CR);
    EXPECT_EQ(BreakSentences(QStringLiteral("plik.bmp")), QStringLiteral("plik.bmp"));
}

TEST(MessagePresenter, RecordsRequestsWithDefaultsAndLogsThem) {
    std::vector<MessageRequest> seen;
    auto previous = SetMessagePresenter([&](const MessageRequest& r) {
        seen.push_back(r);
        return true;
    });
    ShowMessage(QStringLiteral("a\rb"), 2, 0, QString());
    EXPECT_TRUE(AskQuestion(QStringLiteral("c?"), 2, 0, QStringLiteral("Pytanie")));
    SetMessagePresenter(previous);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].style, 16);
    EXPECT_EQ(seen[0].title, QStringLiteral("UWAGA !!!"));
    EXPECT_FALSE(seen[0].question);
    EXPECT_EQ(seen[1].style, 128);
    EXPECT_EQ(seen[1].title, QStringLiteral("Pytanie"));
    EXPECT_EQ(MessageLogLine(seen[0]), QStringLiteral("[komunikat] UWAGA !!!: a / b"));
}
