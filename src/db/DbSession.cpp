#include "db/DbSession.h"

#include <QCoreApplication>

namespace kartovo {

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
    return m_conn->open(config);
}

void DbSession::reset() {
    m_conn->close();
    m_config = DatabaseConfig{};
    m_base = BaseSettings{};
}

} // namespace kartovo
