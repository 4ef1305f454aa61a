#include "AppTestSupport.h"

#include "acquisition/SaneTestConfig.h"
#include "app/AutoMode.h"
#include "app/FileChoice.h"
#include "app/ui/AutoController.h"
#include "app/ui/CardController.h"
#include "app/ui/ListPanel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "app/ui/ScanController.h"
#include "db/DbSession.h"
#include "evaluation/ui/IDDanych.h"
#include "reading/ReadingFixtures.h"
#include "reading/ui/ReadingController.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <memory>
#include <tuple>

namespace kartovo::test {
namespace {

// The main window on the demo database; the file dialog answers m_chosen (empty: cancel).
class CardWindowTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        ASSERT_TRUE(DbSession::instance().open({.dbType = QStringLiteral("MDB"), .dbFolder = m_demo}));
        ASSERT_EQ(LoadBaseSettings(Conn(), DbSession::instance().baseSettings()), BaseSettingsOutcome::Loaded);
        m_window = std::make_unique<MainWindow>();
        m_window->optionsPanel()->applyOptions({.convertToBW = true});
        m_window->run().initialFolder = QStringLiteral("/poczatek/");
        m_window->cards()->setFileDialog([this](const QString&, const QString&, const QString& folder) {
            m_dialogFolders << folder;
            return m_chosen;
        });
        // "&Plik" returns once its card has gone its road, unless a test wants it in flight.
        QObject::connect(control<QPushButton>("Command4"), &QPushButton::clicked, m_window.get(), [this] {
            if (m_clickWaits) (void)waitForCard();
        });
        m_window->show();
    }
    void TearDown() override {
        m_window.reset();
        DbSession::instance().reset();
        PipelineTest::TearDown();
    }
    template <typename T = QWidget> T* control(const char* name) {
        return m_window->findChild<T*>(QLatin1String(name));
    }
    QString status() { return control<QLabel>("Label3")->text(); }
    QString tempBmp() const { return WorkingFile(QStringLiteral("temp.bmp")); }

    // The card handed to the window has gone its whole road.
    [[nodiscard]] bool waitForCard() {
        return testing::WaitUntil([this] { return !m_window->cards()->busy(); });
    }
    // Chooses `path` through "&Plik" and waits for its card.
    void choose(const QString& path) {
        m_chosen = path;
        QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
        ASSERT_TRUE(waitForCard());
    }
    QString write(int id, const std::vector<CellMark>& marks, const QString& name) {
        const QString path = m_dir.filePath(name);
        return render(cardSpec(id, id), 150.0, marks).save(path) ? path : QString();
    }
    int rows(int parameter) {
        return Conn().query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=%1").arg(parameter)).recordCount();
    }

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

    std::unique_ptr<MainWindow> m_window;
    bool m_clickWaits = true;
    QString m_chosen;
    QStringList m_dialogFolders; // where each file dialog opened
    const std::vector<CellMark> m_fullSamples{{1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7},
                                              {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}};
};

// A newer card replaces the one on screen and the one on its road: nothing of either is stored.
TEST_F(CardWindowTest, ANewerCardDropsTheCardsBeforeAndOnlyTheCardOnScreenIsStored) {
    const QString a = write(1, m_fullSamples, QStringLiteral("a.png"));
    const QString b = write(2, {{1, 4}, {2, 6}, {3, 8}, {4, 5}}, QStringLiteral("b.png"));
    const int rowsA = rows(1), rowsB = rows(2);

    choose(a);
    readAndList();
    ASSERT_GT(control<QListWidget>("List1")->count(), 1);
    QTest::mouseClick(control<QPushButton>("Command10"), Qt::LeftButton); // list closed for the correction
    QTest::mouseClick(control<QPushButton>("Command12"), Qt::LeftButton);
    ASSERT_TRUE(m_window->reading().deletionMode());

    // Another card of A's parameter, and B while that one is on its road: the window takes the click.
    m_clickWaits = false;
    m_chosen = write(1, m_fullSamples, QStringLiteral("a2.png"));
    QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
    ASSERT_TRUE(testing::WaitUntil([&] { return m_window->cards()->cardName() == QStringLiteral("a2.png"); }));
    ASSERT_TRUE(m_window->cards()->busy());
    choose(b);
    m_window->cards()->waitForWorker();
    QCoreApplication::processEvents(); // anything A's road still sent is dropped

    EXPECT_EQ(std::tuple(m_window->cards()->card().CardParameter.ID.toInt(), m_window->cards()->cardName(), status()),
              std::tuple(2, QStringLiteral("b.png"), QStringLiteral("Gotowy do czytania")));
    EXPECT_FALSE(control<QListWidget>("List1")->count() > 0 || m_window->reading().hasReading() || m_window->reading().deletionMode());
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
    EXPECT_TRUE(rows(2) == storedB && !m_window->hasUnsavedCard());

    // Closing the window drops a card on its road.
    m_chosen = a;
    QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
    EXPECT_TRUE(m_window->cards()->busy() && m_window->close() && !m_window->cards()->busy());
    m_window->cards()->waitForWorker();
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_window->cards()->card().DialogAccepted);
    EXPECT_NE(status(), QStringLiteral("Gotowy do czytania"));
}

