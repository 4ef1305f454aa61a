#pragma once

#include "db/Connection.h"
#include "db/DatabaseConfig.h"
#include "platform/Messages.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <ostream>

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace kartovo::test {

enum class Backend { SQLite, PostgreSQL, MariaDB };

// The throw-away servers started by scripts/pg-test-server.sh and
// scripts/mariadb-test-server.sh (KARTOVO_PG_* / KARTOVO_MARIADB_* and
// ODBCSYSINI in the environment): settings as the main program would store
// them for `database` on the server of `backend`, with `password`.
DatabaseConfig ServerConfig(Backend backend, const QString& database, const QString& password);
QString ServerPassword(Backend backend);
QString ServerAdminDatabase(Backend backend);

// Whether the server of `backend` was started (SQLite always is).
bool BackendAvailable(Backend backend);
QString BackendSkipReason(Backend backend);

// A database of its own for one test: an SQLite Norv.mdb in a temporary
// folder, or a fresh database on the PostgreSQL or MariaDB test server
// (dropped at the end), so that tests can run in parallel.
class ScratchDatabase {
public:
    explicit ScratchDatabase(Backend backend);
    ~ScratchDatabase();

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    Backend backend() const { return m_backend; }
    DbConnection& conn() { return *m_conn; }
    DatabaseConfig config() const;
    QString folder() const { return m_dir.path(); }
    QString name() const { return m_name; }

    // Runs the schema script of the backend.
    bool createSchema();
    // Statement in the backend's own DDL.
    bool exec(const QString& sql) { return m_conn->execute(sql); }
    // Number of rows in a table (-1 on error).
    int count(const QString& table);
    // Closes the test's connection (before others open the same database).
    void closeConnection() { m_conn->close(); }

private:
    Backend m_backend;
    QTemporaryDir m_dir;
    QString m_name;
    bool m_ok = false;
    QString m_error;
    std::unique_ptr<DbConnection> m_conn;
};

// Records every message shown while it lives.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    QList<MessageRequest> messages;

private:
    MessagePresenter m_previous;
};

} // namespace kartovo::test
