#pragma once

// A database of its own for each test: an SQLite file, or one on the throw-away servers of scripts/.
#include "common/TestHelpers.h"
#include "db/Connection.h"
#include "db/DatabaseConfig.h"
#include "db/DemoDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace kartovo::test {

using kartovo::testing::MessageRecorder;

enum class Backend { SQLite, PostgreSQL, MariaDB };
inline constexpr Backend kBackends[] = {Backend::SQLite, Backend::PostgreSQL, Backend::MariaDB};
inline void PrintTo(Backend b, std::ostream* os) {
    *os << (b == Backend::SQLite ? "SQLite" : b == Backend::PostgreSQL ? "PostgreSQL" : "MariaDB");
}

// Settings as the main program stores them for `database` (the server's own when empty).
inline DatabaseConfig ServerConfig(Backend backend, const QString& database, const QString& password = {}) {
    const QString p = backend == Backend::MariaDB ? QStringLiteral("KARTOVO_MARIADB_") : QStringLiteral("KARTOVO_PG_");
    auto env = [&](const char* name) { return qEnvironmentVariable((p + QLatin1String(name)).toLatin1().constData()); };
    DatabaseConfig c;
    c.dbType = QStringLiteral("SQL");
    c.odbcDatabase = database.isEmpty() ? env("DATABASE") : database;
    c.odbcPassword = password.isNull() ? env("PASSWORD") : password;
    c.odbcDriver = env("DRIVER");
    c.odbcUser = env("USER");
    c.odbcServer = env("HOST");
    if (backend == Backend::MariaDB)
        c.odbcPort = env("PORT");
    else // the port rides on the server value as an extra key
        c.odbcServer += QStringLiteral(";PORT=") + env("PORT");
    return c;
}

class ScratchDatabase {
public:
    explicit ScratchDatabase(Backend backend) : m_backend(backend) {
        if (backend == Backend::SQLite) {
            // Created here on purpose: the program itself never creates the file.
            m_ok = m_conn.openSqliteFile(QDir(m_dir.path()).filePath(QStringLiteral("Norv.mdb")), false) &&
                   m_conn.execute(QStringLiteral("PRAGMA synchronous=OFF"));
        } else {
            static std::atomic<int> counter{0};
            m_name = QStringLiteral("kt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
            DbConnection admin;
            m_ok = admin.open(ServerConfig(backend, {})) && admin.execute(dropSql()) &&
                   admin.execute(QStringLiteral("CREATE DATABASE %1").arg(m_name)) && m_conn.open(config());
            m_error = admin.lastError().description;
        }
        if (m_error.isEmpty()) m_error = m_conn.lastError().description;
    }
    ~ScratchDatabase() {
        m_conn.close();
        DbConnection admin;
        if (!m_name.isEmpty() && admin.open(ServerConfig(m_backend, {}))) admin.execute(dropSql());
    }

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    DbConnection& conn() { return m_conn; }
    QString folder() const { return m_dir.path(); }
    QString name() const { return m_name; }
    DatabaseConfig config() const {
        if (m_backend != Backend::SQLite) return ServerConfig(m_backend, m_name);
        DatabaseConfig c;
        c.dbType = QStringLiteral("MDB");
        c.dbFolder = m_dir.path();
        return c;
    }
    // One transaction, or SQLite would sync the file after every table.
    bool createSchema(bool demo = false) {
        return m_conn.beginTransaction() && ApplySchema(m_conn) && (!demo || FillDemoData(m_conn)) && m_conn.commit();
    }
    bool exec(const QString& sql) { return m_conn.execute(sql); }
    int count(const QString& table) {
        bool ok = false;
        const Recordset rs = m_conn.query(QStringLiteral("Select count(*) AS n from [%1]").arg(table), &ok);
        return ok && !rs.isEmpty() ? rs.rows().first().value(QStringLiteral("n")).toInt() : -1;
    }

private:
    QString dropSql() const {
        return QStringLiteral("DROP DATABASE IF EXISTS %1%2")
            .arg(m_name, m_backend == Backend::MariaDB ? QString() : QStringLiteral(" WITH (FORCE)"));
    }

    Backend m_backend;
    QTemporaryDir m_dir;
    QString m_name;
    bool m_ok = false;
    QString m_error;
    DbConnection m_conn;
};

// Runs a test on each database system, on a database of its own.
class OnBothSystems : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        const char* port = GetParam() == Backend::MariaDB ? "KARTOVO_MARIADB_PORT" : "KARTOVO_PG_PORT";
        if (GetParam() != Backend::SQLite && qEnvironmentVariableIsEmpty(port))
            GTEST_SKIP() << port << " is not set: start the test server from scripts/";
        db = std::make_unique<ScratchDatabase>(GetParam());
        ASSERT_TRUE(db->ok()) << db->error().toStdString();
    }
    DbConnection& conn() { return db->conn(); }
    bool isPg() const { return GetParam() == Backend::PostgreSQL; }
    bool isServer() const { return GetParam() != Backend::SQLite; }
    std::string lastError() { return conn().lastError().description.toStdString(); }

    std::unique_ptr<ScratchDatabase> db;
};

} // namespace kartovo::test

#define KARTOVO_ON_BOTH_SYSTEMS(Suite) \
    INSTANTIATE_TEST_SUITE_P(Db, Suite, ::testing::ValuesIn(::kartovo::test::kBackends), ::testing::PrintToStringParamName())
