// Start-up on the program-wide session, what the base tables give, the demonstration database.
#include "DbTestSupport.h"

#include "db/BaseSettings.h"
#include "db/ControlChartConstants.h"
#include "db/DatabaseStartup.h"
#include "db/DbSession.h"
#include "platform/SettingsStore.h"

#include <QFile>

#include <array>
#include <optional>

using namespace kartovo;
using namespace kartovo::test;

namespace {

// Leaves the program-wide session closed whatever the test did.
class Startup : public OnBothSystems {
    void TearDown() override { DbSession::instance().reset(); }
};
KARTOVO_ON_BOTH_SYSTEMS(Startup);

// One database taken apart step by step: each step's refusal (by its start) or none.
TEST_P(Startup, EachRefusalInItsOrder) {
    ASSERT_TRUE(db->createSchema() && !ApplySchema(conn())); // not twice over
    const struct {
        const char* change; // "" nothing, "demo" the demo data, else SQL
        const char* refusal; // "": the start succeeds
    } steps[] = {{"", "Nie ustawiono identyfikacji programów kontroli !\rPrzed uruchomieniem"}, // lines ended with CR
                 {"demo", ""},
                 {"UPDATE SPC_Programy SET Lx=0 WHERE ID IN (1, 4)", ""},
                 {"UPDATE SPC_Programy SET ArchP=1 WHERE ID=2", "Nie znaleziono aktywnych PROGRAMÓW"},
                 {"DROP TABLE SPC_Programy", "Nie znaleziono aktywnych PROGRAMÓW"},
                 {"DELETE FROM SPC_Ustawienia", "Nie ustawiono podstawowych parametrów"},
                 {"DELETE FROM SPC_OpisID", "Nie ustawiono identyfikacji danych"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.change);
        if (*step.change) {
            ASSERT_TRUE(std::string_view(step.change) == "demo" ? FillDemoData(conn()) : db->exec(step.change)) << lastError();
        }
        DbSession::instance().reset();
        const Result<void> r = PrepareDatabase(db->config());
        EXPECT_EQ(r.ok(), !*step.refusal);
        if (!r.ok()) {
            EXPECT_TRUE(r.error().startsWith(QString::fromUtf8(step.refusal)) && r.refusal().kind == RefusalKind::NotFound) << r.error().toStdString();
            continue;
        }
        EXPECT_EQ(Conn().system(), isPg() ? DbSystem::PostgreSQL : GetParam() == Backend::MariaDB ? DbSystem::MySQL : DbSystem::SQLite);
        EXPECT_EQ(Base().ProgramIdentificationCount, 3);
        EXPECT_NEAR(Base().SampleConstants[2].R1.toDouble(), 3.267, 0.001);
    }
}

// R4 with the driver's, server's or file check's words; a file that is no database is left untouched.
TEST_P(Startup, RefusalsGiveR4WithTheirOwnText) {
    DatabaseConfig noDriver = ServerConfig(GetParam(), {});
    noDriver.odbcDriver = QStringLiteral("Brak Takiego Sterownika");
    const QByteArray jet = QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(4076, 'Z');
    const struct {
        const char* name; // a file in a folder of its own; nullptr: the server's login
        std::optional<QByteArray> bytes;
        const char* number; // "*": the server's own
        QString said;
    } cases[] = {{nullptr, {}, "0", noDriver.odbcDriver},
                 {nullptr, {}, "*", isPg() ? "password authentication failed" : "Access denied"},
                 {"Norv.mdb", std::nullopt, "14", QStringLiteral("Nie znaleziono pliku bazy danych Norv.mdb")},
                 {"Norv.mdb", jet, "26", QStringLiteral("Access (Jet)")},
                 {"Norv.mdb", QByteArray("\x00\x01\x00\x00Standard ACE DB\x00", 20), "26", QStringLiteral("Access (Jet)")},
                 {"norv.mdb", QByteArray(), "26", QStringLiteral("jest pusty (0 bajtów)")},
                 {"norv.mdb", QByteArray(8192, 'x'), "26", QStringLiteral("nie jest bazą danych SQLite")},
                 {"NORV.MDB", QByteArray("SQLite"), "26", QStringLiteral("nie jest bazą danych SQLite")}};
    for (const auto& c : cases) {
        if ((c.name || *c.number == '0') == isServer()) continue; // logins on the servers
        SCOPED_TRACE(c.said.toStdString());
        MessageRecorder recorder;
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QString::fromLatin1(c.name ? c.name : "x"));
        QFile f(path);
        ASSERT_TRUE(!c.bytes || (f.open(QIODevice::WriteOnly) && f.write(*c.bytes) == c.bytes->size() && f.flush()));
        f.close();
        DatabaseConfig config = c.name ? db->config() : *c.number == '0' ? noDriver
                                                                        : ServerConfig(GetParam(), {}, QStringLiteral("wrong"));
        config.dbFolder = dir.path();
        const Result<void> r = PrepareDatabase(config);
        ASSERT_FALSE(r.ok());
        EXPECT_TRUE(r.refusal().kind == RefusalKind::Database && recorder.requests.empty()); // the caller shows it
        const QStringList lines = r.error().split(QChar(13));
        ASSERT_EQ(lines.size(), 5);
        EXPECT_TRUE(*c.number == '*' ? lines[1].mid(13).toInt() != 0
                                     : lines[1] == QStringLiteral("Numer błędu: ") + QString::fromLatin1(c.number))
            << lines[1].toStdString();
        EXPECT_TRUE(lines[2].contains(c.said) && !DbSession::instance().isOpen() && !Base().ProgramIdentificationCount) << lines[2].toStdString();
        EXPECT_EQ(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("absent"), c.bytes.value_or("absent"));
        EXPECT_TRUE(c.bytes || !DbConnection().openSqliteFile(path)); // nor made when named directly
    }
}