// "&Plik": a file that is no picture is said, a good card only read. Esc asks only for a read,
// unsaved card; storing a stored card again needs a TAK (NIE the default).
TEST_F(CardWindowTest, FileCommandAndACardStoredAgainOnlyWhenTheOperatorSaysSo) {
    QList<int> ended;
    m_window->setEndProgram([&](int code) { ended << code; });
    const QString broken = m_dir.filePath(QStringLiteral("zepsuty.jpg"));
    WriteFile(broken, "\xff\xd8\xff\xe0 to nie jest obraz");
    choose(broken);
    EXPECT_TRUE(messages().size() == 1 && messages()[0].startsWith(CardPipeline::unreadableImageText({})));
    EXPECT_TRUE(m_window->cards()->card().ImagePath.isEmpty() && !QFileInfo::exists(tempBmp()));

    const QString folder = m_window->run().initialFolder, cards = m_dir.filePath(QStringLiteral("karty"));
    QDir().mkpath(cards);
    const QString b = cards + QStringLiteral("/b.jpg");
    ASSERT_TRUE(JpegRoundTrip(render(cardSpec(2, 2), 150.0, {{1, 4}, {2, 6}, {3, 8}}), 90).save(b, "JPG", 90));
    const QByteArray bytes = ReadFile(b), hash = AutoMode::fileHash(bytes);
    m_window->setStoredCheck([&](DbConnection&, const QByteArray& h) { return h == hash; });
    const int before = rows(2);
    m_messages.clear();
    choose(b);
    EXPECT_EQ(std::tuple(m_dialogFolders.last(), m_window->run().initialFolder, ReadFile(b)), std::tuple(folder, cards + u'/', bytes));
    const CardState& card = m_window->cards()->card();
    EXPECT_EQ(std::tuple(card.DialogAccepted, card.ImagePath, card.CardParameter.ID.toInt()), std::tuple(true, tempBmp(), 2));
    EXPECT_EQ(status(), QStringLiteral("Gotowy do czytania"));
    EXPECT_TRUE(control("P1")->size() == m_window->pictures().image(Picture::P1).size() && control("P1")->isVisible() && m_messages.empty());
    QTest::keyClick(m_window.get(), Qt::Key_Escape); // loaded, not read
    EXPECT_TRUE(ended == QList<int>{0} && questions().isEmpty());

    readAndList();
    m_answer = false;
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    EXPECT_EQ(std::pair(ended, questions()), std::pair(QList<int>{0}, QStringList{MainWindow::unsavedCardQuestion()}));
    EXPECT_TRUE(m_messages.back().style & 256);
    // A file that is no picture leaves the read card as it was.
    m_messages.clear();
    choose(broken);
    EXPECT_TRUE(messages().size() == 1 && m_window->hasUnsavedCard());
    m_messages.clear();
    QTest::mouseClick(control<QPushButton>("Command13"), Qt::LeftButton);
    EXPECT_EQ(questions(), QStringList{MainWindow::storedAgainQuestion(QStringLiteral("b.jpg"))});
    EXPECT_TRUE((m_messages.back().style & 256) && rows(2) == before && m_window->hasUnsavedCard());

    m_answer = true;
    saveConfirmed();
    EXPECT_EQ(std::tuple(rows(2), questions().size()), std::tuple(before + 3, 2));
    QTest::keyClick(m_window.get(), Qt::Key_Escape); // stored: no question
    EXPECT_EQ(std::pair(ended, questions().size()), std::pair(QList<int>{0, 0}, qsizetype(2)));
}

TEST(FileChoiceTest, FilterInQtsForm) {
    EXPECT_EQ(QtFileFilter(QStringLiteral("A|*.a;*.b|Wszystkie|*.*|B")), QStringLiteral("A (*.a *.b);;Wszystkie (*)")); // B without patterns
}

