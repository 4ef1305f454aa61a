// Start-up steps 13-15 on the program-wide session and the two connection forms.
#include "BackendFixture.h"

#include "db/BaseSettings.h"
#include "db/DatabaseStartup.h"
#include "db/DbSession.h"
#include "db/DemoDatabase.h"

#include <QDir>
#include <QFile>

using namespace kartovo;
using namespace kartovo::test;

namespace {

// Leaves the program-wide session closed whatever the test did.
struct SessionGuard {
    ~SessionGuard() { DbSession::instance().reset(); }
};

QString OnlyMessage(const MessageRecorder& recorder) {
    return recorder.messages.size() == 1 ? recorder.messages.first().text : QStringLiteral("<%1 messages>").arg(recorder.messages.size());
}

void ExpectErrorStyle(const MessageRecorder& recorder) {
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_EQ(recorder.messages.first().style, 16);
    EXPECT_EQ(recorder.messages.first().alignment, 2);
    EXPECT_FALSE(recorder.messages.first().question);
}

QStringList Lines(const QString& text) { return text.split(QChar(13)); }

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class Startup : public OnBothSystems {
protected:
    void fillDemo() {
        ASSERT_TRUE(db->createSchema());
        ASSERT_TRUE(FillDemoData(conn())) << conn().lastError().description.toStdString();
    }
    SessionGuard guard;
    MessageRecorder recorder;
};
KARTOVO_ON_BOTH_SYSTEMS(Startup);

TEST_P(Startup, DemoDatabaseStartsAndStaysOpen) {
    fillDemo();
    ASSERT_TRUE(StartDatabase(db->config())) << OnlyMessage(recorder).toStdString();
    EXPECT_TRUE(recorder.messages.isEmpty());
    DbSession& s = DbSession::instance();
    EXPECT_TRUE(s.isOpen());
    EXPECT_EQ(Conn().system(), isPg() ? DbSystem::PostgreSQL : isMariaDb() ? DbSystem::MySQL : DbSystem::SQLite);
    EXPECT_EQ(Base().ProgramIdentificationCount, 3);
    EXPECT_EQ(Base().DataIdentificationCount, 3);
    EXPECT_NEAR(Base().SampleConstants[2].R1.toDouble(), 3.267, 0.001);
    bool ok = false;
    EXPECT_EQ(Conn().query(QStringLiteral("Select * from [SPC_Setap] Where ID=5"), &ok).recordCount(), 1);
}

TEST_P(Startup, OnlyArchivedOrInactiveProgramsGiveR5) {
    fillDemo();
    ASSERT_TRUE(db->exec(QStringLiteral("UPDATE SPC_Programy SET Lx=0 WHERE ID IN (1, 4)")));
    ASSERT_TRUE(db->exec(QStringLiteral("UPDATE SPC_Programy SET ArchP=1 WHERE ID=2")));
    EXPECT_FALSE(StartDatabase(db->config()));
    ExpectErrorStyle(recorder);
    EXPECT_EQ(OnlyMessage(recorder),
              QStringLiteral("Nie znaleziono aktywnych PROGRAMÓW KONTROLI. Przed uruchomieniem programu pomiarowego "
                             "wykonaj PROGRAM KONTROLI w programie NORV !"));
}

TEST_P(Startup, CheckQueryThatCannotRunGivesR5) {
    fillDemo();
    ASSERT_TRUE(db->exec(QStringLiteral("DROP TABLE SPC_Programy")));
    EXPECT_FALSE(StartDatabase(db->config()));
    EXPECT_EQ(OnlyMessage(recorder), NoActiveProgramMessage());
}

TEST_P(Startup, EmptyBaseTableRefusesBeforeTheProgramCheck) {
    ASSERT_TRUE(db->createSchema());
    EXPECT_FALSE(StartDatabase(db->config()));
    ExpectErrorStyle(recorder);
    EXPECT_EQ(Lines(OnlyMessage(recorder)).first(), QStringLiteral("Nie ustawiono identyfikacji programów kontroli !"));
}

TEST(StartupFile, MissingFileGivesR4AndIsNotCreated) {
    SessionGuard guard;
    MessageRecorder recorder;
    QTemporaryDir dir;
    DatabaseConfig c;
    c.dbType = QStringLiteral("MDB");
    c.dbFolder = dir.path();
    EXPECT_FALSE(StartDatabase(c));
    ExpectErrorStyle(recorder);
    const QStringList lines = Lines(recorder.messages.first().text);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QStringLiteral("Podczas dostępu do bazy danych wystąpił błąd !"));
    EXPECT_EQ(lines[1], QStringLiteral("Numer błędu: 14"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Opis błędu: Nie znaleziono pliku bazy danych Norv.mdb")));
    EXPECT_EQ(lines[4], QStringLiteral("Przerywam działanie programu !!!"));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());

    // Nor when the file is named directly (it may vanish after the check).
    DbConnection conn;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("Norv.mdb"));
    EXPECT_FALSE(conn.openSqliteFile(path));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(StartupFile, NameAndFolderAreMatchedWithoutCase) {
    SessionGuard guard;
    MessageRecorder recorder;
    QTemporaryDir dir;
    // A folder name with characters that mean something in a file URI.
    const QString folder = QDir(dir.path()).filePath(QStringLiteral("Baza SPC #1 %20 ?"));
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        DbConnection maker;
        ASSERT_TRUE(maker.openSqliteFile(QDir(folder).filePath(QStringLiteral("NORV.MDB")), false));
        ASSERT_TRUE(maker.beginTransaction() && ApplySchema(maker) && FillDemoData(maker) && maker.commit());
    }
    EXPECT_EQ(QFileInfo(FindDatabaseFile(folder)).fileName(), QStringLiteral("NORV.MDB"));
    EXPECT_TRUE(FindDatabaseFile(dir.path()).isEmpty());
    DatabaseConfig c;
    c.dbType = QStringLiteral("MDB");
    c.dbFolder = folder;
    EXPECT_TRUE(StartDatabase(c)) << OnlyMessage(recorder).toStdString();
    // Samples can be appended: the file is open for writing.
    Record row;
    row.set(QStringLiteral("IDPK"), 1);
    row.set(QStringLiteral("Data"), QStringLiteral("2024-05-01"));
    EXPECT_TRUE(Conn().append(QStringLiteral("SPC_Baza"), row)) << Conn().lastError().description.toStdString();
}

