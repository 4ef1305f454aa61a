#include "AppTestSupport.h"

#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "db/Connection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <memory>

using namespace kartovo;

namespace {

class StartupTest : public test::AppTest {
protected:
    std::unique_ptr<MainWindow> makeWindow() {
        auto w = std::make_unique<MainWindow>();
        w->setEndProgram([this](int code) { m_exitCodes.push_back(code); });
        w->setDatabaseStartup([this](const DatabaseConfig& c) {
            m_configs.push_back(c);
            return m_databaseOk;
        });
        return w;
    }
    template <typename T = QWidget>
    static T* child(const MainWindow& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    // Clicks a check box near its left edge, where the box itself is.
    static void clickBox(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }

    std::vector<int> m_exitCodes;
    std::vector<DatabaseConfig> m_configs;
    bool m_databaseOk = true;
};

const QString kStart = QStringLiteral("Start");

} // namespace

TEST_F(StartupTest, EveryControlExistsWithItsCaptionAndInitialState) {
    auto w = makeWindow();
    const std::pair<const char*, const char*> buttons[] = {
        {"Command2", "&Skan"},        {"Command4", "&Plik"},          {"Command7", "&Czytaj"},
        {"Command10", "Po&miary"},    {"Command11", "&Wskaż"},        {"Command12", "&Usuń"},
        {"Command6", "&Ustawienia"},  {"Command1", "Auto OFF"},       {"Command13", "&Zapisz"},
        {"Command14", "&Wskaż skaner"}};
    for (const auto& [name, caption] : buttons) {
        auto* b = child<QPushButton>(*w, name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), QString::fromUtf8(caption)) << name;
    }
    for (const char* name : {"Command7", "Command10", "Command11", "Command12"})
        EXPECT_FALSE(child<QPushButton>(*w, name)->isEnabled()) << name;
    for (const char* name : {"Command2", "Command4", "Command6"})
        EXPECT_TRUE(child<QPushButton>(*w, name)->isEnabled()) << name;
    // No exchange folder stored: automatic mode cannot be switched on.
    EXPECT_FALSE(child<QPushButton>(*w, "Command1")->isEnabled());
    for (const char* name : {"SSPanel2", "ProgBarXP1", "Label3", "Label2", "Image1", "Image2", "Label4", "P1", "P2",
                             "P3", "P4", "Image4", "WPion", "WPoziom", "SSPanel1", "List1", "SSCommand2", "SSPanel4",
                             "XPButton1", "Text1", "Image3", "Picture2", "FlatScrollBar1", "FlatScrollBar2",
                             "FlatScrollBar3", "Combo3", "Combo4", "Combo5", "Timer1"})
        EXPECT_NE(w->findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
    const std::pair<const char*, const char*> boxes[] = {
        {"SSCheck1", "Pytaj o poprawność identyfikacji karty danych"},
        {"SSCheck4", "Usuń plik przetworzonego obrazu (tylko AUTO)"},
        {"SSCheck5", "Przetwarzaj automatycznie"},
        {"SSCheck2", "Konwertuj na B&&W"},
        {"SSCheck3", "Filtruj szumy"},
        {"XPCheck1", "Filtr kolorów"}};
    for (const auto& [name, caption] : boxes) EXPECT_EQ(child<QCheckBox>(*w, name)->text(), QString::fromUtf8(caption));
    EXPECT_EQ(w->findChildren<QRadioButton*>(QStringLiteral("XPOption1")).size(), 3);
    EXPECT_EQ(w->findChildren<QLabel*>(QStringLiteral("Label6")).size(), 3);
    EXPECT_EQ(child<QComboBox>(*w, "Combo5")->itemText(2), QStringLiteral("w Lewo"));
    EXPECT_EQ(child<QComboBox>(*w, "Combo4")->itemText(1), QStringLiteral("Średnia"));
}

TEST_F(StartupTest, FirstStartWithOnlyTheDatabaseFileConfigured) {
    configureDatabaseFile();
    auto w = makeWindow();
    ASSERT_TRUE(w->start());
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_exitCodes.empty());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(child<QLabel>(*w, "Label2")->text(), QStringLiteral("20%"));
    for (const char* name : {"SSCheck1", "SSCheck2", "SSCheck3", "SSCheck4", "SSCheck5", "XPCheck1"})
        EXPECT_FALSE(child<QCheckBox>(*w, name)->isChecked()) << name;
    EXPECT_EQ(w->optionsPanel()->conversionSensitivity(), 0);
    EXPECT_EQ(w->optionsPanel()->filterSensitivity(), 0);
    EXPECT_EQ(w->optionsPanel()->rotation(), 0);
    EXPECT_EQ(w->optionsPanel()->filterColour(), 0);
    EXPECT_TRUE(w->findChildren<QRadioButton*>(QStringLiteral("XPOption1")).at(0)->isChecked());
    for (const char* name : {"FlatScrollBar1", "FlatScrollBar2", "FlatScrollBar3"})
        EXPECT_EQ(child<QScrollBar>(*w, name)->value(), 0);
    ASSERT_EQ(m_configs.size(), 1u);
    EXPECT_EQ(m_configs[0].dbType, QStringLiteral("MDB"));
    EXPECT_EQ(w->run().dateFormat, QStringLiteral("yyyy-mm-dd"));
    EXPECT_FALSE(w->run().autoMode || w->run().entryMode || w->run().deletionMode);
}

