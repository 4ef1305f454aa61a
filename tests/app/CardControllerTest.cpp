#include "CardWindowSupport.h"

#include "app/AutoMode.h"
#include "app/FileChoice.h"
#include "app/ui/CardController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "db/DbSession.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "evaluation/ui/IDDanych.h"
#include "reading/ui/ReadingController.h"

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
    EXPECT_EQ(m_dialogCalls[0][1], QStringLiteral("Grafika rastrowa (*.jpg *.jpeg *.png *.gif *.tif *.tiff *.pcx "
                                                  "*.bmp);;Wszystkie typy plików (*)"));
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
    EXPECT_TRUE(control<QLabel>("Label3")->text().startsWith(QStringLiteral("Karta odrzucona: ")))
        << control<QLabel>("Label3")->text().toStdString();
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

// A window with cards to load, read and store, as the operator does it.
class CardSaveTest : public CardWindowTest {
protected:
    QString write(int id, const std::vector<CellMark>& marks, const QString& name) {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(render(cardSpec(id, id), 150.0, marks).save(path));
        return path;
    }
    void load(const QString& path) {
        m_chosen = path;
        QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
    }
    void readAndList() {
        QTest::mouseClick(control<QPushButton>("Command7"), Qt::LeftButton);
        QTest::mouseClick(control<QPushButton>("Command10"), Qt::LeftButton);
    }
    int rows(int parameter) {
        return Conn().query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=%1").arg(parameter)).recordCount();
    }
    // "&Zapisz" of the list with the identification window confirmed.
    void saveConfirmed() {
        auto confirm = whenModalShown([](QWidget* modal) {
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
    static std::vector<CellMark> fullSamples() {
        std::vector<CellMark> marks;
        for (int section = 1; section <= 2; ++section)
            for (int row = 3; row <= 7; ++row) marks.push_back({section, row});
        return marks;
    }
};

TEST_F(CardSaveTest, ALoadedCardDropsTheListOfTheCardBeforeAndOnlyTheCardOnScreenIsStored) {
    const QString a = write(1, fullSamples(), QStringLiteral("a.png"));
    const QString b = write(2, {{1, 4}, {2, 6}, {3, 8}, {4, 5}}, QStringLiteral("b.png"));
    const int rowsA = rows(1), rowsB = rows(2);

    load(a);
    readAndList();
    ASSERT_TRUE(control("SSPanel1")->isVisible());
    ASSERT_GT(control<QListWidget>("List1")->count(), 1);
    QTest::mouseClick(control<QPushButton>("Command10"), Qt::LeftButton); // list closed for the correction
    QTest::mouseClick(control<QPushButton>("Command12"), Qt::LeftButton);
    ASSERT_EQ(control<QLabel>("Label4")->text(), QStringLiteral("Tryb usuwania."));
    QTest::mouseClick(control<QPushButton>("Command10"), Qt::LeftButton);

    load(b);
    // Nothing of card A is left to look at, correct or store.
    EXPECT_EQ(m_window->cards()->card().CardParameter.value(QStringLiteral("ID")).toInt(), 2);
    EXPECT_FALSE(control("SSPanel1")->isVisible());
    EXPECT_EQ(control<QListWidget>("List1")->count(), 0);
    EXPECT_EQ(m_window->reading().MeasurementCount(), 0);
    EXPECT_FALSE(m_window->reading().hasReading());
    EXPECT_TRUE(control<QLabel>("Label4")->text().isEmpty());
    EXPECT_FALSE(m_window->reading().deletionMode());
    for (const char* name : {"Command10", "Command11", "Command12"}) EXPECT_FALSE(control(name)->isEnabled()) << name;
    EXPECT_TRUE(control("Command7")->isEnabled());
    m_window->Command13Click(); // B is not read yet: there is nothing to store
    EXPECT_EQ(rows(1), rowsA);
    EXPECT_EQ(rows(2), rowsB);

    readAndList();
    saveConfirmed();
    EXPECT_EQ(rows(1), rowsA) << "A's values never go under B";
    EXPECT_GT(rows(2), rowsB);
    const int storedB = rows(2);
    const QString status = control<QLabel>("Label3")->text();
    EXPECT_TRUE(status.startsWith(QStringLiteral("Zapisano kartę Długość całkowita (parametr 2): próbek (wierszy "
                                                 "SPC_Baza) %1, godz. ")
                                      .arg(storedB - rowsB)))
        << status.toStdString();
    EXPECT_TRUE(control<QLabel>("Label3")->isVisible());

    // The card is done: another threshold gives nothing to read, nothing to store twice.
    QTest::mouseClick(control("Image2"), Qt::LeftButton);
    EXPECT_FALSE(control("Command7")->isEnabled());
    EXPECT_FALSE(m_window->readingController()->Command7Click());
    m_window->Command13Click();
    EXPECT_EQ(rows(2), storedB);
    EXPECT_FALSE(m_window->hasUnsavedCard());
}

TEST_F(CardSaveTest, AStoredCardFileIsStoredAgainOnlyWhenTheOperatorSaysSo) {
    const QString b = write(2, {{1, 4}, {2, 6}, {3, 8}}, QStringLiteral("b.png"));
    QFile f(b);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray hash = AutoMode::FileHash(f.readAll());
    QList<QByteArray> asked;
    m_window->setStoredCheck([&](DbConnection&, const QByteArray& h) {
        asked << h;
        return h == hash;
    });
    const int before = rows(2);

    load(b);
    readAndList();
    m_answer = false; // NIE
    QTest::mouseClick(control<QPushButton>("Command13"), Qt::LeftButton);
    ASSERT_EQ(asked, QList<QByteArray>{hash});
    ASSERT_EQ(questions().size(), 1);
    EXPECT_EQ(questions()[0], MainWindow::StoredAgainQuestion(QStringLiteral("b.png")));
    EXPECT_TRUE(questions()[0].startsWith(QStringLiteral("Ta karta została już zapisana")));
    EXPECT_TRUE(m_messages.back().style & 256) << "NIE is the default answer";
    EXPECT_EQ(rows(2), before);
    EXPECT_TRUE(m_window->hasUnsavedCard());

    m_answer = true;
    saveConfirmed();
    EXPECT_GT(rows(2), before);
    EXPECT_EQ(questions().size(), 2);
}

TEST_F(CardSaveTest, EscAndCloseAskOnlyForAReadUnsavedCard) {
    EXPECT_EQ(control("Command7")->toolTip(), QStringLiteral("Czytaj zeskanowany obraz"));
    EXPECT_EQ(control("Command10")->toolTip(), QStringLiteral("Pokaż odczytane wartości pomiarowe"));
    EXPECT_EQ(control("Command11")->toolTip(), QStringLiteral("Wskaż dodatkowy pomiar"));
    QList<int> ended;
    m_window->setEndProgram([&](int code) { ended << code; });

    load(write(1, fullSamples(), QStringLiteral("a.png")));
    QTest::mouseClick(control<QPushButton>("Command7"), Qt::LeftButton);
    ASSERT_TRUE(m_window->hasUnsavedCard());
    m_answer = false;
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    EXPECT_TRUE(ended.isEmpty());
    EXPECT_FALSE(m_window->close());
    EXPECT_TRUE(m_window->isVisible());
    ASSERT_EQ(questions().size(), 2);
    EXPECT_EQ(questions()[0], MainWindow::UnsavedCardQuestion());
    EXPECT_TRUE(m_messages.back().style & 256);

    m_answer = true;
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    EXPECT_EQ(ended, QList<int>{0});
    EXPECT_EQ(questions().size(), 3);
}

TEST_F(CardSaveTest, WithoutAReadCardEscAndCloseEndAtOnce) {
    QList<int> ended;
    m_window->setEndProgram([&](int code) { ended << code; });
    load(write(1, fullSamples(), QStringLiteral("a.png"))); // loaded, not read
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    EXPECT_EQ(ended, QList<int>{0});
    EXPECT_TRUE(questions().isEmpty());
    m_window->show();
    EXPECT_TRUE(m_window->close());
    EXPECT_TRUE(questions().isEmpty());
}

TEST_F(CardSaveTest, WindowPlaceIsRememberedAndAlwaysFitsTheScreen) {
    configureDatabaseFile();
    auto started = [](MainWindow& w) {
        w.setDatabaseStartup([](const DatabaseConfig&) { return true; });
        return w.start();
    };
    ASSERT_TRUE(started(*m_window));
    const QRect screen = m_window->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(m_window->frameGeometry())) << "the first start fits the screen";
    m_window->resize(m_window->minimumSize());
    EXPECT_TRUE(m_window->close());
    const QString stored = this->stored(QStringLiteral("Start"), QStringLiteral("Okno"));
    EXPECT_TRUE(stored.endsWith(QStringLiteral(",%1,%2,0").arg(m_window->width()).arg(m_window->height())))
        << stored.toStdString();

    // A place from a larger screen comes back inside this one.
    set(QStringLiteral("Start"), QStringLiteral("Okno"), QStringLiteral("3000,2000,5000,4000,0"));
    MainWindow again;
    ASSERT_TRUE(started(again));
    EXPECT_TRUE(screen.contains(again.geometry())) << "restored inside the screen";
    again.hide();
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
