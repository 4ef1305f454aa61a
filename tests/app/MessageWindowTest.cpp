#include "app/ui/MessageWindow.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kartovo;

namespace {

MessageRequest Request(const QString& text, bool question = false, int style = 16) {
    MessageRequest r;
    r.text = text, r.style = style, r.question = question;
    return r;
}

// Which stock icon the icon area shows.
QString ShownIcon(const MessageWindow& w) {
    const auto icon = [&w](const QString& name) { return w.findChild<QLabel*>(name)->pixmap().toImage(); };
    for (const QString name : {"Image2", "Image3", "Image4", "Image5"})
        if (icon(name) == icon(QStringLiteral("Image1"))) return name;
    return {};
}

} // namespace

TEST(MessageWindow, IconAndTextFollowTheRequest) {
    const std::pair<int, const char*> icons[] = {{16, "Image2"}, {31, "Image2"}, {32, "Image3"}, {63, "Image3"},
                                                 {64, "Image4"}, {128, "Image5"}, {200, "Image5"}};
    for (const auto& [style, icon] : icons)
        EXPECT_EQ(ShownIcon(MessageWindow(Request(QStringLiteral("a"), style >= 128, style))), QLatin1String(icon)) << style;

    // Lines are kept; only an over-long single line is broken into sentences.
    EXPECT_EQ(MessageWindow(Request(QStringLiteral("Raz. Dwa.\rTrzy"))).shownText(), QStringLiteral("Raz. Dwa.\rTrzy"));
    QString sentence = QStringLiteral("Słowo");
    while (QFontMetrics(QApplication::font()).horizontalAdvance(sentence) < QGuiApplication::primaryScreen()->geometry().width())
        sentence += QStringLiteral(" słowo");
    const QString text = sentence + QStringLiteral(". Drugie zdanie.");
    QStringList lines = MessageWindow(Request(text)).shownText().split(QChar(13), Qt::SkipEmptyParts);
    for (QString& line : lines) line = line.trimmed();
    EXPECT_EQ(lines, (QStringList{sentence + u'.', QStringLiteral("Drugie zdanie.")}));
    EXPECT_EQ(MessageWindow(Request(text + QStringLiteral("\rKoniec"))).shownText(), text + QStringLiteral("\rKoniec"));
    // However short, a question holds both its buttons.
    MessageWindow shortQuestion(Request(QStringLiteral("?"), true, 128));
    EXPECT_GE(shortQuestion.findChild<QPushButton*>(QStringLiteral("Command1"))->x(), 0);
    EXPECT_LE(shortQuestion.findChild<QPushButton*>(QStringLiteral("Command2"))->geometry().right(), shortQuestion.width());
}

// Through the installed presenter, modally: only "&OK" / "TAK" answers yes; Enter takes the
// default (or focused) button, Esc and the window's frame answer no.
TEST(MessageWindow, KeysAndButtonsGiveTheAnswer) {
    enum Act { Enter, TabEnter, Esc, Close, Click };
    const struct {
        int style;
        Act act;
        bool answer;
    } cases[] = {{128, Enter, true}, {128 + kDefaultSecondButton, Enter, false}, {128, TabEnter, false},
                 {128, Esc, false},  {128, Close, false},                        {16, Click, true}};
    MessageWindow::install();
    for (const auto& c : cases) {
        QTimer::singleShot(0, [&c] {
            auto* w = qobject_cast<MessageWindow*>(QApplication::activeModalWidget());
            ASSERT_NE(w, nullptr);
            ASSERT_TRUE(QTest::qWaitForWindowActive(w));
            if (c.act == Enter) QTest::keyClick(w, Qt::Key_Return);
            if (c.act == TabEnter) QTest::keyClick(w, Qt::Key_Tab);
            if (c.act == TabEnter) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            if (c.act == Esc) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            if (c.act == Close) w->close();
            if (c.act == Click) QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        });
        if (c.style >= 128) EXPECT_EQ(AskQuestion(QStringLiteral("Dalej?"), 2, c.style), c.answer) << c.style << " " << c.act;
        else ShowMessage(QStringLiteral("Dalej?"), 2, c.style);
        EXPECT_EQ(QuestionAnswer(), c.answer) << c.style << " " << c.act;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    SetMessagePresenter({});
}
