// Queries, appends, transactions and columns on every database system; connections; the dialect layer.
#include "DbTestSupport.h"

#include "db/SqlDialect.h"
#include "db/StoredCards.h"
#include "platform/WorkingFolder.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTime>

#include <functional>

using namespace kartovo;
using namespace kartovo::test;

namespace {

QList<double> Column(const Recordset& rs, const char* column) {
    QList<double> v;
    for (const Record& r : rs.rows()) v.append(r.value(QString::fromLatin1(column)).toDouble());
    return v;
}

class Queries : public OnBothSystems {};
KARTOVO_ON_BOTH_SYSTEMS(Queries);

// Every value bound; a column the table lacks left out; a rolled back transaction leaves nothing.
TEST_P(Queries, AppendsTransactionsAndColumns) {
    bool ok = true;
    EXPECT_TRUE(conn().query(QStringLiteral("Select * from [SPC_Programy]"), &ok).isEmpty() && !ok);
    EXPECT_TRUE(conn().lastError().description.contains(QStringLiteral("spc_programy"), Qt::CaseInsensitive)) << lastError();
    // A row that fails after the first (SQLite steps row by row) fails the query with its own error.
    EXPECT_TRUE(conn().query(QStringLiteral("Select abs(x) From (Select 1 As x Union All Select -9223372036854775807 - 1) As t"), &ok).isEmpty() && !ok);
    EXPECT_TRUE(conn().lastError().description.contains(QRegularExpression(QStringLiteral("(?i)overflow|out of range")))) << lastError();
    ASSERT_TRUE(db->createSchema());
    const QString hostile = QStringLiteral("O'Brien'); DROP TABLE SPC_Baza; --");
    const QString polish = QStringLiteral("Zażółć gęślą jaźń");
    Record row({"IDPK", "CzyOb", "Data", "Czas", "id1", "ID2", "PomiaryNL", "W1", "Srednia", "NieMaTakiejKolumny"},
               {2, true, QDate(2024, 3, 5), QTime(7, 5), hostile, polish, QVariant(), 1.25, 1.1f, 5});
    for (const auto& [keep, czyOb] : {std::pair{false, false}, {true, true}, {true, false}}) {
        ASSERT_TRUE(conn().beginTransaction() && (row.set(QStringLiteral("CzyOb"), czyOb), true)) << lastError();
        ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), row) && (keep ? conn().commit() : conn().rollback())) << lastError();
    }
    if (GetParam() != Backend::MariaDB) { // no deferred keys there
        // A commit the database refuses is a failure with its reason, never a stored card.
        if (!isServer()) {
            ASSERT_TRUE(conn().execute(QStringLiteral("PRAGMA foreign_keys = ON")));
        }
        ASSERT_TRUE(conn().execute(QStringLiteral("CREATE TABLE Rodzic (ID INTEGER PRIMARY KEY)")) &&
                    conn().execute(QStringLiteral("CREATE TABLE Dziecko (R INTEGER REFERENCES Rodzic (ID) DEFERRABLE INITIALLY DEFERRED)")));
        ASSERT_TRUE(conn().beginTransaction() && conn().execute(QStringLiteral("INSERT INTO Dziecko VALUES (5)")));
        EXPECT_TRUE(!conn().commit() && conn().lastError().description.contains(QStringLiteral("foreign key"), Qt::CaseInsensitive))
            << lastError();
        conn().rollback();
    }
    // A rollback with nothing to roll back fails with its own reason.
    if (!isServer()) {
        EXPECT_TRUE(!conn().rollback() && conn().lastError().description.contains(QStringLiteral("no transaction"))) << lastError();
        EXPECT_TRUE(conn().beginTransaction() && !conn().beginTransaction() && conn().rollback()) << "one at a time";
    }
    // A table name that is no plain name is refused with a reason.
    EXPECT_FALSE(conn().append(QStringLiteral("SPC_Baza; DROP TABLE SPC_Baza"), row));
    EXPECT_TRUE(conn().lastError().description.startsWith(QStringLiteral("Niepoprawna nazwa tabeli"))) << lastError();
    EXPECT_FALSE(conn().append(QStringLiteral("SPC_Baza"), Record({"NieMaTakiejKolumny"}, {5})));
    EXPECT_EQ(conn().lastError().description, QStringLiteral("Tabela SPC_Baza nie ma żadnej z zapisywanych kolumn."));
    const Recordset rs = conn().query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=2 Order by Data,Czas,ID"), &ok);
    ASSERT_EQ(rs.recordCount(), 2);
    const Record& r = rs.rows().first();
    const QStringList texts{r.value("Data").toString(), r.value("Czas").toString(), r.value("CzyOb").toString(),
                            r.value("ID1").toString(), r.value("ID2").toString()};
    EXPECT_EQ(texts, QStringList({"2024-03-05", "07:05", "1", hostile, polish}));
    EXPECT_TRUE(r.isNull(QStringLiteral("PomiaryNL")) && r.isNull(QStringLiteral("W2")));
    EXPECT_DOUBLE_EQ(r.value(QStringLiteral("W1")).toDouble(), 1.25);
    EXPECT_DOUBLE_EQ(r.value(QStringLiteral("Srednia")).toDouble(), static_cast<double>(1.1f));
    EXPECT_TRUE(r.value(QStringLiteral("ID")).toInt() < rs.rows()[1].value(QStringLiteral("ID")).toInt() && rs.rows()[1].value(QStringLiteral("CzyOb")).toString() == "0");
    EXPECT_TRUE(conn().hasColumn(QStringLiteral("spc_baza"), QStringLiteral("POMIARYNL")) &&
                conn().hasColumn(QStringLiteral("SPC_Baza"), QStringLiteral("W40")));
    EXPECT_TRUE(!conn().hasColumn(QStringLiteral("SPC_Baza"), QStringLiteral("W41")) && conn().columns(QStringLiteral("SPC_Brak")).isEmpty());
}

