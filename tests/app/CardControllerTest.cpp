#include "CardWindowSupport.h"

#include "app/AutoMode.h"
#include "app/FileChoice.h"
#include "evaluation/ui/IDDanych.h"
#include "reading/ui/ReadingController.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace kartovo::test {
namespace {

class CardControllerTest : public CardWindowTest {
protected:
    void readAndList() {
        QTest::mouseClick(control<QPushButton>("Command7"), Qt::LeftButton);
        QTest::mouseClick(control<QPushButton>("Command10"), Qt::LeftButton);
    }
    // "&Zapisz" of the list with the identification window confirmed.
    void saveConfirmed() {
        auto confirm = testing::WhenModalShown([](QWidget* modal) {
            auto* w = qobject_cast<IDDanych*>(modal);
            ASSERT_NE(w, nullptr);
            for (int i = 1; i <= w->fieldCount(); ++i) {
                if (w->field(i)->count() > 0) w->field(i)->setCurrentIndex(0);
                else w->field(i)->lineEdit()->setText(QStringLiteral("P-1"));
            }
            QTest::mouseClick(w->saveButton(), Qt::LeftButton);
        });
        QTest::mouseClick(control<QPushButton>("Command13"), Qt::LeftButton);
    }
    const std::vector<CellMark> m_fullSamples{{1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7},
                                              {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}};
};

// A newer card replaces the one on screen and the one on its road: nothing of either is stored.
TEST_F(CardControllerTest, ANewerCardDropsTheCardsBeforeAndOnlyTheCardOnScreenIsStored) {
    const QString a = write(1, m_fullSamples, QStringLiteral("a.png"));
    const QString b = write(2, {{1, 4}, {2, 6}, {3, 8}, {4, 5}}, QStringLiteral("b.png"));
    const int rowsA = rows(1), rowsB = rows(2);

    choose(a);
    readAndList();
    ASSERT_GT(control<QListWidget>("List1")->count(), 1);
    QTest::mouseClick(control<QPushButton>("Command10"), Qt::LeftButton); // list closed for the correction
    QTest::mouseClick(control<QPushButton>("Command12"), Qt::LeftButton);
    ASSERT_TRUE(m_window->reading().deletionMode());

    // Another card of A's parameter, and while it is on its road, B: the
    // window stays open to the click.
    m_clickWaits = false;
    m_chosen = write(1, m_fullSamples, QStringLiteral("a2.png"));
    QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
    ASSERT_TRUE(testing::WaitUntil([&] { return m_window->cards()->cardName() == QStringLiteral("a2.png"); }));
    ASSERT_TRUE(m_window->cards()->busy());
    choose(b);
    m_window->cards()->waitForWorker();
    QCoreApplication::processEvents(); // anything A's road still sent is dropped

    EXPECT_EQ(m_window->cards()->card().CardParameter.ID.toInt(), 2);
    EXPECT_EQ(m_window->cards()->cardName(), QStringLiteral("b.png"));
    EXPECT_EQ(status(), QStringLiteral("Gotowy do czytania"));
    EXPECT_EQ(control<QListWidget>("List1")->count(), 0);
    EXPECT_FALSE(m_window->reading().hasReading());
    EXPECT_FALSE(m_window->reading().deletionMode());
    m_window->Command13Click(); // B is not read yet: there is nothing to store
    EXPECT_EQ(rows(2), rowsB);

    readAndList();
    EXPECT_EQ(control<QListWidget>("List1")->count() - 1, 4) << "B's four marks, none of A's";
    saveConfirmed();
    EXPECT_EQ(rows(1), rowsA) << "A's values never go under B";
    const int storedB = rows(2);
    EXPECT_GT(storedB, rowsB);
    const QString saved = MainWindow::savedStatusText(QStringLiteral("Długość całkowita (parametr 2)"), storedB - rowsB, {});
    EXPECT_TRUE(status().startsWith(saved)) << status().toStdString();

    // The card is done: another threshold gives nothing to read, nothing to store twice.
    QTest::mouseClick(control("Image2"), Qt::LeftButton);
    EXPECT_FALSE(m_window->readingController()->Command7Click());
    m_window->Command13Click();
    EXPECT_EQ(rows(2), storedB);
    EXPECT_FALSE(m_window->hasUnsavedCard());

    // Closing the window drops a card on its road.
    m_chosen = a;
    QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
    ASSERT_TRUE(m_window->cards()->busy());
    EXPECT_TRUE(m_window->close());
    EXPECT_FALSE(m_window->cards()->busy());
    m_window->cards()->waitForWorker();
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_window->cards()->card().DialogAccepted);
    EXPECT_NE(status(), QStringLiteral("Gotowy do czytania"));
}