TEST_F(StartupTest, OddStoredValuesDoNotStopTheStart) {
    configureDatabaseFile();
    set(kStart, QStringLiteral("Automat"), QStringLiteral("7"));
    set(kStart, QStringLiteral("FiltrRGB"), QStringLiteral("9"));
    set(kStart, QStringLiteral("FiltrKolor"), QStringLiteral("1"));
    set(kStart, QStringLiteral("FiltrGV"), QStringLiteral("999"));
    set(kStart, QStringLiteral("CzuloscK"), QStringLiteral("5"));
    set(kStart, QStringLiteral("KonwersjaCB"), QStringLiteral("1"));
    auto w = makeWindow();
    ASSERT_TRUE(w->start());
    EXPECT_FALSE(child<QCheckBox>(*w, "SSCheck1")->isChecked());
    EXPECT_TRUE(w->findChildren<QRadioButton*>(QStringLiteral("XPOption1")).at(0)->isChecked());
    EXPECT_EQ(w->optionsPanel()->filterColour(), 0);
    EXPECT_EQ(child<QScrollBar>(*w, "FlatScrollBar2")->value(), 0);
    // A position the list does not have shows as no choice.
    EXPECT_EQ(child<QComboBox>(*w, "Combo3")->currentIndex(), -1);
}

TEST_F(StartupTest, R1WhenTheDatabaseIsNotConfigured) {
    bool visibleWhenShown = true;
    auto w = makeWindow();
    SetMessagePresenter([&](const MessageRequest& r) {
        m_messages.push_back(r);
        visibleWhenShown = w->isVisible();
        return false;
    });
    EXPECT_FALSE(w->start());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(lastMessageLines(),
              QStringList({QStringLiteral("Nie skonfigurowano połączenia z bazą danych, na której pracować program ma."),
                           QStringLiteral("Przed uruchomieniem oprogramowania pomiarowego, uruchom NORV Vedi - SPC !")}));
    EXPECT_EQ(m_messages[0].style, 16);
    EXPECT_EQ(m_messages[0].alignment, 2);
    EXPECT_EQ(m_messages[0].title, QStringLiteral("UWAGA !!!"));
    EXPECT_FALSE(visibleWhenShown);
    EXPECT_EQ(m_exitCodes.size(), 1u);
    EXPECT_TRUE(m_configs.empty());
    EXPECT_TRUE(w->ended());
}

