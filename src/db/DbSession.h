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

    // The state of the connection as the last use found it.
    enum class State { Closed, Connected, Lost };
    State state() const { return m_state; }
    // Asks the server a trivial question; when that fails the connection is
    // reopened with the same configuration (nothing else is reloaded). False
    // when the database cannot be reached now (logged once, with the reason).
    bool ensureConnected();

    BaseSettings& baseSettings() { return m_base; }
    const BaseSettings& baseSettings() const { return m_base; }

private:
    DbSession();
    bool reconnectIfNeeded();
    std::unique_ptr<DbConnection> m_conn;
    DatabaseConfig m_config;
    BaseSettings m_base;
    State m_state = State::Closed;
};

// Before a save or a look: true when `conn` answers. The run's connection is
// reopened when it was lost (a server restart, the network); any other
// connection is only asked.
bool EnsureConnected(DbConnection& conn);

inline DbConnection& Conn() { return DbSession::instance().conn(); }
inline const BaseSettings& Base() { return DbSession::instance().baseSettings(); }

} // namespace kartovo