// "&Plik": a file that is no picture is said, a good card only read. Esc asks only for a read,
// unsaved card; storing a stored card again needs a TAK (NIE the default).
TEST_F(CardControllerTest, FileCommandAndACardStoredAgainOnlyWhenTheOperatorSaysSo) {
    QList<int> ended;
    m_window->setEndProgram([&](int code) { ended << code; });
    const QString broken = m_dir.filePath(QStringLiteral("zepsuty.jpg"));
    WriteFile(broken, "\xff\xd8\xff\xe0 to nie jest obraz");
    choose(broken);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].startsWith(CardPipeline::unreadableImageText({})));
    EXPECT_TRUE(m_window->cards()->card().ImagePath.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(tempBmp()));


    const QString folder = m_window->run().initialFolder, cards = m_dir.filePath(QStringLiteral("karty"));
    QDir().mkpath(cards);
    const QString b = cards + QStringLiteral("/b.jpg");
    ASSERT_TRUE(JpegRoundTrip(render(cardSpec(2, 2), 150.0, {{1, 4}, {2, 6}, {3, 8}}), 90).save(b, "JPG", 90));
    const QByteArray bytes = FileBytes(b), hash = AutoMode::fileHash(bytes);
    m_window->setStoredCheck([&](DbConnection&, const QByteArray& h) { return h == hash; });
    const int before = rows(2);
    m_messages.clear();
    choose(b);
    EXPECT_EQ(m_dialogCalls.last()[2], folder);
    EXPECT_EQ(m_window->run().initialFolder, cards + u'/');
    EXPECT_EQ(FileBytes(b), bytes);
    const CardState& card = m_window->cards()->card();
    EXPECT_TRUE(card.DialogAccepted);
    EXPECT_EQ(card.ImagePath, tempBmp());
    EXPECT_EQ(card.CardParameter.ID.toInt(), 2);
    EXPECT_EQ(status(), QStringLiteral("Gotowy do czytania"));
    EXPECT_EQ(control("P1")->size(), m_window->pictures().image(Picture::P1).size());
    EXPECT_TRUE(control("P1")->isVisible());
    EXPECT_TRUE(m_messages.empty());
    QTest::keyClick(m_window.get(), Qt::Key_Escape); // loaded, not read
    EXPECT_EQ(ended, QList<int>{0});
    EXPECT_TRUE(questions().isEmpty());

    readAndList();
    m_answer = false;
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    EXPECT_EQ(ended, QList<int>{0});
    EXPECT_EQ(questions(), QStringList{MainWindow::unsavedCardQuestion()});
    EXPECT_TRUE(m_messages.back().style & 256);
    // A file that is no picture leaves the read card as it was.
    m_messages.clear();
    choose(broken);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(m_window->hasUnsavedCard());
    m_messages.clear();
    QTest::mouseClick(control<QPushButton>("Command13"), Qt::LeftButton);
    EXPECT_EQ(questions(), QStringList{MainWindow::storedAgainQuestion(QStringLiteral("b.jpg"))});
    EXPECT_TRUE(m_messages.back().style & 256);
    EXPECT_EQ(rows(2), before);
    EXPECT_TRUE(m_window->hasUnsavedCard());

    m_answer = true;
    saveConfirmed();
    EXPECT_EQ(rows(2), before + 3);
    EXPECT_EQ(questions().size(), 2);
    QTest::keyClick(m_window.get(), Qt::Key_Escape); // stored: no question
    EXPECT_EQ(ended, (QList<int>{0, 0}));
    EXPECT_EQ(questions().size(), 2);
}

TEST(FileChoiceTest, FilterAndChoicesOfNoFile) {
    EXPECT_EQ(QtFileFilter(QStringLiteral("A|*.a;*.b|Wszystkie|*.*")), QStringLiteral("A (*.a *.b);;Wszystkie (*)"));
    EXPECT_FALSE(FileChoiceFor(QStringLiteral("/nie/ma/brak.jpg")).DialogAccepted);
    EXPECT_FALSE(FileChoiceFor(QString()).DialogAccepted);
}

} // namespace
} // namespace kartovo::test
