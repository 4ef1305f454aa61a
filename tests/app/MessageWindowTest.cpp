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

MessageRequest message(const QString& text, int style = 16) {
    MessageRequest r;
    r.text = text;
    r.style = style;
    r.title = QStringLiteral("UWAGA !!!");
    return r;
}

MessageRequest question(const QString& text, int style = 128) {
    MessageRequest r = message(text, style);
    r.question = true;
    return r;
}

template <typename T = QWidget>
T* part(const MessageWindow& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

QImage iconOf(const MessageWindow& w, const char* name) { return part<QLabel>(w, name)->pixmap().toImage(); }

// Which stock icon the icon area shows.
QString shownIcon(const MessageWindow& w) {
    const QImage shown = iconOf(w, "Image1");
    for (const char* name : {"Image2", "Image3", "Image4", "Image5"})
        if (iconOf(w, name) == shown) return QString::fromLatin1(name);
    return {};
}

} // namespace

TEST(MessageWindow, IconFollowsTheStyleRange) {
    EXPECT_EQ(shownIcon(MessageWindow(message(QStringLiteral("a"), 16))), QStringLiteral("Image2"));
    EXPECT_EQ(shownIcon(MessageWindow(message(QStringLiteral("a"), 31))), QStringLiteral("Image2"));
    EXPECT_EQ(shownIcon(MessageWindow(message(QStringLiteral("a"), 32))), QStringLiteral("Image3"));
    EXPECT_EQ(shownIcon(MessageWindow(message(QStringLiteral("a"), 63))), QStringLiteral("Image3"));
    EXPECT_EQ(shownIcon(MessageWindow(message(QStringLiteral("a"), 64))), QStringLiteral("Image4"));
    EXPECT_EQ(shownIcon(MessageWindow(message(QStringLiteral("a"), 128))), QStringLiteral("Image5"));
    EXPECT_EQ(shownIcon(MessageWindow(question(QStringLiteral("a"), 200))), QStringLiteral("Image5"));
}

TEST(MessageWindow, DefaultsComeFromTheCalls) {
    MessageRequest seen;
    auto previous = SetMessagePresenter([&](const MessageRequest& r) {
        seen = r;
        return false;
    });
    int style = 0;
    QString title;
    ShowMessage(QStringLiteral("x"), 2, style, title);
    EXPECT_EQ(style, 16);
    EXPECT_EQ(title, QStringLiteral("UWAGA !!!"));
    MessageWindow shownMessage(seen);
    EXPECT_EQ(shownMessage.windowTitle(), QStringLiteral("UWAGA !!!"));
    EXPECT_EQ(shownIcon(shownMessage), QStringLiteral("Image2"));

    style = 0;
    title.clear();
    AskQuestion(QStringLiteral("y?"), 2, style, title);
    EXPECT_EQ(style, 128);
    EXPECT_EQ(shownIcon(MessageWindow(seen)), QStringLiteral("Image5"));
    SetMessagePresenter(previous);
}

TEST(MessageWindow, MessageButtonIsCentredUnderTheText) {
    MessageWindow w(message(QStringLiteral("Nie znaleziono aktywnych PROGRAMÓW KONTROLI.")));
    auto* label = part<QLabel>(w, "Label1");
    auto* ok = part<QPushButton>(w, "Command1");
    EXPECT_FALSE(ok->isHidden());
    EXPECT_TRUE(part(w, "Command2")->isHidden());
    EXPECT_EQ(ok->text(), QStringLiteral("&OK"));
    EXPECT_EQ(label->x(), w.twips(1050));
    EXPECT_NEAR(ok->x() + ok->width() / 2.0, label->x() + label->width() / 2.0, 1.0);
    EXPECT_EQ(ok->y(), label->y() + label->height() + w.twips(300));
    auto* icon = part(w, "Image1");
    EXPECT_NEAR(icon->y() + icon->height() / 2.0, label->y() + label->height() / 2.0, 1.0);
    EXPECT_LT(icon->geometry().right(), label->x());
    EXPECT_GE(w.width(), label->geometry().right());
    EXPECT_GT(w.height(), ok->geometry().bottom());
}

TEST(MessageWindow, QuestionButtonsSitAroundTheCentre) {
    MessageWindow w(question(QStringLiteral("Czy zapisać kartę z pomiarami do bazy danych SPC ?")));
    auto* label = part<QLabel>(w, "Label1");
    auto* yes = part<QPushButton>(w, "Command1");
    auto* no = part<QPushButton>(w, "Command2");
    EXPECT_EQ(yes->text(), QStringLiteral("TAK"));
    EXPECT_EQ(no->text(), QStringLiteral("NIE"));
    const int c = label->x() + label->width() / 2;
    EXPECT_EQ(yes->x() + yes->width(), c - w.twips(250));
    EXPECT_EQ(no->x(), c + w.twips(250));
    EXPECT_EQ(yes->y(), no->y());
}

