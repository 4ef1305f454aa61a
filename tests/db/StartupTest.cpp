// Start-up on the program-wide session: each refusal in its order, the
// database file forms, the drivers' and servers' login refusals.
#include "DbTestSupport.h"

#include "db/BaseSettings.h"
#include "db/DatabaseStartup.h"
#include "db/DbSession.h"

#include <QFile>

#include <optional>
#include <tuple>

using namespace kartovo;
using namespace kartovo::test;

namespace {

// Leaves the program-wide session closed whatever the test did.
struct SessionGuard {
    ~SessionGuard() { DbSession::instance().reset(); }
};

DatabaseConfig FileConfig(const QString& folder) {
    DatabaseConfig c;
    c.dbType = QStringLiteral("MDB");
    c.dbFolder = folder;
    return c;
}

const QString kR5 = QStringLiteral("Nie znaleziono aktywnych PROGRAMÓW KONTROLI. Przed uruchomieniem programu "
                                   "pomiarowego wykonaj PROGRAM KONTROLI w programie NORV !");

class Startup : public OnBothSystems {
protected:
    SessionGuard guard;
};
KARTOVO_ON_BOTH_SYSTEMS(Startup);

// One database taken apart step by step: each step's refusal (by its first
// line) or none. Base tables are checked before the programs.
TEST_P(Startup, EachRefusalInItsOrder) {
    ASSERT_TRUE(db->createSchema());
    const struct {
        const char* change; // "" nothing, "demo" the demo data, else SQL
        QString firstLine;  // empty: the start succeeds
    } steps[] = {
        {"", QStringLiteral("Nie ustawiono identyfikacji programów kontroli !")},
        {"demo", QString()},
        {"UPDATE SPC_Programy SET Lx=0 WHERE ID IN (1, 4)", QString()},
        {"UPDATE SPC_Programy SET ArchP=1 WHERE ID=2", kR5},
        {"DROP TABLE SPC_Programy", kR5},
        {"DELETE FROM SPC_Ustawienia", QStringLiteral("Nie ustawiono podstawowych parametrów pracy programu.")},
        {"DELETE FROM SPC_OpisID", QStringLiteral("Nie ustawiono identyfikacji danych pomiarowych.")},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.change);
        const QString change = QString::fromLatin1(step.change);
        if (!change.isEmpty()) {
            ASSERT_TRUE(change == QStringLiteral("demo") ? FillDemoData(conn()) : db->exec(change)) << lastError();
        }
        DbSession::instance().reset();
        const Result<void> r = PrepareDatabase(db->config());
        EXPECT_EQ(r.error().section(QChar(13), 0, 0), step.firstLine);
        if (!r.ok()) {
            EXPECT_EQ(r.refusal().kind, RefusalKind::NotFound);
            continue;
        }
        EXPECT_EQ(Conn().system(), isPg() ? DbSystem::PostgreSQL : isMariaDb() ? DbSystem::MySQL : DbSystem::SQLite);
        EXPECT_EQ(Base().ProgramIdentificationCount, 3);
        EXPECT_NEAR(Base().SampleConstants[2].R1.toDouble(), 3.267, 0.001);
    }
}

// An unknown driver or a refused login: R4 with the driver manager's or the
// server's own words, and nothing ran after the connection.
TEST_P(Startup, RefusedLoginOrDriverGivesR4WithTheirOwnText) {
    DatabaseConfig noDriver = ServerConfig(GetParam(), {});
    noDriver.odbcDriver = QStringLiteral("Brak Takiego Sterownika");
    QList<std::tuple<DatabaseConfig, QString, bool>> cases{{noDriver, noDriver.odbcDriver, false}};
    if (GetParam() != Backend::SQLite) // the driver manager's refusal has no server number
        cases.append({ServerConfig(GetParam(), {}, QStringLiteral("wrong-password")),
                      isPg() ? QStringLiteral("password authentication failed") : QStringLiteral("Access denied"), true});
    for (const auto& [config, said, serverNumber] : cases) {
        const Result<void> r = PrepareDatabase(config);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.refusal().kind, RefusalKind::Database);
        const QStringList lines = r.error().split(QChar(13));
        ASSERT_EQ(lines.size(), 5);
        EXPECT_EQ(lines[1].mid(13).toInt() != 0, serverNumber) << lines[1].toStdString();
        EXPECT_TRUE(lines[2].contains(said)) << lines[2].toStdString();
        EXPECT_FALSE(DbSession::instance().isOpen());
        EXPECT_EQ(Base().ProgramIdentificationCount, 0);
    }
}

