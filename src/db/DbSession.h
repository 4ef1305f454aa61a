#pragma once

#include "db/BaseSettings.h"
#include "db/Connection.h"
#include "db/DatabaseConfig.h"

#include <memory>

namespace kartovo {

// What the run shares about its database: the one connection ("Conn") and the
// base settings loaded from it. Opened once at start-up, then reached by every
// subsystem through DbSession::instance() (or the shortcut Conn()).
class DbSession {
public:
    static DbSession& instance();

    // Opens (or reopens) the run's connection; false with conn().lastError()
    // set when it cannot be opened.
    bool open(const DatabaseConfig& config);
    // Closes the connection and forgets the base settings (tests, tools).
    void reset();

    DbConnection& conn() { return *m_conn; }
    bool isOpen() const { return m_conn->isOpen(); }
    DatabaseConfig config() const { return m_config; }

    BaseSettings& baseSettings() { return m_base; }
    const BaseSettings& baseSettings() const { return m_base; }

private:
    DbSession();
    std::unique_ptr<DbConnection> m_conn;
    DatabaseConfig m_config;
    BaseSettings m_base;
};

inline DbConnection& Conn() { return DbSession::instance().conn(); }
inline const BaseSettings& Base() { return DbSession::instance().baseSettings(); }

} // namespace kartovo
