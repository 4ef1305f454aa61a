#include "db/DbSession.h"

namespace kartovo {

DbSession::DbSession() : m_conn(std::make_unique<DbConnection>()) {}

DbSession& DbSession::instance() {
    static DbSession session;
    return session;
}

bool DbSession::open(const DatabaseConfig& config) {
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
