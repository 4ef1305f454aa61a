#include "AppTestSupport.h"

#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "db/Connection.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <memory>

using namespace kartovo;

namespace {

const QString kStart = QStringLiteral("Start");

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
         "DRIVER=PostgreSQL Unicode;SERVER=db.example;DATABASE=spc;UID=jan;PWD="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini.toStdString());
        test::WriteFile(m_iniPath, c.ini);
        m_messages.clear(), m_exitCodes.clear(), m_configs.clear();
        m_databaseOk = c.databaseOk;
        const bool started = c.databaseOk && c.said.isEmpty();
        auto w = makeWindow();
        EXPECT_EQ(w->start(), started);
        EXPECT_EQ(w->isVisible(), started);
        EXPECT_EQ(m_exitCodes.size(), started ? 0u : 1u);
        ASSERT_EQ(m_messages.size(), c.said.isEmpty() ? 0u : 1u);
        if (!c.said.isEmpty()) EXPECT_TRUE(m_messages[0].text.contains(c.said)) << m_messages[0].text.toStdString();
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
    configureDatabaseFile();
    set(kStart, QStringLiteral("InitDir"), QStringLiteral("/karty"));
    set(kStart, QStringLiteral("AutoDir"), QStringLiteral("/wymiana/"));
    set(kStart, QStringLiteral("Procent"), QStringLiteral("1%"));
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
    EXPECT_TRUE(m_exitCodes.empty());
    EXPECT_TRUE(m_messages.empty());
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
        EXPECT_EQ(m_exitCodes, std::vector<int>{0}) << name;
        EXPECT_TRUE(w->ended());
        w->close();
        EXPECT_EQ(stored(kStart, QStringLiteral("Procent")), QStringLiteral("-1%"));
        m_exitCodes.clear();
    }
}
