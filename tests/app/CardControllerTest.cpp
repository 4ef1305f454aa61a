#include "CardWindowSupport.h"

#include "app/FileChoice.h"
#include "app/ui/CardController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "db/DbSession.h"

#include <QCryptographicHash>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace kartovo::test {
namespace {

// The main window on the demo database, with the file dialog answered by the test.
using CardControllerTest = CardWindowTest;

TEST_F(CardControllerTest, FileCommandTakesACopyOfTheChosenCardToReadyToRead) {
    const QString cards = m_dir.filePath(QStringLiteral("karty"));
    QDir().mkpath(cards);
    m_chosen = cards + QStringLiteral("/k1.jpg");
    ASSERT_TRUE(JpegRoundTrip(render(cardSpec(1)), 90).save(m_chosen, "JPG", 90));
    const QByteArray before = FileHash(m_chosen);

    control<QPushButton>("Command4")->click();

    ASSERT_EQ(m_dialogCalls.size(), 1);
    EXPECT_EQ(m_dialogCalls[0][0], QStringLiteral("Wskaż plik grafiki"));
    EXPECT_EQ(m_dialogCalls[0][1],
              QStringLiteral("Grafika rastrowa (*.jpg *.gif *.tif *.pcx *.bmp);;Wszystkie typy plików (*)"));
    EXPECT_EQ(m_dialogCalls[0][2], QStringLiteral("/poczatek/"));
    EXPECT_EQ(m_window->run().initialFolder, cards + u'/');
    EXPECT_EQ(FileHash(m_chosen), before);

    const CardState& card = m_window->cards()->card();
    EXPECT_TRUE(card.DialogAccepted);
    EXPECT_EQ(card.ImagePath, WorkingFile(QStringLiteral("temp.bmp")));
    EXPECT_EQ(card.CardParameter.value(QStringLiteral("ID")).toInt(), 1);
    EXPECT_EQ(control<QLabel>("Label3")->text(), QStringLiteral("Gotowy do czytania"));
    EXPECT_TRUE(control<QLabel>("Label3")->isVisible());
    EXPECT_FALSE(control<QProgressBar>("ProgBarXP1")->isVisible());
    EXPECT_TRUE(control("Command7")->isEnabled());
    EXPECT_TRUE(control("Image1")->isEnabled());
    EXPECT_FALSE(control("Command10")->isEnabled());
    EXPECT_TRUE(control("P1")->isVisible());
    EXPECT_EQ(control("P1")->size(), m_window->pictures().image(Picture::P1).size());
    EXPECT_TRUE(m_window->isEnabled());
    EXPECT_FALSE(m_window->cards()->busy());
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(CardControllerTest, RefusedCardLeavesReadDisabledAndCancelledDialogDoesNothing) {
    m_chosen = m_dir.filePath(QStringLiteral("obca.png"));
    ASSERT_TRUE(render(cardSpec(12)).save(m_chosen));
    control<QPushButton>("Command4")->click();
    EXPECT_FALSE(m_window->cards()->card().DialogAccepted);
    EXPECT_FALSE(control("Command7")->isEnabled());
    EXPECT_FALSE(control("P1")->isVisible());
    EXPECT_EQ(control<QLabel>("Label3")->text(), QStringLiteral("Gotowy do czytania"));
    ASSERT_EQ(m_messages.size(), 2u); // the refusal, then the manual-choice question
    EXPECT_TRUE(m_messages[1].question);
    EXPECT_TRUE(m_window->isEnabled());

    m_messages.clear();
    m_chosen.clear(); // cancelled
    const QString folder = m_window->run().initialFolder;
    control<QPushButton>("Command4")->click();
    EXPECT_EQ(m_window->run().initialFolder, folder);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(CardControllerTest, UndecodableFileIsSaidAndChangesNoCard) {
    m_chosen = m_dir.filePath(QStringLiteral("zepsuty.jpg"));
    QFile f(m_chosen);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xff\xd8\xff\xe0 to nie jest obraz");
    f.close();
    control<QPushButton>("Command4")->click();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].text.startsWith(QStringLiteral("Nie można odczytać obrazu karty.")));
    EXPECT_TRUE(m_window->cards()->card().ImagePath.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(WorkingFile(QStringLiteral("temp.bmp"))));
    EXPECT_FALSE(control("Command7")->isEnabled());
}

TEST_F(CardControllerTest, NoSecondLoadWhileACardIsProcessed) {
    m_chosen = m_dir.filePath(QStringLiteral("k.png"));
    ASSERT_TRUE(render(cardSpec(1)).save(m_chosen));
    bool nestedStarted = true;
    bool sawDisabled = false;
    // Progress processes pending events; a click arriving meanwhile must not
    // start another load.
    int calls = 0;
    m_window->cards()->setFileDialog([&](const QString&, const QString&, const QString&) {
        ++calls;
        return m_chosen;
    });
    QTimer::singleShot(0, m_window.get(), [&] {
        sawDisabled = !m_window->isEnabled();
        nestedStarted = m_window->cards()->ZaladujPlikGraf(true);
        m_window->cards()->Command4Click();
    });
    control<QPushButton>("Command4")->click();
    EXPECT_TRUE(sawDisabled);
    EXPECT_FALSE(nestedStarted);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(m_window->cards()->card().DialogAccepted);
}

TEST(FileChoiceTest, FilterAndFolderOfTheChosenFile) {
    EXPECT_EQ(QtFileFilter(QStringLiteral("A|*.a;*.b|Wszystkie|*.*")), QStringLiteral("A (*.a *.b);;Wszystkie (*)"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("k1.jpg"));
    QFile(file).open(QIODevice::WriteOnly);
    const FileChoice c = FileChoiceFor(file);
    EXPECT_TRUE(c.DialogAccepted);
    EXPECT_EQ(c.ChosenFileName, QStringLiteral("k1.jpg"));
    EXPECT_EQ(c.folder(), dir.path() + u'/');
    EXPECT_FALSE(FileChoiceFor(dir.filePath(QStringLiteral("brak.jpg"))).DialogAccepted);
    EXPECT_FALSE(FileChoiceFor(QString()).DialogAccepted);
}

} // namespace
} // namespace kartovo::test
