#include "DbTestSupport.h"

#include "db/DemoDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlQuery>
#include <atomic>

namespace kartovo::test {

namespace {

QString Env(const char* name, const char* fallback) {
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? QString::fromLatin1(fallback) : v;
}

bool IsMariaDb(Backend backend) { return backend == Backend::MariaDB; }

DatabaseConfig AdminConfig(Backend backend) {
    return ServerConfig(backend, ServerAdminDatabase(backend), ServerPassword(backend));
}

QString DropDatabaseSql(Backend backend, const QString& name) {
    return IsMariaDb(backend) ? QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name)
                              : QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name);
}

} // namespace

DatabaseConfig ServerConfig(Backend backend, const QString& database, const QString& password) {
    DatabaseConfig c;
    c.dbType = QStringLiteral("SQL");
    c.odbcDatabase = database;
    c.odbcPassword = password;
    if (IsMariaDb(backend)) {
        c.odbcDriver = Env("KARTOVO_MARIADB_DRIVER", "MariaDB Unicode");
        c.odbcServer = Env("KARTOVO_MARIADB_HOST", "127.0.0.1");
        c.odbcPort = Env("KARTOVO_MARIADB_PORT", "3306");
        c.odbcUser = Env("KARTOVO_MARIADB_USER", "kartovo");
    } else {
        // The port rides on the server value as an extra key of the connection text.
        c.odbcDriver = Env("KARTOVO_PG_DRIVER", "PostgreSQL Unicode");
        c.odbcServer = Env("KARTOVO_PG_HOST", "127.0.0.1") + QStringLiteral(";PORT=") + Env("KARTOVO_PG_PORT", "5432");
        c.odbcUser = Env("KARTOVO_PG_USER", "kartovo");
    }
    return c;
}

QString ServerPassword(Backend backend) {
    return IsMariaDb(backend) ? Env("KARTOVO_MARIADB_PASSWORD", "") : Env("KARTOVO_PG_PASSWORD", "");
}

QString ServerAdminDatabase(Backend backend) {
    return IsMariaDb(backend) ? Env("KARTOVO_MARIADB_DATABASE", "kartovo_test") : Env("KARTOVO_PG_DATABASE", "kartovo_test");
}

bool BackendAvailable(Backend backend) {
    switch (backend) {
    case Backend::SQLite: return true;
    case Backend::PostgreSQL: return !qEnvironmentVariableIsEmpty("KARTOVO_PG_PORT");
    case Backend::MariaDB: return !qEnvironmentVariableIsEmpty("KARTOVO_MARIADB_PORT");
    }
    return false;
}

QString BackendSkipReason(Backend backend) {
    return IsMariaDb(backend)
               ? QStringLiteral("KARTOVO_MARIADB_PORT is not set: start a test server with scripts/mariadb-test-server.sh")
               : QStringLiteral("KARTOVO_PG_PORT is not set: start a test server with scripts/pg-test-server.sh");
}

ScratchDatabase::ScratchDatabase(Backend backend) : m_backend(backend), m_conn(std::make_unique<DbConnection>()) {
    if (backend == Backend::SQLite) {
        const QString path = QDir(m_dir.path()).filePath(QStringLiteral("Norv.mdb"));
        // Created here on purpose: the program itself never creates the file.
        m_ok = m_conn->openSqliteFile(path, false);
        if (!m_ok) m_error = m_conn->lastError().description;
        // No sync to disk after every statement: a throw-away file.
        if (m_ok) m_conn->execute(QStringLiteral("PRAGMA synchronous=OFF"));
        return;
    }
    static std::atomic<int> counter{0};
    m_name = QStringLiteral("kt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    {
        DbConnection admin;
        if (!admin.open(AdminConfig(backend)) || !admin.execute(DropDatabaseSql(backend, m_name)) ||
            !admin.execute(QStringLiteral("CREATE DATABASE %1").arg(m_name))) {
            m_error = admin.lastError().description;
            return;
        }
    }
    m_ok = m_conn->open(config());
    if (!m_ok) m_error = m_conn->lastError().description;
}

ScratchDatabase::~ScratchDatabase() {
    m_conn->close();
    if (m_backend != Backend::SQLite && !m_name.isEmpty()) {
        DbConnection admin;
        if (admin.open(AdminConfig(m_backend))) admin.execute(DropDatabaseSql(m_backend, m_name));
    }
}

DatabaseConfig ScratchDatabase::config() const {
    if (m_backend != Backend::SQLite) return ServerConfig(m_backend, m_name, ServerPassword(m_backend));
    DatabaseConfig c;
    c.dbType = QStringLiteral("MDB");
    c.dbFolder = m_dir.path();
    return c;
}

bool ScratchDatabase::createSchema() {
    // One transaction: SQLite would otherwise sync the file after every table.
    return m_conn->beginTransaction() && ApplySchema(*m_conn) && m_conn->commit();
}

int ScratchDatabase::count(const QString& table) {
    bool ok = false;
    const Recordset rs = m_conn->query(QStringLiteral("Select count(*) AS n from [%1]").arg(table), &ok);
    if (!ok || rs.isEmpty()) return -1;
    return rs.rows().first().value(QStringLiteral("n")).toInt();
}

MessageRecorder::MessageRecorder() {
    m_previous = SetMessagePresenter([this](const MessageRequest& r) {
        messages.append(r);
        return true;
    });
}

MessageRecorder::~MessageRecorder() { SetMessagePresenter(m_previous); }

} // namespace kartovo::test
