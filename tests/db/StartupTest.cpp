// Start-up on the program-wide session: each refusal in its order, the
// database file forms, the drivers' and servers' login refusals.
#include "DbTestSupport.h"

#include "db/BaseSettings.h"
#include "db/DatabaseStartup.h"
#include "db/DbSession.h"

#include <QFile>

#include <optional>

using namespace kartovo;
using namespace kartovo::test;

namespace {

// Leaves the program-wide session closed whatever the test did.
class Startup : public OnBothSystems {
    void TearDown() override { DbSession::instance().reset(); }
};
KARTOVO_ON_BOTH_SYSTEMS(Startup);

// One database taken apart step by step: each step's refusal (by its start)
// or none. Base tables are checked before the programs.
TEST_P(Startup, EachRefusalInItsOrder) {
    ASSERT_TRUE(db->createSchema());
    const struct {
        const char* change; // "" nothing, "demo" the demo data, else SQL
        const char* refusal; // "": the start succeeds
    } steps[] = {{"", "Nie ustawiono identyfikacji programów"},
                 {"demo", ""},
                 {"UPDATE SPC_Programy SET Lx=0 WHERE ID IN (1, 4)", ""},
                 {"UPDATE SPC_Programy SET ArchP=1 WHERE ID=2", "Nie znaleziono aktywnych PROGRAMÓW"},
                 {"DROP TABLE SPC_Programy", "Nie znaleziono aktywnych PROGRAMÓW"},
                 {"DELETE FROM SPC_Ustawienia", "Nie ustawiono podstawowych parametrów"},
                 {"DELETE FROM SPC_OpisID", "Nie ustawiono identyfikacji danych"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.change);
        const QString change = QString::fromLatin1(step.change);
        if (!change.isEmpty())
            ASSERT_TRUE(change == u"demo" ? FillDemoData(conn()) : db->exec(change)) << lastError();
        DbSession::instance().reset();
        const Result<void> r = PrepareDatabase(db->config());
        EXPECT_EQ(r.ok(), !*step.refusal);
        if (!r.ok()) {
            EXPECT_TRUE(r.error().startsWith(QString::fromUtf8(step.refusal))) << r.error().toStdString();
            EXPECT_EQ(r.refusal().kind, RefusalKind::NotFound);
            continue;
        }
        EXPECT_EQ(Conn().system(), isPg() ? DbSystem::PostgreSQL : isMariaDb() ? DbSystem::MySQL : DbSystem::SQLite);
        EXPECT_EQ(Base().ProgramIdentificationCount, 3);
        EXPECT_NEAR(Base().SampleConstants[2].R1.toDouble(), 3.267, 0.001);
    }
}

// R4 with the driver manager's, the server's or the file check's own words:
// nothing ran after the connection, the caller shows it, and a file that is no
// database is neither created nor touched.
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
        if (c.bytes) ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(*c.bytes) == c.bytes->size() && f.flush());
        f.close();
        DatabaseConfig config = c.name ? db->config() : *c.number == '0' ? noDriver
                                                                        : ServerConfig(GetParam(), {}, QStringLiteral("wrong"));
        config.dbFolder = dir.path();
        const Result<void> r = PrepareDatabase(config);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.refusal().kind, RefusalKind::Database);
        EXPECT_TRUE(recorder.requests.empty()); // the caller shows it
        const QStringList lines = r.error().split(QChar(13));
        ASSERT_EQ(lines.size(), 5);
        if (*c.number == '*')
            EXPECT_NE(lines[1].mid(13).toInt(), 0) << lines[1].toStdString();
        else
            EXPECT_EQ(lines[1], QStringLiteral("Numer błędu: ") + QString::fromLatin1(c.number));
        EXPECT_TRUE(lines[2].contains(c.said)) << lines[2].toStdString();
        EXPECT_FALSE(DbSession::instance().isOpen());
        EXPECT_EQ(Base().ProgramIdentificationCount, 0);
        EXPECT_EQ(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("absent"), c.bytes.value_or("absent"));
        EXPECT_TRUE(c.bytes || !DbConnection().openSqliteFile(path)); // nor made when named directly
    }
}

// The file's name is matched without case, in a folder whose name means
// something in a file URI, and it is opened for writing.
TEST_P(Startup, FileNameAndFolderAreMatchedWithoutCaseAndOpenForWriting) {
    if (isServer()) GTEST_SKIP() << "a file's test";
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).filePath(QStringLiteral("Baza SPC #1 %20 ?"));
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        DbConnection maker;
        ASSERT_TRUE(maker.openSqliteFile(QDir(folder).filePath(QStringLiteral("NORV.MDB")), false));
        ASSERT_TRUE(maker.beginTransaction() && ApplySchema(maker) && FillDemoData(maker) && maker.commit());
    }
    EXPECT_TRUE(FindDatabaseFile(dir.path()).isEmpty());
    DatabaseConfig config = db->config();
    config.dbFolder = folder;
    const Result<void> r = PrepareDatabase(config);
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    EXPECT_TRUE(Conn().append(QStringLiteral("SPC_Baza"), Record({"IDPK"}, {1})))
        << Conn().lastError().description.toStdString();
}

} // namespace
