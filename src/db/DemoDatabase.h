#pragma once

#include "db/SqlDialect.h"

#include <QString>
#include <QStringList>

namespace kartovo {

class DbConnection;

// The SQL script that creates every SPC table Kartovo uses (SQLite, or the
// PostgreSQL and MariaDB/MySQL variants with small integers for yes/no columns).
QString SchemaScript(DbSystem system);

// Statements of a script: "--" comment lines dropped, split at semicolons.
QStringList SplitSqlScript(const QString& script);

// Runs the schema script for the connection's system; false on the first
// failing statement (conn.lastError() tells why).
bool ApplySchema(DbConnection& conn);

// Fills an empty schema with the demonstration definitions: control programs
// (one archived), parameters of card types 0, 1 and 2, descriptive fields
// with their dictionaries, working parameters, the control-chart constants for
// n = 1 .. 40 and a few stored samples.
bool FillDemoData(DbConnection& conn);

// Writes the SPC_Tablice rows for n = 1 .. 40: R1 = D4, R2 = D3, S1 = B4,
// S2 = B3, R = d2, S = c4 (n = 1 takes the moving-range values of n = 2).
bool FillChartConstants(DbConnection& conn);

// Creates, in `folder` (made when missing), the SQLite database Norv.mdb with
// the demonstration data and the settings file NORV_SPC.ini pointing at it.
// An existing Norv.mdb or NORV_SPC.ini is kept as it is. Returns the settings
// file's path, or an empty text with `error` set.
QString CreateDemoDatabase(const QString& folder, QString* error = nullptr);

} // namespace kartovo