TEST(StartupFile, AccessFileIsRefusedAndLeftAlone) {
    SessionGuard guard;
    MessageRecorder recorder;
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("Norv.mdb"));
    QByteArray jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    jet.append(QByteArray(4096 - jet.size(), '\x5a'));
    WriteFile(path, jet);
    DatabaseConfig c;
    c.dbType = QStringLiteral("MDB");
    c.dbFolder = dir.path();
    EXPECT_FALSE(StartDatabase(c));
    ExpectErrorStyle(recorder);
    const QStringList lines = Lines(recorder.messages.first().text);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[1], QStringLiteral("Numer błędu: 26"));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("Access (Jet)")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("serwerem SQL przez ODBC")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("SQLite")));
    EXPECT_FALSE(DbSession::instance().isOpen());
    EXPECT_EQ(ReadFile(path), jet);

    QByteArray ace("\x00\x01\x00\x00Standard ACE DB\x00", 20);
    WriteFile(path, ace);
    EXPECT_TRUE(IsJetDatabaseFile(path));
}

TEST(StartupFile, EmptyOrOtherFileIsSaidToBeNoDatabase) {
    const struct {
        QByteArray bytes;
        const char* said;
    } cases[] = {{QByteArray(), "jest pusty (0 bajtów)"},
                 {QByteArray(8192, 'x'), "nie jest bazą danych SQLite"},
                 {QByteArray("SQLite"), "nie jest bazą danych SQLite"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        SessionGuard guard;
        MessageRecorder recorder;
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("norv.mdb"));
        WriteFile(path, c.bytes);
        DatabaseConfig config;
        config.dbType = QStringLiteral("MDB");
        config.dbFolder = dir.path();
        EXPECT_FALSE(StartDatabase(config));
        const QStringList lines = Lines(OnlyMessage(recorder));
        ASSERT_EQ(lines.size(), 5);
        EXPECT_EQ(lines[1], QStringLiteral("Numer błędu: 26"));
        EXPECT_TRUE(lines[2].contains(QString::fromUtf8(c.said))) << lines[2].toStdString();
        EXPECT_TRUE(lines[2].contains(QDir::toNativeSeparators(path))) << lines[2].toStdString();
        EXPECT_EQ(ReadFile(path), c.bytes);
        EXPECT_FALSE(DbSession::instance().isOpen());
    }
}