TEST(MessageWindow, ShortQuestionStillHoldsBothButtons) {
    MessageWindow w(question(QStringLiteral("?")));
    auto* yes = part<QPushButton>(w, "Command1");
    auto* no = part<QPushButton>(w, "Command2");
    EXPECT_GE(yes->x(), 0);
    EXPECT_LE(no->geometry().right(), w.width());
}

TEST(MessageWindow, LinesSplitOnCarriageReturns) {
    MessageWindow one(message(QStringLiteral("Pierwsza linia")));
    MessageWindow two(message(QStringLiteral("Pierwsza linia\rDruga linia")));
    EXPECT_GT(part(two, "Label1")->height(), part(one, "Label1")->height());
    EXPECT_EQ(part<QLabel>(two, "Label1")->text(), QStringLiteral("Pierwsza linia\nDruga linia"));
}

TEST(MessageWindow, OverLongOneLineTextIsBrokenIntoSentences) {
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    QString sentence = QStringLiteral("Słowo");
    while (QFontMetrics(QApplication::font()).horizontalAdvance(sentence) < screenWidth) sentence += QStringLiteral(" słowo");
    const QString text = sentence + QStringLiteral(". Drugie zdanie.");
    MessageWindow w(message(text));
    EXPECT_EQ(w.shownText(), BreakSentences(text));
    EXPECT_TRUE(w.shownText().contains(QChar(13)));

    // A text that already has its own lines stays as it is, however wide.
    const QString lines = text + QStringLiteral("\rKoniec");
    EXPECT_EQ(MessageWindow(message(lines)).shownText(), lines);
    // A short text is never broken.
    EXPECT_EQ(MessageWindow(message(QStringLiteral("Raz. Dwa."))).shownText(), QStringLiteral("Raz. Dwa."));
}

TEST(MessageWindow, SmallFontAndFontSize) {
    MessageRequest small = message(QStringLiteral("tekst"));
    small.smallFont = true;
    EXPECT_EQ(part(MessageWindow(small), "Label1")->font().pointSize(), 8);
    MessageRequest big = question(QStringLiteral("tekst"));
    big.smallFont = true;
    big.fontSize = 14;
    EXPECT_EQ(part(MessageWindow(big), "Label1")->font().pointSize(), 14);
    // The size applies to questions only.
    MessageRequest notQuestion = message(QStringLiteral("tekst"));
    notQuestion.fontSize = 14;
    EXPECT_NE(part(MessageWindow(notQuestion), "Label1")->font().pointSize(), 14);
}

TEST(MessageWindow, CentredOnTheScreen) {
    MessageWindow w(message(QStringLiteral("Na środku")));
    w.show();
    const QRect screen = w.screen()->geometry();
    EXPECT_NEAR(w.x() + w.width() / 2.0, screen.center().x(), 2.0);
    EXPECT_NEAR(w.y() + w.height() / 2.0, screen.center().y(), 2.0);
    w.close();
}

TEST(MessageWindow, EnterAndEscFollowTheRememberedFocus) {
    {
        MessageWindow w(question(QStringLiteral("Dalej?")));
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_Return);
        EXPECT_TRUE(w.answer());
        EXPECT_FALSE(w.isVisible());
    }
    {
        MessageWindow w(question(QStringLiteral("Dalej?")));
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_Tab); // focus to "NIE"
        EXPECT_TRUE(part(w, "Command2")->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_FALSE(w.answer());
        EXPECT_FALSE(w.isVisible());
    }
    {
        MessageWindow w(question(QStringLiteral("Dalej?")));
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_FALSE(w.answer());
        EXPECT_FALSE(w.isVisible());
    }
    {
        MessageWindow w(message(QStringLiteral("Informacja")));
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        QTest::mouseClick(part(w, "Command1"), Qt::LeftButton);
        EXPECT_TRUE(w.answer());
    }
}

TEST(MessageWindow, ClosingByTheFrameAnswersNo) {
    MessageWindow w(question(QStringLiteral("Dalej?")));
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.close();
    EXPECT_FALSE(w.answer());
}

TEST(MessageWindow, InstalledPresenterShowsTheWindowModally) {
    MessageWindow::Install();
    // Answer the question when its window comes up.
    QTimer::singleShot(0, [] {
        auto* w = qobject_cast<MessageWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->objectName(), QStringLiteral("KomUwagaFrm"));
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    });
    EXPECT_TRUE(AskQuestion(QStringLiteral("Czy kontynuować?")));
    EXPECT_TRUE(QuestionAnswer());
    QTimer::singleShot(0, [] {
        auto* w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(AskQuestion(QStringLiteral("Czy kontynuować?")));
    SetMessagePresenter({});
}
