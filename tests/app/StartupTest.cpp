#include "AppTestSupport.h"

#include "app/StationOptions.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/OptionsPanel.h"
#include "db/Connection.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <tuple>

using namespace kartovo;

namespace {

const QString kStart = QStringLiteral("Start");
using StationOptionsTest = test::AppTest;

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

// The main window on the test's settings; database start-up and program end recorded.
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
    template <typename T = QWidget> static T* child(const MainWindow& w, const char* name) {
        return w.findChild<T*>(QLatin1String(name));
    }
    // Clicks a check box or option near its left edge, where the box itself is.
    static void clickBox(QWidget* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }

    std::vector<int> m_exitCodes;
    std::vector<DatabaseConfig> m_configs;
    bool m_databaseOk = true;
};

} // namespace

// The settings file decides the database started on, or the one refusal that ends the program.
TEST_F(StartupTest, SettingsChooseTheDatabaseOrTheRefusal) {
    const QString missing = m_dir.filePath(QStringLiteral("Bazy/Dane_spc"));
    QDir().mkpath(missing);
    const QByteArray mdb = "[Baza]\nTypBazy=1\n[Start]\nSciezka=";
    const QByteArray odbc = "[Baza]\nTypBazy=2\n[ODBC]\nDriver=PostgreSQL Unicode\nDatabase=spc\nUID=jan\n";
    const struct {
        QByteArray ini;
        bool databaseOk;
        QString said;           // part of the one refusal shown, empty for none
        const char* connection; // what the database start-up got, "" when not called
    } cases[] = {
        {"", true, "Nie skonfigurowano połączenia z bazą danych", ""},
        {mdb + missing.toUtf8(), true, missing.toUpper() + QStringLiteral("\rnie znaleziono pliku NORV.MDB"), ""},
        {mdb + databaseFolder(QStringLiteral("NORV.MDB")).toUtf8(), true, "", "MDB"}, // the name in any case
        {mdb + databaseFolder().toUtf8(), false, "", "MDB"},
        {"[Baza]\nTypBazy=5\n[ODBC]\nDriver=PostgreSQL Unicode\nServer=localhost\nUID=spc\n", true,
         "Nie zdefiniowano źródła danych ODBC", ""},
        {"[Baza]\nTypBazy=7\n[ODBC]\nDriver=SQLite3\nServer=srv\nDatabase=spc.db\nUID=jan\nPWD=tajne\n", true, "",
         "DRIVER=SQLite3;SERVER=srv;DATABASE=spc.db;UID=jan;PWD=tajne"},
        // An unquoted value ends at ';': the port is quoted or under a key of its own.
        {odbc + "Server=\"db.example;PORT=5433\"\n", true, "",
         "DRIVER=PostgreSQL Unicode;SERVER=db.example;PORT=5433;DATABASE=spc;UID=jan;PWD="},
        {odbc + "Server=db.example\nPort=5433\n", true, "",
         "DRIVER=PostgreSQL Unicode;SERVER=db.example;DATABASE=spc;UID=jan;PWD=;PORT=5433"},
        {odbc + "Server=db.example;PORT=5433\n", true, "",
         "DRIVER=PostgreSQL Unicode;SERVER=db.example;DATABASE=spc;UID=jan;PWD="}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini.toStdString());
        test::WriteFile(m_iniPath, c.ini);
        m_messages.clear(), m_exitCodes.clear(), m_configs.clear();
        m_databaseOk = c.databaseOk;
        const bool started = c.databaseOk && c.said.isEmpty();
        auto w = makeWindow();
        const std::tuple shown{w->start(), w->isVisible(), m_exitCodes.size()}; // in this order
        ASSERT_EQ(std::pair(shown, m_messages.size()), std::pair(std::tuple(started, started, std::size_t(!started)), std::size_t(!c.said.isEmpty())));
        if (!c.said.isEmpty()) {
            EXPECT_TRUE(m_messages[0].text.contains(c.said)) << m_messages[0].text.toStdString();
        }
        ASSERT_EQ(m_configs.size(), *c.connection ? 1u : 0u);
        if (m_configs.empty()) continue;
        if (m_configs[0].dbType == QStringLiteral("MDB")) EXPECT_STREQ(c.connection, "MDB");
        else EXPECT_EQ(NormalizeConnectionString(BuildConnectionString(m_configs[0])), QString::fromUtf8(c.connection));
        // Ending after a refusal is not a normal close: nothing is saved.
        w->close();
        EXPECT_EQ(stored(kStart, QStringLiteral("Procent")).isEmpty(), !started);
    }
}

