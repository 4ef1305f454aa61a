#pragma once

#include "db/DatabaseConfig.h"
#include "db/Record.h"
#include "db/Recordset.h"
#include "db/SqlDialect.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

class QSqlError;

namespace kartovo {

// Error number and description as the database client reported them.
struct DbError {
    QString number;      // decimal text; "0" when the client gave none
    QString description; // the database's own text where there is one
    bool isSet() const { return !description.isEmpty() || (!number.isEmpty() && number != u"0"); }
};

DbError DbErrorFrom(const QSqlError& error);

// R4: the lines shown when the connection cannot be opened.
QString DatabaseErrorMessage(const DbError& error);

// The server connection text exactly as the main program writes it, and
// "PORT=<n>;" after it when a port is configured apart from the server.
QString BuildConnectionString(const DatabaseConfig& config);

// Connection text with every key and value trimmed, empty parts and the
// closing semicolon dropped; {braced;values} are kept as they are. Some
// drivers ignore a key that has a blank before it, which the written text has
// before DATABASE, and MariaDB's refuses a closing semicolon.
QString NormalizeConnectionString(const QString& text);

// The latest-k query of SPC_Baza (newest first, one bound parameter: IDPK).
QString LatestSamplesSql(int count);

// True when the file starts with the header of an Access/Jet (or ACE) database.
bool IsJetDatabaseFile(const QString& path);

// True when the file starts with the header of an SQLite 3 database.
bool IsSqliteDatabaseFile(const QString& path);

// The one database connection of the run ("Conn"), or any other connection
// for tests and tools: SQL texts are written once in the bracket/Top style and
// translated for the connected system; results are copied into memory;
// appended rows are parameterised INSERTs. Not copyable; the Qt connection is
// removed when the object goes.
class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // The file form ("MDB": Norv.mdb in the folder, an SQLite file that must
    // already exist) or the server form (ODBC connection text). False with
    // lastError() set when it cannot be opened.
    bool open(const DatabaseConfig& config);
    bool openFile(const QString& folder);
    bool openSqliteFile(const QString& path, bool mustExist = true);
    bool openOdbc(const QString& connectionText);
    void close();

    bool isOpen() const;
    QString connectionName() const { return m_name; }
    QSqlDatabase database() const;
    DbSystem system() const { return m_system; }
    void setSystem(DbSystem system) { m_system = system; }
    QString translate(const QString& sql) const { return TranslateSql(sql, m_system); }

    const DbError& lastError() const { return m_lastError; }

    // Whole result of a query, navigable. On failure: an empty recordset,
    // `ok` false and lastError() set.
    Recordset query(const QString& sql, bool* ok = nullptr, const QVariantList& values = {});
    // One forward pass; `visit` returns false to stop early. False on a database error.
    bool read(const QString& sql, const std::function<bool(const Record&)>& visit, const QVariantList& values = {});
    // A statement without a result (values bound to its '?' in order).
    bool execute(const QString& sql, const QVariantList& values = {});

    // Appends one row: an INSERT with the row's values bound as parameters.
    // Columns the table does not have are left out; nulls are written as
    // NULL; dates and times go in as texts ("yyyy-MM-dd", "hh:mm").
    bool append(const QString& table, const Record& row);

    // The latest `count` rows of parameter `parameterId` in SPC_Baza, returned
    // in (Data, Czas, ID) order; fetched newest first with the system's top-n
    // form so that the cost does not grow with the table.
    Recordset latestSamples(const QVariant& parameterId, int count, bool* ok = nullptr);

    bool beginTransaction();
    bool commit();
    bool rollback();

    // Columns of a table as the database names them (looked up once per
    // table); empty when the table cannot be read.
    QStringList columns(const QString& table);
    bool hasColumn(const QString& table, const QString& column);

    // Value as it is handed to the database: texts for dates and times,
    // 1/0 for yes/no.
    static QVariant BindableValue(const QVariant& value);

private:
    bool finishOpen();
    void fail(const QSqlError& error);
    void fail(const QString& number, const QString& description);
    DbSystem detectSystem();

    QString m_name;
    DbSystem m_system = DbSystem::Other;
    DbError m_lastError;
    QHash<QString, QStringList> m_columns;
    QStringList m_lastReadColumns;
};

} // namespace kartovo