// The database servers through ODBC: login refusals, unknown drivers and the
// written connection text, on every server that was started.
class StartupServer : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (!BackendAvailable(GetParam())) GTEST_SKIP() << BackendSkipReason(GetParam()).toStdString();
    }
    bool isPg() const { return GetParam() == Backend::PostgreSQL; }
    DatabaseConfig adminConfig(const QString& password) const {
        return isPg() ? PgServer::config(PgServer::adminDatabase(), password)
                      : MariaDbServer::config(MariaDbServer::adminDatabase(), password);
    }
    QString rightPassword() const { return isPg() ? PgServer::password() : MariaDbServer::password(); }
    SessionGuard guard;
    MessageRecorder recorder;
};
INSTANTIATE_TEST_SUITE_P(Db, StartupServer, ::testing::Values(Backend::PostgreSQL, Backend::MariaDB), BackendName);

TEST_P(StartupServer, RefusedLoginGivesR4WithTheServersNumberAndText) {
    EXPECT_FALSE(StartDatabase(adminConfig(QStringLiteral("wrong-password"))));
    ExpectErrorStyle(recorder);
    const QStringList lines = Lines(recorder.messages.first().text);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QStringLiteral("Podczas dostępu do bazy danych wystąpił błąd !"));
    ASSERT_TRUE(lines[1].startsWith(QStringLiteral("Numer błędu: ")));
    bool numeric = false;
    const int number = lines[1].mid(13).toInt(&numeric);
    EXPECT_TRUE(numeric && number != 0) << lines[1].toStdString();
    const QString said = isPg() ? QStringLiteral("password authentication failed") : QStringLiteral("Access denied");
    EXPECT_TRUE(lines[2].contains(said)) << lines[2].toStdString();
    EXPECT_FALSE(DbSession::instance().isOpen());
    // Nothing after the connection ran: no base settings were loaded.
    EXPECT_EQ(Base().ProgramIdentificationCount, 0);
}

TEST_P(StartupServer, UnknownDriverGivesR4WithTheDriverManagersText) {
    DatabaseConfig c = adminConfig(rightPassword());
    c.odbcDriver = QStringLiteral("Brak Takiego Sterownika");
    EXPECT_FALSE(StartDatabase(c));
    const QStringList lines = Lines(OnlyMessage(recorder));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[2].contains(QStringLiteral("Brak Takiego Sterownika"))) << lines[2].toStdString();
}

TEST_P(StartupServer, WrittenConnectionTextReachesTheNamedDatabase) {
    // The written text has a blank before DATABASE, which the driver would
    // otherwise not take as that key. The port rides on the server value
    // for PostgreSQL and comes from its own key for MariaDB.
    ScratchDatabase scratch(GetParam());
    ASSERT_TRUE(scratch.ok()) << scratch.error().toStdString();
    const QString text = BuildConnectionString(scratch.config());
    ASSERT_TRUE(text.contains(QStringLiteral("; DATABASE=")));
    EXPECT_EQ(text.contains(QStringLiteral("SERVER=127.0.0.1;PORT=")), isPg()) << text.toStdString();
    EXPECT_EQ(text.endsWith(QStringLiteral(";PWD=%1;PORT=%2;").arg(rightPassword(), scratch.config().odbcPort)),
              !isPg())
        << text.toStdString();
    DbConnection conn;
    ASSERT_TRUE(conn.open(scratch.config())) << conn.lastError().description.toStdString();
    EXPECT_EQ(conn.system(), isPg() ? DbSystem::PostgreSQL : DbSystem::MySQL);
    bool ok = false;
    const Recordset rs =
        conn.query(isPg() ? QStringLiteral("select current_database() AS name") : QStringLiteral("select database() AS name"),
                   &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(rs[QStringLiteral("name")].toString(), scratch.name());
}