// Null captions, the tables' limits, constants by sample size, a read error that ends the loading.
TEST_P(Startup, BaseTablesGiveCaptionsConstantsAndLimits) {
    ASSERT_TRUE(db->createSchema());
    auto add = [&](const char* table, const Record& r) { ASSERT_TRUE(conn().append(table, r)) << lastError(); };
    BaseSettings base;
    for (int required : {1, 0}) add("SPC_Ustawienia", Record({"NazwaOp", "CzyWymagany"}, {QStringLiteral("Uwagi"), required})); // the first row only
    // Program captions: a null one is kept but not counted, ten at most; data ones end at a null, twenty at most.
    add("SPC_OpisBaz", Record({"ID", "Nazwa", "Pole", "Dlugosc"}, {1, QStringLiteral("A"), 1, 10}));
    add("SPC_OpisBaz", Record({"ID", "Nazwa", "NazwaA", "Dlugosc"}, {2, QVariant(), QStringLiteral("b"), 20}));
    for (int i = 3; i <= 12; ++i) add("SPC_OpisBaz", Record({"ID", "Nazwa"}, {i, QStringLiteral("P%1").arg(i)}));
    for (int i = 1; i <= 22; ++i) add("SPC_OpisID", Record({"ID", "Nazwa"}, {i, QStringLiteral("D%1").arg(i)}));
    // Constants stored out of order, two outside 0..40 (read, but without a slot).
    for (int lp : {3, 41, 1, -1, 40, 0, 2})
        add("SPC_Tablice", Record({"LP", "R1", "R2", "S1"}, {lp, 10.0 + lp, QVariant(), 20.0 + lp}));
    add("SPC_Tablice", Record({"LP", "R1"}, {QVariant(), 99.0})); // skipped, the rest still read
    if (GetParam() == Backend::SQLite) // so is a text; an LP of 4.6 (the others' columns are whole) is 5
        add("SPC_Tablice", Record({"LP", "R1"}, {QStringLiteral("x"), 98.0})), add("SPC_Tablice", Record({"LP", "R1", "S1"}, {4.6, 15.0, 25.0}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    const auto& program = base.ProgramIdentification;
    EXPECT_TRUE(base.ProgramIdentificationCount == 9 && program[2].Nazwa.isNull() && base.DataIdentificationCount == 20);
    EXPECT_EQ(QStringList({program[2].NazwaA.toString(), program[2].Dlugosc.toString(), program[10].Nazwa.toString(),
                           base.DataIdentification[20].Nazwa.toString()}),
              QStringList({"b", "20", "P10", "D20"}));
    EXPECT_EQ(base.WorkingParameters.value(QStringLiteral("CzyWymagany")).toInt(), 1); // went on after the excess
    for (int n = 0; n <= 40; ++n) {
        const auto& k = base.SampleConstants[n]; // slots 0..3 and 40 filled (and 5 on SQLite), R2 null
        const QString got = QStringLiteral("%1 %2 %3").arg(k.R1.toDouble()).arg(k.S1.toDouble()).arg(k.R2.isNull());
        EXPECT_EQ(k.R1.isValid() ? got : "", n <= 3 || n == 40 || (n == 5 && GetParam() == Backend::SQLite) ? QStringLiteral("%1 %2 1").arg(10 + n).arg(20 + n) : "") << n;
    }
    ASSERT_TRUE(db->exec(QStringLiteral("DELETE FROM SPC_OpisID")) && db->exec(QStringLiteral("DELETE FROM SPC_Tablice")));
    add("SPC_OpisID", Record({"ID", "Nazwa", "Pole"}, {1, QStringLiteral("A"), 1}));
    add("SPC_OpisID", Record({"ID", "Nazwa"}, {2, QVariant()}));
    add("SPC_OpisID", Record({"ID", "Nazwa"}, {3, QStringLiteral("C")}));
    for (int lp = 40; lp >= 0; --lp) add("SPC_Tablice", Record({"LP", "R1"}, {lp, lp * 0.1}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded); // over the earlier settings
    EXPECT_TRUE(base.DataIdentificationCount == 1 && base.DataIdentification[1].Pole.toInt() == 1 && !base.DataIdentification[3].Nazwa.isValid());
    EXPECT_DOUBLE_EQ(base.SampleConstants[39].R1.toDouble(), 3.9);
    EXPECT_FALSE(base.SampleConstants[40].R1.isValid()); // the 41st row in LP order
    // A read error ends the loading quietly: what came after is not reached.
    ASSERT_TRUE(db->exec(QStringLiteral("DROP TABLE SPC_OpisID")));
    MessageRecorder recorder;
    base = BaseSettings();
    EXPECT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_TRUE(base.ProgramIdentificationCount == 9 && base.WorkingParameters.isEmpty() && recorder.requests.empty());
}

} // namespace

TEST(ChartConstants, MatchThePublishedFactors) {
    // Published Shewhart factors: n, d2, D3, D4, c4, B3, B4.
    const std::array<double, 7> table[] = {{2, 1.128, 0, 3.267, 0.7979, 0, 3.267},
                                           {5, 2.326, 0, 2.114, 0.9400, 0, 2.089},
                                           {10, 3.078, 0.223, 1.777, 0.9727, 0.284, 1.716},
                                           {25, 3.931, 0.459, 1.541, 0.9896, 0.565, 1.435}};
    for (const auto& t : table) {
        const ChartConstants c = ComputeChartConstants(int(t[0]));
        const double got[] = {c.d2, c.D3, c.D4, c.c4, c.B3, c.B4};
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], t[i + 1], i == 3 ? 0.0001 : 0.001) << t[0] << " " << i;
    }
}

