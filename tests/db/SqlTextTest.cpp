// The dialect layer and the connection texts: pure text handling.
#include "db/Connection.h"
#include "db/SqlDialect.h"

#include <QSqlError>

#include <gtest/gtest.h>

using namespace kartovo;

TEST(SqlDialect, EachSystemGetsTextItTakes) {
    const QString active = QStringLiteral("Select * from [SPC_Programy] Where Lx>0 AND ArchP=0");
    const QString top = QStringLiteral("Select Top 1 * from [SPC_Baza] Where IDPK=7 Order by Data,Czas,ID");
    const QString like = QStringLiteral("Select * from [P] Where ID1 Like 'Wa*' And ID2='a*b'");
    const struct {
        QString sql;
        DbSystem system;
        QString expected; // empty: unchanged
    } cases[] = {
        {active, DbSystem::SQLite, {}},
        {active, DbSystem::SqlServer, {}},
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
        {top, DbSystem::SqlServer, {}},
        {top, DbSystem::SQLite, QStringLiteral("Select * from [SPC_Baza] Where IDPK=7 Order by Data,Czas,ID LIMIT 1")},
        {top, DbSystem::PostgreSQL, QStringLiteral("Select * from SPC_Baza Where IDPK=7 Order by Data,Czas,ID LIMIT 1")},
        {QStringLiteral("  select TOP 25 ID from [T];"), DbSystem::MySQL, QStringLiteral("  select ID from `T` LIMIT 25")},
        {QStringLiteral("Select Topka from [T]"), DbSystem::SQLite, {}},
        // Like patterns take the standard wildcard; PostgreSQL compares without case as the others do.
        {like, DbSystem::SQLite, QStringLiteral("Select * from [P] Where ID1 Like 'Wa%' And ID2='a*b'")},
        {like, DbSystem::PostgreSQL, QStringLiteral("Select * from P Where ID1 ILIKE 'Wa%' And ID2='a*b'")},
        {QStringLiteral("Select Likely from [T] Where a like 'O''B*'"), DbSystem::PostgreSQL,
         QStringLiteral("Select Likely from T Where a ILIKE 'O''B%'")},
    };
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
    EXPECT_EQ(NormalizeConnectionString(QStringLiteral(" DRIVER = {PostgreSQL Unicode} ;  ;=nic; SERVER=h ;PWD={ a;b }")),
              QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=h;PWD={ a;b }"));
    EXPECT_EQ(NormalizeConnectionString(QStringLiteral("DRIVER=SQL Server Native;")),
              QStringLiteral("DRIVER=SQL Server Native"));
}

// The server's words on one line, else the driver's; the number, else 0.
TEST(DatabaseError, NumberAndTextFromTheDriver) {
    const DbError e = DbErrorFrom(QSqlError(QStringLiteral("QODBC: Unable to connect"), QStringLiteral("FATAL:  no\r\nsuch\nuser\r"),
                                            QSqlError::ConnectionError, QStringLiteral("101;210")));
    EXPECT_EQ(e.number + u'|' + e.description, QStringLiteral("101|FATAL:  no such user"));
    const DbError bare = DbErrorFrom(QSqlError(QStringLiteral("Unable to connect"), {}, QSqlError::ConnectionError, {}));
    EXPECT_EQ(bare.number + u'|' + bare.description, QStringLiteral("0|Unable to connect"));
}
