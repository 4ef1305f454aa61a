// SQL texts, connection texts and the refusal text: pure text handling.
#include "db/Connection.h"
#include "db/SqlDialect.h"

#include <QSqlError>

#include <gtest/gtest.h>

using namespace kartovo;

TEST(SqlDialect, BracketsStayWhereTheSystemTakesThem) {
    const QString sql = QStringLiteral("Select * from [SPC_Programy] Where Lx>0 AND ArchP=0");
    EXPECT_EQ(TranslateSql(sql, DbSystem::SQLite), sql);
    EXPECT_EQ(TranslateSql(sql, DbSystem::SqlServer), sql);
    EXPECT_EQ(TranslateSql(sql, DbSystem::PostgreSQL), QStringLiteral("Select * from SPC_Programy Where Lx>0 AND ArchP=0"));
    EXPECT_EQ(TranslateSql(sql, DbSystem::MySQL), QStringLiteral("Select * from `SPC_Programy` Where Lx>0 AND ArchP=0"));
}

TEST(SqlDialect, QuotedTextIsNeverRewritten) {
    const QString sql = QStringLiteral("Select * from [SPC_OpisID1] Where Nazwa='[a]''[b] Top 3' Order by Nazwa");
    EXPECT_EQ(TranslateSql(sql, DbSystem::PostgreSQL),
              QStringLiteral("Select * from SPC_OpisID1 Where Nazwa='[a]''[b] Top 3' Order by Nazwa"));
    // ...except that MySQL/MariaDB would read a backslash as an escape.
    EXPECT_EQ(TranslateSql(QStringLiteral("Select * from [T] Where P='C:\\Baza\\' And Q='[x]'"), DbSystem::MySQL),
              QStringLiteral("Select * from `T` Where P='C:\\\\Baza\\\\' And Q='[x]'"));
    EXPECT_EQ(TranslateSql(QStringLiteral("Select * from [T] Where P='C:\\Baza'"), DbSystem::SQLite),
              QStringLiteral("Select * from [T] Where P='C:\\Baza'"));
}

TEST(SqlDialect, TopBecomesLimitWhereTopIsUnknown) {
    const QString sql = QStringLiteral("Select Top 1 * from [SPC_Baza] Where IDPK=7 Order by Data,Czas,ID");
    EXPECT_EQ(TranslateSql(sql, DbSystem::SqlServer), sql);
    EXPECT_EQ(TranslateSql(sql, DbSystem::SQLite),
              QStringLiteral("Select * from [SPC_Baza] Where IDPK=7 Order by Data,Czas,ID LIMIT 1"));
    EXPECT_EQ(TranslateSql(sql, DbSystem::PostgreSQL),
              QStringLiteral("Select * from SPC_Baza Where IDPK=7 Order by Data,Czas,ID LIMIT 1"));
    EXPECT_EQ(TranslateSql(QStringLiteral("  select TOP 25 ID from [T];"), DbSystem::MySQL),
              QStringLiteral("  select ID from `T` LIMIT 25"));
    // "Top" elsewhere is an ordinary word.
    const QString column = QStringLiteral("Select Topka from [T]");
    EXPECT_EQ(TranslateSql(column, DbSystem::SQLite), column);
}

TEST(SqlDialect, TopQueryText) {
    EXPECT_EQ(SelectTopSql(5, QStringLiteral("SPC_Baza"), QStringLiteral("IDPK=?"), QStringLiteral("Data DESC")),
              QStringLiteral("Select Top 5 * from [SPC_Baza] Where IDPK=? Order by Data DESC"));
}

TEST(ConnectionText, ServerFormIsWrittenExactly) {
    DatabaseConfig c;
    c.dbType = QStringLiteral("SQL");
    c.odbcDriver = QStringLiteral("X");
    c.odbcServer = QStringLiteral("S");
    c.odbcDatabase = QStringLiteral("D");
    c.odbcUser = QStringLiteral("U");
    EXPECT_EQ(BuildConnectionString(c), QStringLiteral("DRIVER=X;SERVER=S; DATABASE=D;UID=U;PWD=;"));
    // A port of its own ("ODBC"/"Port") follows as one more key.
    c.odbcPort = QStringLiteral(" 5433 ");
    EXPECT_EQ(BuildConnectionString(c), QStringLiteral("DRIVER=X;SERVER=S; DATABASE=D;UID=U;PWD=;PORT=5433;"));
}

TEST(ConnectionText, KeysAndValuesAreTrimmedBracesKept) {
    EXPECT_EQ(NormalizeConnectionString(QStringLiteral("DRIVER=X;SERVER=S; DATABASE=D;UID=U;PWD=;")),
              QStringLiteral("DRIVER=X;SERVER=S;DATABASE=D;UID=U;PWD="));
    EXPECT_EQ(NormalizeConnectionString(QStringLiteral(" DRIVER = {PostgreSQL Unicode} ;  ; SERVER=h ;PWD={ a;b }")),
              QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=h;PWD={ a;b }"));
    // Blanks inside a value stay.
    EXPECT_EQ(NormalizeConnectionString(QStringLiteral("DRIVER=SQL Server Native;")),
              QStringLiteral("DRIVER=SQL Server Native"));
}

TEST(DatabaseError, RefusalLinesAndNumbers) {
    const QString text = DatabaseErrorMessage(DbError{QStringLiteral("101"), QStringLiteral("password failed")});
    const QStringList lines = text.split(QChar(13));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QStringLiteral("Podczas dostępu do bazy danych wystąpił błąd !"));
    EXPECT_EQ(lines[1], QStringLiteral("Numer błędu: 101"));
    EXPECT_EQ(lines[2], QStringLiteral("Opis błędu: password failed"));
    EXPECT_EQ(lines[3], QString());
    EXPECT_EQ(lines[4], QStringLiteral("Przerywam działanie programu !!!"));

    const DbError e = DbErrorFrom(QSqlError(QStringLiteral("QODBC: Unable to connect"),
                                            QStringLiteral("FATAL:  no such user\n"), QSqlError::ConnectionError,
                                            QStringLiteral("101;210")));
    EXPECT_EQ(e.number, QStringLiteral("101"));
    EXPECT_EQ(e.description, QStringLiteral("FATAL:  no such user"));
    const DbError noText = DbErrorFrom(QSqlError(QStringLiteral("Unable to connect"), QString(),
                                                 QSqlError::ConnectionError, QString()));
    EXPECT_EQ(noText.number, QStringLiteral("0"));
    EXPECT_EQ(noText.description, QStringLiteral("Unable to connect"));
}

TEST(SqlDialect, LikePatternsUseTheStandardWildcard) {
    const QString sql = QStringLiteral("Select * from [SPC_Programy] Where ID1 Like 'Wa*' And ID2='a*b'");
    EXPECT_EQ(TranslateSql(sql, DbSystem::SQLite),
              QStringLiteral("Select * from [SPC_Programy] Where ID1 Like 'Wa%' And ID2='a*b'"));
    EXPECT_EQ(TranslateSql(sql, DbSystem::PostgreSQL),
              QStringLiteral("Select * from SPC_Programy Where ID1 ILIKE 'Wa%' And ID2='a*b'"));
    // Words that merely contain "like", and a quote doubled inside the pattern.
    EXPECT_EQ(TranslateSql(QStringLiteral("Select Likely from [T] Where a like 'O''B*'"), DbSystem::PostgreSQL),
              QStringLiteral("Select Likely from T Where a ILIKE 'O''B%'"));
}
