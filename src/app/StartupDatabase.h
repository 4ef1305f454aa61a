#pragma once

#include "db/DatabaseConfig.h"

#include <QString>

namespace kartovo {

class DbConnection;

// Start-up steps 13-15: opens the one connection of the run, loads the base
// settings and checks that an active control program exists. Shows the refusal
// (R4, B1-B3, R5) through the message window and returns false when the program
// must end.
bool RunDatabaseStartup(const DatabaseConfig& config);

// True when SPC_Programy has an active, not archived program; false also when
// the check query cannot be run.
bool HasActiveControlProgram(DbConnection& conn);

// R5, one line.
QString NoActiveProgramMessage();

} // namespace kartovo
