#include "app/ui/MessageWindow.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace kartovo;

namespace {

MessageRequest request(const QString& text, bool question = false, int style = 16) {
    MessageRequest r;
    r.text = text;
    r.style = style;
    r.question = question;
    return r;
}

QImage iconOf(const MessageWindow& w, const char* name) {
    return w.findChild<QLabel*>(QLatin1String(name))->pixmap().toImage();
}

// Which stock icon the icon area shows.
QString shownIcon(const MessageWindow& w) {
    const QImage shown = iconOf(w, "Image1");
    for (const char* name : {"Image2", "Image3", "Image4", "Image5"})
        if (iconOf(w, name) == shown) return QString::fromLatin1(name);
    return {};
}

} // namespace

TEST(MessageWindow, IconFollowsTheStyleRange) {
    const std::pair<int, const char*> icons[] = {{16, "Image2"}, {31, "Image2"}, {32, "Image3"}, {63, "Image3"},
                                                 {64, "Image4"}, {128, "Image5"}, {200, "Image5"}};
    for (const auto& [style, icon] : icons)
        EXPECT_EQ(shownIcon(MessageWindow(request(QStringLiteral("a"), style >= 128, style))), QLatin1String(icon)) << style;
}

TEST(MessageWindow, TextKeepsItsLinesAndAnOverLongLineIsBrokenIntoSentences) {
    EXPECT_EQ(MessageWindow(request(QStringLiteral("Raz. Dwa.\rTrzy"))).shownText(), QStringLiteral("Raz. Dwa.\rTrzy"));
    QString sentence = QStringLiteral("Słowo");
    while (QFontMetrics(QApplication::font()).horizontalAdvance(sentence) < QGuiApplication::primaryScreen()->geometry().width())
        sentence += QStringLiteral(" słowo");
    const QString text = sentence + QStringLiteral(". Drugie zdanie.");
    QStringList lines = MessageWindow(request(text)).shownText().split(QChar(13), Qt::SkipEmptyParts);
    for (QString& line : lines) line = line.trimmed();
    EXPECT_EQ(lines, (QStringList{sentence + u'.', QStringLiteral("Drugie zdanie.")}));
    // A text with lines of its own stays as it is, however wide.
    EXPECT_EQ(MessageWindow(request(text + QStringLiteral("\rKoniec"))).shownText(), text + QStringLiteral("\rKoniec"));
    // However short, a question holds both its buttons.
    MessageWindow shortQuestion(request(QStringLiteral("?"), true, 128));
    EXPECT_GE(shortQuestion.findChild<QPushButton*>(QStringLiteral("Command1"))->x(), 0);
    EXPECT_LE(shortQuestion.findChild<QPushButton*>(QStringLiteral("Command2"))->geometry().right(), shortQuestion.width());
}

// Only "&OK" / "TAK" answers yes: Enter takes the default (or focused)
// button, Esc and the window's frame answer no.
TEST(MessageWindow, KeysAndButtonsGiveTheAnswer) {
    const struct {
        MessageRequest request;
        std::function<void(MessageWindow&)> act;
        bool answer;
    } cases[] = {
        {request(QStringLiteral("Dalej?"), true, 128), [](MessageWindow& w) { QTest::keyClick(&w, Qt::Key_Return); }, true},
        {request(QStringLiteral("Dalej?"), true, 128 + kDefaultSecondButton),
         [](MessageWindow& w) { QTest::keyClick(&w, Qt::Key_Return); }, false},
        {request(QStringLiteral("Dalej?"), true, 128),
         [](MessageWindow& w) {
             QTest::keyClick(&w, Qt::Key_Tab);
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
         },
         false},
        {request(QStringLiteral("Dalej?"), true, 128),
         [](MessageWindow&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }, false},
        {request(QStringLiteral("Dalej?"), true, 128), [](MessageWindow& w) { w.close(); }, false},
        {request(QStringLiteral("Informacja")),
         [](MessageWindow& w) { QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton); },
         true},
    };
    int n = 0;
    for (const auto& c : cases) {
        MessageWindow w(c.request);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        c.act(w);
        EXPECT_EQ(w.answer(), c.answer) << "case " << n;
        EXPECT_FALSE(w.isVisible()) << "case " << n++;
    }
}

TEST(MessageWindow, InstalledPresenterAsksModally) {
    MessageWindow::Install();
    for (const bool yes : {true, false}) {
        QTimer::singleShot(0, [yes] {
            auto* w = qobject_cast<MessageWindow*>(QApplication::activeModalWidget());
            ASSERT_NE(w, nullptr);
            QTest::keyClick(w, yes ? Qt::Key_Return : Qt::Key_Escape);
        });
        EXPECT_EQ(AskQuestion(QStringLiteral("Czy kontynuować?")), yes);
        EXPECT_EQ(QuestionAnswer(), yes);
    }
    SetMessagePresenter({});
}