// A card read by hand, then automatic mode on (stored without any window, the refused kept) and off.
TEST_F(CardWindowTest, AutomaticModeTakesOverFromTheOperatorAndGivesBack) {
    const QImage card = render(cardSpec(1), 150.0, Marks(5, [](int s) { return s; }));
    const QImage white = testing::Filled(600, 800);
    const QString stored = m_folder + QStringLiteral("/karta.png"), refused = m_folder + QStringLiteral("/pusta.png");
    ASSERT_TRUE(card.save(stored) && white.save(refused));
    for (const QString& f : {stored, refused}) WriteFile(f, ReadFile(f));
    auto* command1 = control<QPushButton>("Command1");
    EXPECT_FALSE(command1->isEnabled()) << "no exchange folder yet";

    m_chosen = m_dir.filePath(QStringLiteral("reczna.png"));
    ASSERT_TRUE(card.save(m_chosen));
    for (const char* command : {"Command4", "Command7", "Command10"}) QTest::mouseClick(control(command), Qt::LeftButton);
    ASSERT_TRUE(m_window->hasUnsavedCard());

    m_window->optionsPanel()->exchangeFolderField()->setText(m_folder); // without the separator
    EXPECT_TRUE(command1->isEnabled());
    control<QCheckBox>("SSCheck4")->setChecked(true);
    const int before = rows(1);
    QTest::mouseClick(command1, Qt::LeftButton);
    EXPECT_TRUE(m_window->run().autoMode);
    EXPECT_FALSE(m_window->hasUnsavedCard() || m_window->reading().MeasurementCount() > 0) << "the operator's card is dropped";
    for (const char* name : {"Command2", "Command4", "Command6", "Command7", "Command13"})
        EXPECT_FALSE(control(name)->isEnabled()) << name;
    QTRY_COMPARE_WITH_TIMEOUT(rows(1), before + 1, 20000);
    QTRY_VERIFY(!QFile::exists(stored));
    EXPECT_TRUE(QFile::exists(refused));
    const QString status = control<QLabel>("LabelAuto")->text();
    for (const char* part : {"zapisane od włączenia: 1", "odrzucone w katalogu: 1", "ostatnia odmowa: Brak markera"})
        EXPECT_TRUE(status.contains(QString::fromUtf8(part))) << status.toStdString();
    EXPECT_TRUE(m_messages.empty() && !control("ProgBarXP1")->isVisible() && !control("Label3")->isVisible());
    auto* timer = control<QTimer>("Timer1");
    EXPECT_TRUE(timer->isActive());

    command1->setFocus();
    QTest::keyClick(command1, Qt::Key_Return); // Enter acts as a click
    EXPECT_FALSE(m_window->run().autoMode || timer->isActive());
    for (const char* name : {"Command2", "Command4", "Command6"}) EXPECT_TRUE(control(name)->isEnabled()) << name;
    EXPECT_EQ(rows(1), before + 1);
}