// The demo database and settings start up holding what is shipped; a second run keeps the first's.
TEST(DemoDatabase, CreatesDatabaseAndSettingsThatStartUp) {
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).filePath(QStringLiteral("Baza SPC #1 %20 ?"));
    QString error;
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile partial(folder + QStringLiteral("/Norv.mdb.tworzenie")); // left by a run that died building it
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly) && partial.write("nie baza") > 0);
    partial.close();
    const QString ini = CreateDemoDatabase(folder, &error);
    ASSERT_TRUE(!ini.isEmpty() && QDir(folder).rename(QStringLiteral("Norv.mdb"), QStringLiteral("NORV.MDB"))) << error.toStdString();
    EXPECT_TRUE(FindDatabaseFile(dir.path()).isEmpty());
    const SettingsStore settings(ini); // as the main program reads it
    const std::pair<QString, QString> written[] = {{"Baza/TypBazy", "1"}, {"Start/Sciezka", folder},
                                                   {"Start/KonwersjaCB", "1"}, {"Start/Procent", "20%"},
                                                   {"Start/AutoDir", folder + "/wymiana/"}};
    for (const auto& [key, value] : written)
        EXPECT_EQ(settings.read(key.section(u'/', 0, 0), key.section(u'/', 1)), value) << key.toStdString();
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/wymiana")).isDir());
    DatabaseConfig c;
    c.dbType = QStringLiteral("MDB");
    c.dbFolder = settings.read(QStringLiteral("Start"), QStringLiteral("Sciezka"));
    const Result<void> started = PrepareDatabase(c);
    ASSERT_TRUE(started.ok()) << started.error().toStdString();
    // Every table, rows in storage order; KARTOVO_WRITE_DEMO_DUMP=1 rewrites the expected file.
    QString dump;
    const Recordset tables = Conn().query(QStringLiteral("Select name from sqlite_master Where type='table' Order by name"));
    for (const Record& t : tables.rows()) {
        dump += t.value(QStringLiteral("name")).toString() + u'\n';
        const Recordset rows = Conn().query(QStringLiteral("Select * from [%1] Order by rowid").arg(t.value("name").toString()));
        for (const Record& r : rows.rows()) {
            QStringList values;
            for (const QString& column : r.columns()) values << (r.isNull(column) ? QStringLiteral("-") : r[column].toString());
            dump += values.join(u'|') + u'\n';
        }
    }
    QFile expected(QStringLiteral(KARTOVO_TEST_DATA "/demo-database.txt"));
    if (qEnvironmentVariableIsSet("KARTOVO_WRITE_DEMO_DUMP")) {
        ASSERT_TRUE(expected.open(QIODevice::WriteOnly) && expected.write(dump.toUtf8()) > 0 && expected.flush());
    }
    EXPECT_EQ(dump, QString::fromUtf8(kartovo::testing::ReadFile(expected.fileName())));
    ASSERT_TRUE(Conn().append(QStringLiteral("SPC_Baza"), Record({"IDPK"}, {9})));
    DbSession::instance().reset();
    EXPECT_EQ(CreateDemoDatabase(folder, &error), ini);
    DbConnection again;
    ASSERT_TRUE(again.openFile(folder) && !FillDemoData(again)); // its rows are there already
    EXPECT_EQ(again.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=9")).recordCount(), 1);
    const QString file = QDir(dir.path()).filePath(QStringLiteral("plik"));
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    const QString blocked = QDir(dir.path()).filePath(QStringLiteral("zajety"));
    ASSERT_TRUE(QDir().mkpath(blocked + QStringLiteral("/Norv.mdb.tworzenie/x"))); // where the database is built
    for (const QString& where : {QDir(file).filePath(QStringLiteral("demo")), blocked}) {
        error.clear();
        EXPECT_TRUE(CreateDemoDatabase(where, &error).isEmpty()) << where.toStdString();
        EXPECT_FALSE(error.isEmpty() || error.endsWith(QStringLiteral(": ")) || !FindDatabaseFile(where).isEmpty()) << error.toStdString();
    }
}
