#pragma once

#include "db/DatabaseConfig.h"
#include "platform/Result.h"

#include <QString>

namespace kartovo {

class DbConnection;

// Steps 13-15 of the start-up on the program-wide session: opens the
// connection (refusal R4, kind Database), loads the base settings (B1-B3) and
// requires an active control program (R5, kind NotFound). A refusal means the
// program must end; the caller shows or logs it.
Result<void> PrepareDatabase(const DatabaseConfig& config);

// True when SPC_Programy has an active, not archived program; false also when
// the check query cannot be run.
bool HasActiveControlProgram(DbConnection& conn);

// R5, one line.
QString NoActiveProgramMessage();

} // namespace kartovo