// R4 for a folder without the file or with a file that is no SQLite database:
// the file is neither created nor touched, and the wrapper shows the refusal.
TEST(StartupFile, WhatIsNoDatabaseIsRefusedAndLeftAlone) {
    QByteArray jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    jet.append(QByteArray(4096 - jet.size(), '\x5a'));
    const struct {
        const char* name;
        std::optional<QByteArray> bytes;
        const char* number;
        const char* said;
    } cases[] = {{"Norv.mdb", std::nullopt, "14", "Nie znaleziono pliku bazy danych Norv.mdb"},
                 {"Norv.mdb", jet, "26", "Access (Jet)"},
                 {"Norv.mdb", QByteArray("\x00\x01\x00\x00Standard ACE DB\x00", 20), "26", "Access (Jet)"},
                 {"norv.mdb", QByteArray(), "26", "jest pusty (0 bajtów)"},
                 {"norv.mdb", QByteArray(8192, 'x'), "26", "nie jest bazą danych SQLite"},
                 {"NORV.MDB", QByteArray("SQLite"), "26", "nie jest bazą danych SQLite"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        SessionGuard guard;
        MessageRecorder recorder;
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QString::fromLatin1(c.name));
        QFile f(path);
        if (c.bytes) {
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(*c.bytes) == c.bytes->size() && f.flush());
        }
        f.close();
        const Result<void> ready = PrepareDatabase(FileConfig(dir.path()));
        ASSERT_FALSE(ready.ok());
        EXPECT_EQ(ready.refusal().kind, RefusalKind::Database);
        EXPECT_TRUE(recorder.requests.empty()); // the caller shows it
        const QStringList lines = ready.error().split(QChar(13));
        ASSERT_EQ(lines.size(), 5);
        EXPECT_EQ(lines[1], QStringLiteral("Numer błędu: ") + QString::fromLatin1(c.number));
        EXPECT_TRUE(lines[2].contains(QString::fromUtf8(c.said))) << lines[2].toStdString();
        EXPECT_FALSE(DbSession::instance().isOpen());
        EXPECT_EQ(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("absent"), c.bytes.value_or("absent"));
        // Nor is a file created when it is named directly.
        EXPECT_TRUE(c.bytes || !DbConnection().openSqliteFile(path));
    }
}

// The file's name is matched without case, in a folder whose name means
// something in a file URI, and it is opened for writing.
TEST(StartupFile, NameAndFolderAreMatchedWithoutCaseAndOpenForWriting) {
    SessionGuard guard;
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).filePath(QStringLiteral("Baza SPC #1 %20 ?"));
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        DbConnection maker;
        ASSERT_TRUE(maker.openSqliteFile(QDir(folder).filePath(QStringLiteral("NORV.MDB")), false));
        ASSERT_TRUE(maker.beginTransaction() && ApplySchema(maker) && FillDemoData(maker) && maker.commit());
    }
    EXPECT_TRUE(FindDatabaseFile(dir.path()).isEmpty());
    const Result<void> r = PrepareDatabase(FileConfig(folder));
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    Record row;
    row.set(QStringLiteral("IDPK"), 1);
    EXPECT_TRUE(Conn().append(QStringLiteral("SPC_Baza"), row)) << Conn().lastError().description.toStdString();
}

} // namespace