TEST_P(Queries, LatestSamplesInTimeOrder) {
    ASSERT_TRUE(db->createSchema());
    // Stored out of time order; two samples share date and time; one of another parameter.
    const struct {
        int parameter;
        const char *date, *time;
        double w;
    } rows[] = {{7, "2024-03-05", "08:00", 5}, {7, "2024-03-04", "23:50", 3}, {7, "2024-03-05", "08:00", 6},
                {7, "2024-03-05", "07:00", 4}, {7, "2023-12-31", "12:00", 1}, {7, "2024-01-15", "06:00", 2},
                {8, "2030-01-01", "00:00", 99}};
    for (const auto& s : rows)
        ASSERT_TRUE(conn().append("SPC_Baza", Record({"IDPK", "Data", "Czas", "W1"}, {s.parameter, s.date, s.time, s.w})))
            << lastError();
    bool ok = false;
    const Recordset last3 = conn().latestSamples(7, 3, &ok);
    ASSERT_TRUE(ok && Column(last3, "W1") == (QList<double>{4, 5, 6})) << lastError();
    EXPECT_DOUBLE_EQ(last3[QStringLiteral("W1")].toDouble(), 4); // on the oldest
    EXPECT_EQ(Column(conn().latestSamples(7, 50, &ok), "W1"), (QList<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Column(conn().latestSamples(QStringLiteral("7"), 1, &ok), "W1"), (QList<double>{6}));
    EXPECT_TRUE(conn().latestSamples(7, 0, &ok).isEmpty());
    EXPECT_FALSE(conn().execute(QStringLiteral("Insert into NieMa values (?)"), {1})) << "a statement with values that cannot be prepared";
    const Recordset none = conn().latestSamples(12345, 5, &ok);
    EXPECT_TRUE(ok && none.bof() && none.eof() && none.current().isEmpty());
}

// Opening again releases the last connection; a refused one leaves nothing open nor registered.
TEST(Connection, RefusedOpeningsLeaveNothingBehind) {
    QTemporaryDir dir;
    const QStringList before = QSqlDatabase::connectionNames();
    DbConnection c;
    DatabaseConfig odbc;
    odbc.dbType = QStringLiteral("sql");
    odbc.odbcDriver = QStringLiteral("Brak Takiego Sterownika");
    const std::function<bool()> refused[] = {
        [&] { return c.openFile(QDir(dir.path()).filePath(QStringLiteral("pusty"))); },
        [&] { return c.openSqliteFile(QDir(dir.path()).filePath(QStringLiteral("brak.mdb"))); },
        [&] { return c.openSqliteFile(QDir(dir.path()).filePath(QStringLiteral("brak/Norv.mdb")), false); },
        [&] { return c.open(odbc); }};
    QStringList why;
    for (const auto& open : refused) {
        ASSERT_TRUE(c.openSqliteFile(QDir(dir.path()).filePath(QStringLiteral("Norv.mdb")), false));
        ASSERT_TRUE(c.openSqliteFile(QDir(dir.path()).filePath(QStringLiteral("Norv.mdb")), false));
        EXPECT_TRUE(QSqlDatabase::connectionNames().size() == before.size() + 1 && !open() && !c.isOpen() &&
                    !c.lastError().description.isEmpty());
        why << c.lastError().number + u' ' + c.lastError().description;
        EXPECT_EQ(QSqlDatabase::connectionNames(), before);
    }
    EXPECT_TRUE(why[2].startsWith(u"14 ") && why[3].contains(odbc.odbcDriver)) << why.join(u'\n').toStdString();
    bool ok = true;
    c.query(QStringLiteral("Select 1"), &ok);
    EXPECT_TRUE(!ok && c.lastError().description == QStringLiteral("Brak połączenia z bazą danych.")); // not the refusal before
    EXPECT_TRUE(c.columns(QStringLiteral("T; --")).isEmpty() && c.lastError().description.startsWith(QStringLiteral("Niepoprawna nazwa tabeli")));
    EXPECT_TRUE(!c.execute(QStringLiteral("Select 1")) && c.lastError().description == QStringLiteral("Brak połączenia z bazą danych."));
}

// A database that refuses the record table: the file journal stands in, a write it cannot take is reported.
TEST(StoredCards, ReadOnlyDatabaseFallsBackToTheFileJournal) {
    ScratchDatabase scratch(Backend::SQLite);
    EXPECT_TRUE(scratch.exec(QStringLiteral("PRAGMA query_only=1")) && PrepareStoredCards(scratch.conn()) == StoredCardsRecord::FileJournal);
    scratch.conn().close();
    EXPECT_EQ(PrepareStoredCards(scratch.conn()), StoredCardsRecord::Unreachable);
    SetProgramFolder(scratch.folder());
    const QString journal = WorkingFile(StoredCardsJournalName());
    const QDateTime when(QDate(2024, 3, 5), QTime(7, 5));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), journal));
    EXPECT_EQ(BeginFileJournal("AB12", QStringLiteral("karta.png"), when), -1); // full even for root
    EXPECT_TRUE(QFile::remove(journal) && BeginFileJournal("AB12", QStringLiteral("karta.png"), when) == 0);
    const qint64 second = BeginFileJournal("CD34", QStringLiteral("inna.png"), when);
    EXPECT_FALSE(ConfirmFileJournal(second + 1)) << "not a pending line";
    WithdrawFileJournal(second);
    EXPECT_TRUE(ConfirmFileJournal(0) && !ConfirmFileJournal(0));
    WithdrawFileJournal(0); // confirmed: it stays
    // A line cut short by a full disk is taken back whole.
    const auto [limited, cut] = kartovo::testing::UnderFileSizeLimit(rlim_t(QFileInfo(journal).size() + 8),
                                                   [&] { return BeginFileJournal("EF56", QStringLiteral("x.png"), when); });
    EXPECT_EQ(std::tuple(limited, cut, kartovo::testing::ReadFile(journal)),
              std::tuple(true, qint64(-1), QByteArray(" ab12\t2024-03-05T07:05:00\tkarta.png\n")));
    SetProgramFolder({});
    // The column's width: a longer name would fail the save on PostgreSQL.
    SetStationName(QString(300, u'x'));
    EXPECT_EQ(StationName(), QString(255, u'x'));
    SetStationName({});
}

} // namespace