// A normal close saves the panel's choices (never the main program's); Esc ends without saving.
TEST_F(StartupTest, NormalCloseSavesTheChoicesOfThePanelAndEscNothing) {
    test::WriteFile(m_iniPath, "[Baza]\nTypBazy=1\n[Start]\nInitDir=/karty\nAutoDir=/wymiana/\nProcent=1%\nSciezka=" +
                                   databaseFolder().toUtf8());
    auto w = makeWindow();
    ASSERT_TRUE(w->start());
    OptionsPanel& panel = *w->optionsPanel();
    for (int i = 0; i < 2; ++i) QTest::mouseClick(child(*w, "Image1"), Qt::LeftButton);
    EXPECT_EQ(w->thresholdCaption(), QStringLiteral("-1%"));
    QTest::mouseClick(child(*w, "Command6"), Qt::LeftButton);
    ASSERT_TRUE(panel.isVisible());
    // Conversion and colour filter exclude each other.
    clickBox(child(*w, "SSCheck2"));
    EXPECT_FALSE(child(*w, "XPCheck1")->isVisibleTo(&panel));
    clickBox(child(*w, "SSCheck2"));
    clickBox(child(*w, "XPCheck1"));
    clickBox(child(*w, "SSCheck3"));
    clickBox(w->findChildren<QRadioButton*>(QStringLiteral("XPOption1")).at(2));
    child<QScrollBar>(*w, "FlatScrollBar1")->setValue(128);
    // The lists take arrows, not typed letters; the exchange folder takes Polish letters.
    const auto type = [](QWidget* w, const QString& letters) {
        w->setFocus();
        for (const QChar letter : letters) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, letter);
            QApplication::sendEvent(w, &key);
        }
    };
    auto* rotation = child<QComboBox>(*w, "Combo5");
    type(rotation, QStringLiteral("wś"));
    QTest::keyClick(rotation, Qt::Key_Down);
    panel.exchangeFolderField()->end(false);
    type(panel.exchangeFolderField(), QStringLiteral("żółw/"));
    w->close();
    EXPECT_TRUE(m_exitCodes.empty() && m_messages.empty());
    const std::pair<const char*, const char*> saved[] = {
        {"Procent", "-1%"}, {"FiltrCB", "1"}, {"FiltrKolor", "1"}, {"KonwersjaCB", "0"}, {"FiltrRGB", "2"},
        {"FiltrRV", "128"}, {"Obrot", "1"}, {"InitDir", "/karty"}, {"AutoDir", "/wymiana/żółw/"}};
    for (const auto& [key, value] : saved) EXPECT_EQ(stored(kStart, QLatin1String(key)), QString::fromUtf8(value)) << key;
    EXPECT_EQ(stored(QStringLiteral("Baza"), QStringLiteral("TypBazy")), QStringLiteral("1"));

    for (const char* name : {"Combo5", "FlatScrollBar1"}) {
        w = makeWindow();
        ASSERT_TRUE(w->start());
        QTest::mouseClick(child(*w, "Image2"), Qt::LeftButton);
        EXPECT_EQ(w->thresholdCaption(), QStringLiteral("0%"));
        w->optionsPanel()->toggle();
        child(*w, name)->setVisible(true);
        child(*w, name)->setFocus();
        QTest::keyClick(child(*w, name), Qt::Key_Escape);
        EXPECT_TRUE(m_exitCodes == std::vector<int>{0} && w->ended()) << name;
        w->close();
        EXPECT_EQ(stored(kStart, QStringLiteral("Procent")), QStringLiteral("-1%"));
        m_exitCodes.clear();
    }
}

