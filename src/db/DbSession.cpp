#include "db/DbSession.h"

#include "platform/Logging.h"

#include <QCoreApplication>

namespace kartovo {

namespace {

bool Answers(DbConnection& conn) {
    if (!conn.isOpen()) return false;
    bool ok = false;
    conn.query(QStringLiteral("Select 1"), &ok);
    return ok;
}

} // namespace

DbSession::DbSession() : m_conn(std::make_unique<DbConnection>()) {}

DbSession& DbSession::instance() {
    static DbSession session;
    return session;
}

bool DbSession::open(const DatabaseConfig& config) {
    // The connection must go while Qt SQL still exists, not when this static
    // object is destroyed after it.
    static bool cleanupRegistered = false;
    if (!cleanupRegistered && QCoreApplication::instance()) {
        qAddPostRoutine([] { DbSession::instance().reset(); });
        cleanupRegistered = true;
    }
    m_config = config;
    m_base = BaseSettings{};
    const bool opened = m_conn->open(config);
    m_state = opened ? State::Connected : State::Closed;
    return opened;
}

void DbSession::reset() {
    m_conn->close();
    m_config = DatabaseConfig{};
    m_base = BaseSettings{};
    m_state = State::Closed;
}

bool DbSession::ensureConnected() {
    // Opened some other way (tests, tools): nothing to go back to, only ask.
    if (m_state == State::Closed) return Answers(*m_conn);
    // The loss was reported once; the retries at every look stay quiet.
    // (Qt's own registry flips these flags the same way.)
    auto& category = const_cast<QLoggingCategory&>(lcDb());
    const bool warnings = category.isWarningEnabled();
    if (m_state == State::Lost) category.setEnabled(QtWarningMsg, false);
    const bool connected = reconnectIfNeeded();
    category.setEnabled(QtWarningMsg, warnings);
    return connected;
}

bool DbSession::reconnectIfNeeded() {
    if (Answers(*m_conn)) {
        if (m_state == State::Lost) qCInfo(lcDb) << "database connection restored";
        m_state = State::Connected;
        return true;
    }
    const QString why = m_conn->lastError().description;
    // A dead connection cannot be told to roll back; it is dropped and opened afresh.
    if (m_conn->open(m_config) && Answers(*m_conn)) {
        qCInfo(lcDb) << "database connection reopened";
        m_state = State::Connected;
        return true;
    }
    if (m_state != State::Lost)
        qCWarning(lcDb).noquote() << "database connection lost:" << why << "/" << m_conn->lastError().description;
    m_state = State::Lost;
    return false;
}

bool EnsureConnected(DbConnection& conn) {
    DbSession& session = DbSession::instance();
    if (&conn == &session.conn()) return session.ensureConnected();
    return Answers(conn);
}

} // namespace kartovo