TEST(SqlDialect, EachSystemGetsTextItTakes) {
    const QString active = QStringLiteral("Select * from [SPC_Programy] Where Lx>0 AND ArchP=0");
    const QString top = QStringLiteral("Select Top 1 * from [SPC_Baza] Where IDPK=7 Order by Data,Czas,ID");
    const QString like = QStringLiteral("Select * from [P] Where ID1 Like 'Wa*' And 'a*b'=ID2 Or ID3=('c*')");
    const struct {
        QString sql;
        DbSystem system;
        QString expected; // empty: unchanged
    } cases[] = {
        {active, DbSystem::SQLite, {}}, {active, DbSystem::SqlServer, {}},
        {active, DbSystem::PostgreSQL, QStringLiteral("Select * from SPC_Programy Where Lx>0 AND ArchP=0")},
        {active, DbSystem::MySQL, QStringLiteral("Select * from `SPC_Programy` Where Lx>0 AND ArchP=0")},
        // Quoted text is never rewritten, except backslashes that MySQL/MariaDB would read as escapes.
        {QStringLiteral("Select * from [T] Where N='[a]''[b] Top 3' Order by N"), DbSystem::PostgreSQL,
         QStringLiteral("Select * from T Where N='[a]''[b] Top 3' Order by N")},
        {QStringLiteral("Select * from [T] Where P='C:\\Baza\\' And Q='[x]'"), DbSystem::MySQL,
         QStringLiteral("Select * from `T` Where P='C:\\\\Baza\\\\' And Q='[x]'")},
        {QStringLiteral("Select * from [T] Where P='C:\\Baza'"), DbSystem::SQLite, {}},
        {QStringLiteral("Select * from [T] Where N='[a"), DbSystem::PostgreSQL, QStringLiteral("Select * from T Where N='[a")},
        // Top becomes LIMIT where it is unknown; "Top" elsewhere is an ordinary word.
        {top, DbSystem::SqlServer, {}}, {QStringLiteral("Select Topka from [T]"), DbSystem::SQLite, {}},
        {top, DbSystem::SQLite, QStringLiteral("Select * from [SPC_Baza] Where IDPK=7 Order by Data,Czas,ID LIMIT 1")},
        {top, DbSystem::PostgreSQL, QStringLiteral("Select * from SPC_Baza Where IDPK=7 Order by Data,Czas,ID LIMIT 1")},
        {QStringLiteral("  select TOP 25 ID from [T];"), DbSystem::MySQL, QStringLiteral("  select ID from `T` LIMIT 25")},
        // Like patterns take the standard wildcard; PostgreSQL compares without case as the others do.
        {like, DbSystem::SQLite, QStringLiteral("Select * from [P] Where ID1 Like 'Wa%' And 'a*b'=ID2 Or ID3=('c*')")},
        {like, DbSystem::PostgreSQL, QStringLiteral("Select * from P Where ID1 ILIKE 'Wa%' And 'a*b'=ID2 Or ID3=('c*')")},
        {QStringLiteral("Select Likely from [T] Where a like 'O''B*'"), DbSystem::PostgreSQL,
         QStringLiteral("Select Likely from T Where a ILIKE 'O''B%'")}};
    for (const auto& c : cases)
        EXPECT_EQ(TranslateSql(c.sql, c.system), c.expected.isEmpty() ? c.sql : c.expected)
            << c.sql.toStdString() << " on " << int(c.system);
    EXPECT_EQ(SelectTopSql(5, QStringLiteral("SPC_Baza"), QStringLiteral("IDPK=?"), QStringLiteral("Data DESC")),
              QStringLiteral("Select Top 5 * from [SPC_Baza] Where IDPK=? Order by Data DESC"));
}

