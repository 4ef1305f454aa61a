#pragma once

#include <QString>

namespace kartovo {

// The database system behind the connection; it decides how the shared SQL
// texts (bracketed table names, "Select Top n") are spelled.
enum class DbSystem { SQLite, SqlServer, PostgreSQL, MySQL, Other };

QString DbSystemName(DbSystem system);

// Rewrites one SQL text, written once in the bracket/Top style, for `system`:
//  - [Name] stays for SQLite, SQL Server and unknown systems, loses its
//    brackets on PostgreSQL (unquoted, so folded to lower case like the
//    schema there) and becomes `Name` on MySQL/MariaDB;
//  - a leading "Select Top n" becomes "Select ... LIMIT n" where Top is unknown;
//  - the pattern after Like uses % where it was written with *, and Like is
//    ILIKE on PostgreSQL (the others compare without regard to case);
//  - on MySQL/MariaDB a backslash in a literal is doubled (it escapes there).
// Quoted text literals are never touched.
QString TranslateSql(const QString& sql, DbSystem system);

// Top-n form of "Select * from [table] Where <where> Order by <order>".
QString SelectTopSql(int n, const QString& table, const QString& where, const QString& order);

} // namespace kartovo
