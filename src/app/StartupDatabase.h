#pragma once

#include "db/DatabaseConfig.h"

namespace kartovo {

// Start-up steps 13-15: opens the one connection of the run, loads the base
// settings and checks that an active control program exists. Shows the refusal
// (R4, B1-B3, R5) through the message window and returns false when the program
// must end. The connection and base settings stay in DbSession::instance().
bool RunDatabaseStartup(const DatabaseConfig& config);

} // namespace kartovo
