#include "DbTestSupport.h"

#include "db/DemoDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlQuery>
#include <atomic>

namespace kartovo::test {

bool PgServer::available() { return !qEnvironmentVariableIsEmpty("KARTOVO_PG_PORT"); }

QString PgServer::skipReason() {
    return QStringLiteral("KARTOVO_PG_PORT is not set: start a test server with scripts/pg-test-server.sh");
}

static QString Env(const char* name, const char* fallback) {
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? QString::fromLatin1(fallback) : v;
}

QString PgServer::host() { return Env("KARTOVO_PG_HOST", "127.0.0.1"); }
QString PgServer::port() { return Env("KARTOVO_PG_PORT", "5432"); }
QString PgServer::user() { return Env("KARTOVO_PG_USER", "kartovo"); }
QString PgServer::password() { return Env("KARTOVO_PG_PASSWORD", ""); }
QString PgServer::adminDatabase() { return Env("KARTOVO_PG_DATABASE", "kartovo_test"); }
QString PgServer::driver() { return Env("KARTOVO_PG_DRIVER", "PostgreSQL Unicode"); }

DatabaseConfig PgServer::config(const QString& database, const QString& password) {
    DatabaseConfig c;
    c.dbType = QStringLiteral("SQL");
    c.odbcDriver = driver();
    c.odbcServer = host() + QStringLiteral(";PORT=") + port();
    c.odbcDatabase = database;
    c.odbcUser = user();
    c.odbcPassword = password;
    return c;
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
        if (!admin.open(PgServer::config(PgServer::adminDatabase(), PgServer::password())) ||
            !admin.execute(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name)) ||
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
    if (m_backend == Backend::PostgreSQL && !m_name.isEmpty()) {
        DbConnection admin;
        if (admin.open(PgServer::config(PgServer::adminDatabase(), PgServer::password())))
            admin.execute(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
    }
}

DatabaseConfig ScratchDatabase::config() const {
    if (m_backend == Backend::PostgreSQL) return PgServer::config(m_name, PgServer::password());
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