// The chosen scanner and resolution reach the device; a failed scan drops the card before it and
// leaves nothing to read; a scanned card is ready to read; while the device works the commands wait.
TEST_F(CardWindowTest, ScansFromTheChosenScannerFailedAndRead) {
    kartovo::testing::SaneTestConfig::install(); // the virtual test and file devices only
    auto* scans = m_window->findChild<ScanController*>();
    ASSERT_NE(scans, nullptr);
    auto chooser = testing::WhenModalShown([](QWidget* modal) {
        auto* list = modal->findChild<QListWidget*>(QStringLiteral("List1"));
        for (int i = 0; list && i < list->count(); ++i)
            if (list->item(i)->text().endsWith(QStringLiteral("(test:1)"))) list->setCurrentRow(i);
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("CommandOK")), Qt::LeftButton);
    });
    m_window->optionsPanel()->scannerButton()->click();
    EXPECT_EQ(stored(QStringLiteral("Start"), QStringLiteral("Skaner")), QStringLiteral("test:1"));
    m_window->optionsPanel()->applyOptions({.convertToBW = true, .scanResolution = 100});
    const ScanSettings settings = scans->nextScanSettings();
    EXPECT_EQ(std::tie(settings.device, settings.resolution, settings.mode),
              std::tuple(QStringLiteral("test:1"), 100, QStringLiteral("Color")));

    const QString page = m_dir.filePath(QStringLiteral("skan.ppm"));
    ASSERT_TRUE(render(cardSpec(9, 9)).convertToFormat(QImage::Format_RGB888).save(page, "PPM"));
    set(QStringLiteral("Start"), QStringLiteral("Skaner"), QStringLiteral("pnm:0"));
    for (const QString& file : {m_dir.filePath(QStringLiteral("nie-ma.ppm")), page}) {
        SCOPED_TRACE(file.toStdString());
        const bool read = file == page;
        choose(write(1, {}, QStringLiteral("wczesniejsza.png"))); // parameter 1; the scan brings 9
        ASSERT_TRUE(m_window->cards()->card().DialogAccepted);
        m_messages.clear();
        scans->setDeviceOptions({{QStringLiteral("filename"), file}, {QStringLiteral("status"), true}});
        QSignalSpy ended(scans, &ScanController::scanEnded);
        control<QPushButton>("Command2")->setFocus();
        QTest::keyClick(control<QPushButton>("Command2"), Qt::Key_Return); // Enter on the focused button
        ASSERT_TRUE(scans->busy() && !scans->Command2Click());
        const qsizetype dialogs = m_dialogFolders.size();
        QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
        ASSERT_TRUE(m_dialogFolders.size() == dialogs && ended.wait(60000) && waitForCard()); // no folder asked for
        for (const bool shown : {ended.first().first().toInt() == ScanOk, m_window->cards()->card().DialogAccepted,
                                 QFileInfo::exists(tempBmp()), control("P1")->isVisible(), control("Command7")->isEnabled()})
            EXPECT_EQ(shown, read);
        EXPECT_TRUE(control("Command2")->isEnabled() && control("Command4")->isEnabled() && m_messages.empty());
    }
    EXPECT_EQ(std::tuple(m_window->cards()->card().CardParameter.ID.toInt(), m_window->cards()->scannerSource(), status()),
              std::tuple(9, true, QStringLiteral("Gotowy do czytania")));
}

// Reading on the program's window: a click on the scaled view marks the card's own cell, the
// count strip keeps the card's width, the list shows the user's locale.
TEST(CardView, ReadCorrectListAndZoomOnTheProgramWindow) {
    using namespace kartovo::testing;
    MainWindow window;
    CardPictures& pictures = window.pictures();
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 3, 4);
    const Record parameter = GridParameter(g, 1);
    pictures.setImage(Picture::P1, clean);
    // The window's own controller, fed with the synthetic card.
    ReadingState& state = window.reading();
    window.readingController()->setInput([&] { return ReadingInput{clean, parameter, RangeOf(parameter)}; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    auto* command7 = window.findChild<QPushButton*>("Command7");
    command7->setEnabled(true); // as a processed card leaves it
    QTest::mouseClick(command7, Qt::LeftButton);
    EXPECT_EQ(std::pair(state.MeasurementCount(), pictures.image(Picture::P3).size()), std::pair(1, QSize(g.width(), 19)));

    EXPECT_EQ(std::tuple(window.findChild<QScrollBar*>("WPoziom")->maximum(), window.findChild<QScrollBar*>("WPion")->maximum(), VerticalScrollMaximum(300, 359)),
              std::tuple(0, 0, 41)) << "a card smaller than the window does not scroll; down, one less than 60 pixels smaller does";
    window.setCardScale(2.0);
    QWidget* p1 = window.findChild<QWidget*>("P1");
    EXPECT_TRUE(p1->size() == pictures.image(Picture::P1).size() * 2 && window.findChild<QWidget*>("P3")->width() == p1->width());
    QTest::mouseClick(window.findChild<QPushButton*>("Command11"), Qt::LeftButton); // adding marks
    const QPoint cell = g.centre(5, 2);
    QTest::mouseMove(p1, cell * 2);
    QTest::mouseClick(p1, Qt::LeftButton, Qt::NoModifier, cell * 2);
    ASSERT_EQ(state.MeasurementCount(), 2);
    EXPECT_EQ(std::pair(state.measurements().back().section, pictures.image(Picture::P1).pixel(cell)), std::pair(5, 0xffff0000u));

    // Values are shown in the user's locale, whatever it is.
    const QLocale user;
    QLocale::setDefault(QLocale::c());
    QTest::mouseClick(window.widgets().command10, Qt::LeftButton);
    QLocale::setDefault(user);
    EXPECT_EQ(window.listPanel()->list()->item(2)->text(), "2. \t5.\t10.25");

    // Ctrl and the wheel zoom out again.
    QWheelEvent wheel(QPointF(10, 10), p1->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(p1, &wheel);
    EXPECT_DOUBLE_EQ(window.cardScale(), 2.0 / 1.25);
}

} // namespace
} // namespace kartovo::test