// The main program writes the same text for the same settings.
TEST(ConnectionText, ServerFormIsWrittenExactlyAndNormalised) {
    DatabaseConfig c;
    c.dbType = QStringLiteral("SQL");
    c.odbcDriver = QStringLiteral("X");
    c.odbcServer = QStringLiteral("S");
    c.odbcDatabase = QStringLiteral("D");
    c.odbcUser = QStringLiteral("U");
    EXPECT_EQ(BuildConnectionString(c), QStringLiteral("DRIVER=X;SERVER=S; DATABASE=D;UID=U;PWD=;"));
    c.odbcPort = QStringLiteral(" 5433 ");
    EXPECT_TRUE(BuildConnectionString(c).endsWith(QStringLiteral("PWD=;PORT=5433;")));
    EXPECT_EQ(NormalizeConnectionString(QStringLiteral(" DRIVER = {PostgreSQL Unicode} ;  ;=nic; SERVER=h} ;PWD={ a;b }")),
              QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=h};PWD={ a;b }")); // a stray } closes nothing
    EXPECT_EQ(NormalizeConnectionString(QStringLiteral("DRIVER=SQL Server Native;")),
              QStringLiteral("DRIVER=SQL Server Native"));
}

// The server's words on one line, else the driver's; the number, else 0.
TEST(DatabaseError, NumberAndTextFromTheDriver) {
    const DbError e = DbErrorFrom(QSqlError(QStringLiteral("QODBC: Unable to connect"), QStringLiteral("FATAL:  no\r\nsuch\rbad\nuser\r"),
                                            QSqlError::ConnectionError, QStringLiteral("101;210")));
    EXPECT_EQ(e.number + u'|' + e.description, QStringLiteral("101|FATAL:  no such bad user"));
    const DbError bare = DbErrorFrom(QSqlError(QStringLiteral("Unable to connect"), {}, QSqlError::ConnectionError, {}));
    EXPECT_EQ(bare.number + u'|' + bare.description, QStringLiteral("0|Unable to connect"));
}