TEST_F(StartupTest, R2NamesTheFolderInUpperCaseOverTheWindow) {
    set(QStringLiteral("Baza"), QStringLiteral("TypBazy"), QStringLiteral("1"));
    const QString folder = m_dir.filePath(QStringLiteral("Bazy/Dane_spc"));
    QDir().mkpath(folder);
    set(kStart, QStringLiteral("Sciezka"), folder);
    set(kStart, QStringLiteral("Procent"), QStringLiteral("30%"));
    bool visibleWhenShown = false;
    auto w = makeWindow();
    SetMessagePresenter([&](const MessageRequest& r) {
        m_messages.push_back(r);
        visibleWhenShown = w->isVisible();
        return false;
    });
    EXPECT_FALSE(w->start());
    EXPECT_TRUE(visibleWhenShown);
    EXPECT_EQ(lastMessageLines(),
              QStringList({QStringLiteral("W podanej lokalizacji:"), folder.toUpper(),
                           QStringLiteral("nie znaleziono pliku NORV.MDB"),
                           QStringLiteral("Uruchom program główny NORV Vedi - SPC aby poprawnie zdefiniować położenie "
                                          "baz danych - Przerywam !")}));
    EXPECT_NE(folder, folder.toUpper());
    EXPECT_EQ(m_exitCodes.size(), 1u);
    EXPECT_TRUE(m_configs.empty());
    // Ending after a refusal is not a normal close: nothing is saved.
    w->close();
    EXPECT_EQ(stored(kStart, QStringLiteral("Automat")), QString());
}