// Stored values as other programs leave them, and what the station makes of each.
TEST_F(StationOptionsTest, StoredValuesAreReadAsTheControlsCanShowThem) {
    const struct {
        const char* key;
        const char* value;
        std::function<QVariant(const StationOptions&)> field;
        QVariant expected;
    } cases[] = {
        {"Procent", "", [](auto& o) { return o.thresholdCaption; }, QStringLiteral("20%")},
        {"Procent", "0%", [](auto& o) { return o.thresholdCaption; }, QStringLiteral("20%")},
        {"Procent", "-3%", [](auto& o) { return o.thresholdCaption; }, QStringLiteral("-3%")},
        {"Procent", " 35%", [](auto& o) { return o.thresholdCaption; }, QStringLiteral("35%")},
        {"Automat", "1", [](auto& o) { return o.askConfirmation; }, true},
        {"Automat", "7", [](auto& o) { return o.askConfirmation; }, false},
        {"Automat1", "1", [](auto& o) { return o.deleteProcessedFile; }, true},
        {"Automat2", "1", [](auto& o) { return o.processAutomatically; }, true},
        {"KonwersjaCB", "1.4", [](auto& o) { return o.convertToBW; }, true}, // rounds to 1
        {"FiltrCB", "1", [](auto& o) { return o.removeNoise; }, true},
        {"FiltrKolor", "1", [](auto& o) { return o.colourFilter; }, true},
        {"FiltrRGB", "2", [](auto& o) { return o.filterColour; }, 2},
        {"FiltrRGB", "3", [](auto& o) { return o.filterColour; }, 0},
        {"FiltrRV", "255", [](auto& o) { return o.filterRed; }, 255},
        {"FiltrRV", "300", [](auto& o) { return o.filterRed; }, 0},
        {"FiltrGV", "-1", [](auto& o) { return o.filterGreen; }, 0},
        {"FiltrBV", "254.5", [](auto& o) { return o.filterBlue; }, 254}, // halves go to even
        {"Obrot", "2.5", [](auto& o) { return o.rotation; }, 2},
        {"CzuloscK", "-1", [](auto& o) { return o.conversionSensitivity; }, -1}, // no choice in the list
        {"CzuloscF", "2", [](auto& o) { return o.filterSensitivity; }, 2},
        {"AutoZwloka", "", [](auto& o) { return o.settleSeconds; }, 10},
        {"AutoZwloka", "0", [](auto& o) { return o.settleSeconds; }, 0},
        {"AutoZwloka", "4", [](auto& o) { return o.settleSeconds; }, 4},
        {"AutoZwloka", "-3", [](auto& o) { return o.settleSeconds; }, 0},
        {"AutoDir", "/srv/wymiana/", [](auto& o) { return o.exchangeFolder; }, QStringLiteral("/srv/wymiana/")},
        {"Stanowisko", " Linia 2 ", [](auto& o) { return o.stationName; }, QStringLiteral("Linia 2")},
        {"Rozdzielczosc", "", [](auto& o) { return o.scanResolution; }, 150},
        // Only a resolution the panel offers; anything else scans at the default.
        {"Rozdzielczosc", "300", [](auto& o) { return o.scanResolution; }, 300},
        {"Rozdzielczosc", "600", [](auto& o) { return o.scanResolution; }, 150},
        {"Rozdzielczosc", "-150", [](auto& o) { return o.scanResolution; }, 150},
        // Words where numbers belong are named, not silently read as 0.
        {"FiltrCB", "tak", [](auto& o) { return o.invalidNumbers; }, QStringList{QStringLiteral("FiltrCB")}},
        {"AutoZwloka", "dwie", [](auto& o) { return o.invalidNumbers; }, QStringList{QStringLiteral("AutoZwloka")}},
        {"Procent", "35%", [](auto& o) { return o.invalidNumbers; }, QStringList()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        QFile::remove(m_iniPath);
        set(kStart, QLatin1String(c.key), QString::fromUtf8(c.value));
        EXPECT_EQ(c.field(ReadStationOptions(SettingsStore())), c.expected);
    }
    set(kStart, QStringLiteral("FiltrCB"), QStringLiteral("tak"));
    const QString said = InvalidNumbersMessage(ReadStationOptions(SettingsStore()));
    EXPECT_TRUE(said.contains(QStringLiteral("Start/FiltrCB"))) << said.toStdString();
    // The panel shows the same: what it does not offer is the default.
    QWidget parent;
    OptionsPanel panel(&parent);
    for (const auto& [shown, read] : {std::pair{100, 100}, {200, 200}, {600, 150}, {0, 150}}) {
        panel.applyOptions({.scanResolution = shown});
        EXPECT_EQ(panel.options().scanResolution, read) << shown;
    }
}

TEST_F(StationOptionsTest, ThresholdStepsWithoutBoundsInTheShortestForm) {
    EXPECT_EQ(ThresholdCaption(2.5), QStringLiteral("2.5%"));
    const std::tuple<const char*, int, const char*> steps[] = {
        {"20%", -1, "19%"}, {"0%", -1, "-1%"}, {"100%", +1, "101%"}, {"2.5%", +1, "3.5%"}, {"-1%", +1, "0%"}};
    for (const auto& [from, delta, to] : steps)
        EXPECT_EQ(StepThreshold(QLatin1String(from), delta), QLatin1String(to)) << from << delta;
}

// Written options read back the same; the settle time is written only when not the default.
TEST_F(StationOptionsTest, WrittenOptionsReadBackTheSame) {
    const auto write = [this](const StationOptions& o) { // in the file at once, while the store is still open
        SettingsStore store;
        WriteStationOptions(store, o);
        return kartovo::testing::ReadFile(m_iniPath);
    };
    write({});
    EXPECT_EQ(std::pair(stored(kStart, QStringLiteral("AutoZwloka")), stored(kStart, QStringLiteral("Automat1"))), std::pair(QString(), QStringLiteral("0")));
    const StationOptions o{.exchangeFolder = QStringLiteral("/srv/wymiana/"), .initialFolder = QStringLiteral("/home/operator/karty"),
         .thresholdCaption = QStringLiteral("-3%"), .askConfirmation = true, .deleteProcessedFile = true,
         .removeNoise = true, .colourFilter = true, .conversionSensitivity = -1, .filterSensitivity = 1, .rotation = 2,
         .filterColour = 1, .filterRed = 255, .filterGreen = 17, .filterBlue = 3, .scanResolution = 100, .settleSeconds = 4,
         .stationName = QStringLiteral("Linia 2"), .invalidNumbers = {}};
    EXPECT_TRUE(write(o).contains("Rozdzielczosc=100"));
    EXPECT_EQ(std::pair(stored(kStart, QStringLiteral("Automat2")), stored(kStart, QStringLiteral("Rozdzielczosc"))), std::pair(QStringLiteral("0"), QStringLiteral("100")));
    const auto fields = [](const StationOptions& s) {
        return std::tie(s.exchangeFolder, s.initialFolder, s.thresholdCaption, s.askConfirmation, s.deleteProcessedFile,
                        s.processAutomatically, s.convertToBW, s.removeNoise, s.colourFilter, s.conversionSensitivity,
                        s.filterSensitivity, s.rotation, s.filterColour, s.filterRed, s.filterGreen, s.filterBlue,
                        s.scanResolution, s.settleSeconds, s.stationName, s.invalidNumbers);
    };
    EXPECT_EQ(fields(ReadStationOptions(SettingsStore())), fields(o));
}

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
    EXPECT_EQ(MessageWindow(Request(text)).shownText(), BreakSentences(text)) << "sentence by sentence";
    EXPECT_EQ(MessageWindow(Request(text + QStringLiteral("\rKoniec"))).shownText(), text + QStringLiteral("\rKoniec"));
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
        EXPECT_TRUE(QuestionAnswer() == c.answer && !QApplication::activeModalWidget()) << c.style << " " << c.act;
    }
    SetMessagePresenter({});
}