TEST_F(StartupTest, DatabaseFileNameMatchesWithoutRegardToCase) {
    set(QStringLiteral("Baza"), QStringLiteral("TypBazy"), QStringLiteral("1"));
    set(kStart, QStringLiteral("Sciezka"), databaseFolder(QStringLiteral("NORV.MDB")));
    auto w = makeWindow();
    EXPECT_TRUE(w->start());
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(StartupTest, R3WhenTheOdbcDatabaseIsEmptyWhateverElseIsSet) {
    set(QStringLiteral("Baza"), QStringLiteral("TypBazy"), QStringLiteral("5"));
    set(QStringLiteral("ODBC"), QStringLiteral("Driver"), QStringLiteral("PostgreSQL Unicode"));
    set(QStringLiteral("ODBC"), QStringLiteral("Server"), QStringLiteral("localhost"));
    set(QStringLiteral("ODBC"), QStringLiteral("UID"), QStringLiteral("spc"));
    auto w = makeWindow();
    EXPECT_FALSE(w->start());
    EXPECT_EQ(lastMessageLines(), QStringList({QStringLiteral("Nie zdefiniowano źródła danych ODBC !"),
                                               QStringLiteral("Uruchom program główny NORV Vedi - SPC aby "
                                                              "zdefiniować źródło."),
                                               QStringLiteral("Przerywam działanie programu !!!")}));
    EXPECT_EQ(m_exitCodes.size(), 1u);
    EXPECT_TRUE(m_configs.empty());
}

TEST_F(StartupTest, AnyOtherTypeSelectsTheServerAndHandsItsSettingsOn) {
    set(QStringLiteral("Baza"), QStringLiteral("TypBazy"), QStringLiteral("2"));
    set(QStringLiteral("ODBC"), QStringLiteral("Driver"), QStringLiteral("SQLite3"));
    set(QStringLiteral("ODBC"), QStringLiteral("Server"), QStringLiteral("srv"));
    set(QStringLiteral("ODBC"), QStringLiteral("Database"), QStringLiteral("spc.db"));
    set(QStringLiteral("ODBC"), QStringLiteral("UID"), QStringLiteral("jan"));
    set(QStringLiteral("ODBC"), QStringLiteral("PWD"), QStringLiteral("tajne"));
    auto w = makeWindow();
    ASSERT_TRUE(w->start());
    ASSERT_EQ(m_configs.size(), 1u);
    const DatabaseConfig& c = m_configs[0];
    EXPECT_EQ(c.dbType, QStringLiteral("SQL"));
    EXPECT_EQ(c.odbcDriver, QStringLiteral("SQLite3"));
    EXPECT_EQ(c.odbcServer, QStringLiteral("srv"));
    EXPECT_EQ(c.odbcDatabase, QStringLiteral("spc.db"));
    EXPECT_EQ(c.odbcUser, QStringLiteral("jan"));
    EXPECT_EQ(c.odbcPassword, QStringLiteral("tajne"));
}

TEST_F(StartupTest, ServerPortWrittenInTheSettingsFileReachesTheConnectionText) {
    // The INI format ends an unquoted value at ';': the port is kept either
    // in a quoted server value or under a key of its own.
    const struct {
        const char* odbcLines;
        const char* expected;
    } cases[] = {
        {"Server=\"db.example;PORT=5433\"\n", "DRIVER=PostgreSQL Unicode;SERVER=db.example;PORT=5433;DATABASE=spc;UID=jan;PWD="},
        {"Server=db.example\nPort=5433\n", "DRIVER=PostgreSQL Unicode;SERVER=db.example;DATABASE=spc;UID=jan;PWD=;PORT=5433"},
        {"Server=db.example;PORT=5433\n", "DRIVER=PostgreSQL Unicode;SERVER=db.example;DATABASE=spc;UID=jan;PWD="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.odbcLines);
        QFile ini(m_iniPath);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(QByteArray("[Baza]\nTypBazy=2\n[ODBC]\nDriver=PostgreSQL Unicode\nDatabase=spc\nUID=jan\n") +
                  c.odbcLines);
        ini.close();
        m_configs.clear();
        auto w = makeWindow();
        ASSERT_TRUE(w->start());
        ASSERT_EQ(m_configs.size(), 1u);
        const QString text = NormalizeConnectionString(BuildConnectionString(m_configs[0]));
        EXPECT_EQ(text, QString::fromLatin1(c.expected));
    }
}

TEST_F(StartupTest, FailedDatabaseStartupEndsTheProgram) {
    configureDatabaseFile();
    m_databaseOk = false;
    auto w = makeWindow();
    EXPECT_FALSE(w->start());
    EXPECT_EQ(m_exitCodes.size(), 1u);
    EXPECT_TRUE(w->ended());
    EXPECT_FALSE(w->isVisible());
}

TEST_F(StartupTest, ThresholdImagesStepTheCaptionAndEnableReading) {
    configureDatabaseFile();
    set(kStart, QStringLiteral("Procent"), QStringLiteral("1%"));
    auto w = makeWindow();
    ASSERT_TRUE(w->start());
    auto* lower = child<QWidget>(*w, "Image1");
    auto* raise = child<QWidget>(*w, "Image2");
    auto* read = child<QPushButton>(*w, "Command7");
    EXPECT_FALSE(read->isEnabled());
    QTest::mouseClick(lower, Qt::LeftButton);
    EXPECT_EQ(w->thresholdCaption(), QStringLiteral("0%"));
    EXPECT_TRUE(read->isEnabled());
    QTest::mouseClick(lower, Qt::LeftButton);
    EXPECT_EQ(w->thresholdCaption(), QStringLiteral("-1%"));
    for (int i = 0; i < 3; ++i) QTest::mouseClick(raise, Qt::LeftButton);
    EXPECT_EQ(w->thresholdCaption(), QStringLiteral("2%"));
}

TEST_F(StartupTest, EscEndsAtOnceAndTheNextStartShowsTheOldThreshold) {
    configureDatabaseFile();
    set(kStart, QStringLiteral("Procent"), QStringLiteral("30%"));
    {
        auto w = makeWindow();
        ASSERT_TRUE(w->start());
        QTest::mouseClick(child<QWidget>(*w, "Image2"), Qt::LeftButton);
        EXPECT_EQ(w->thresholdCaption(), QStringLiteral("31%"));
        // Esc reaches the window from whichever control has the focus.
        auto* scan = child<QPushButton>(*w, "Command2");
        scan->setFocus();
        QTest::keyClick(scan, Qt::Key_Escape);
        ASSERT_EQ(m_exitCodes, std::vector<int>{0});
        EXPECT_TRUE(w->ended());
        w->close();
    }
    EXPECT_EQ(stored(kStart, QStringLiteral("Procent")), QStringLiteral("30%"));
    auto again = makeWindow();
    ASSERT_TRUE(again->start());
    EXPECT_EQ(again->thresholdCaption(), QStringLiteral("30%"));
}

TEST_F(StartupTest, NormalCloseSavesTheOptions) {
    configureDatabaseFile();
    set(kStart, QStringLiteral("InitDir"), QStringLiteral("/karty"));
    auto w = makeWindow();
    ASSERT_TRUE(w->start());
    QTest::mouseClick(child<QWidget>(*w, "Image1"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(*w, "Command6"), Qt::LeftButton);
    clickBox(child<QCheckBox>(*w, "SSCheck3"));
    clickBox(child<QCheckBox>(*w, "XPCheck1"));
    auto options = w->findChildren<QRadioButton*>(QStringLiteral("XPOption1"));
    QTest::mouseClick(options.at(2), Qt::LeftButton, {}, QPoint(6, options.at(2)->height() / 2));
    child<QScrollBar>(*w, "FlatScrollBar1")->setValue(128);
    auto* rotation = child<QComboBox>(*w, "Combo5");
    rotation->setCurrentIndex(1);
    w->close();
    EXPECT_TRUE(m_exitCodes.empty());
    EXPECT_EQ(stored(kStart, QStringLiteral("Procent")), QStringLiteral("19%"));
    EXPECT_EQ(stored(kStart, QStringLiteral("FiltrCB")), QStringLiteral("1"));
    EXPECT_EQ(stored(kStart, QStringLiteral("FiltrKolor")), QStringLiteral("1"));
    EXPECT_EQ(stored(kStart, QStringLiteral("KonwersjaCB")), QStringLiteral("0"));
    EXPECT_EQ(stored(kStart, QStringLiteral("FiltrRGB")), QStringLiteral("2"));
    EXPECT_EQ(stored(kStart, QStringLiteral("FiltrRV")), QStringLiteral("128"));
    EXPECT_EQ(stored(kStart, QStringLiteral("Obrot")), QStringLiteral("1"));
    EXPECT_EQ(stored(kStart, QStringLiteral("InitDir")), QStringLiteral("/karty"));
    // The main program's settings are never written.
    EXPECT_EQ(stored(QStringLiteral("Baza"), QStringLiteral("TypBazy")), QStringLiteral("1"));
}

TEST_F(StartupTest, ActivationShowsTheStoredPositionsInVisibleLists) {
    configureDatabaseFile();
    set(kStart, QStringLiteral("KonwersjaCB"), QStringLiteral("1"));
    set(kStart, QStringLiteral("CzuloscK"), QStringLiteral("2"));
    set(kStart, QStringLiteral("Obrot"), QStringLiteral("1"));
    auto w = makeWindow();
    ASSERT_TRUE(w->start());
    auto* conversion = child<QComboBox>(*w, "Combo3");
    auto* rotation = child<QComboBox>(*w, "Combo5");
    EXPECT_EQ(conversion->currentIndex(), 2);
    {
        const QSignalBlocker a(conversion), b(rotation);
        conversion->setCurrentIndex(0);
        rotation->setCurrentIndex(0);
    }
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(w.get(), &activate);
    EXPECT_EQ(conversion->currentIndex(), 2);
    EXPECT_EQ(rotation->currentIndex(), 1);
}

TEST_F(StartupTest, CardViewRestsAtEightyWithTheCountStripAbove) {
    configureDatabaseFile();
    auto w = makeWindow();
    ASSERT_TRUE(w->start());
    auto* p1 = child<QWidget>(*w, "P1");
    auto* p3 = child<QWidget>(*w, "P3");
    EXPECT_EQ(p1->y(), 80);
    EXPECT_EQ(p3->y(), 58);
    EXPECT_EQ(p3->height(), 19);
    EXPECT_EQ(p3->x(), p1->x());
    EXPECT_EQ(p3->width(), p1->width());

    QImage card(2000, 300, QImage::Format_RGB32);
    card.fill(Qt::white);
    w->pictures().setImage(Picture::P1, card);
    EXPECT_EQ(p1->size(), card.size());
    EXPECT_EQ(p3->width(), 2000);
    auto* horizontal = child<QScrollBar>(*w, "WPoziom");
    const int clientWidth = w->centralWidget()->width();
    EXPECT_EQ(horizontal->maximum(), 2000 - clientWidth + 20);
    horizontal->setValue(150);
    EXPECT_EQ(p1->x(), -150);
    EXPECT_EQ(p3->x(), -150);
    EXPECT_EQ(p3->y(), 58);
}

TEST_F(StartupTest, EscFromTheOptionsPanelControlsAlsoEndsTheProgram) {
    configureDatabaseFile();
    for (const char* name : {"Combo5", "Text1", "FlatScrollBar1"}) {
        auto w = makeWindow();
        ASSERT_TRUE(w->start());
        w->optionsPanel()->toggle();
        auto* control = child<QWidget>(*w, name);
        control->setVisible(true);
        control->setFocus();
        m_exitCodes.clear();
        QTest::keyClick(control, Qt::Key_Escape);
        EXPECT_EQ(m_exitCodes, std::vector<int>{0}) << name;
    }
}
