#include "app/StartupDatabase.h"

#include "db/DatabaseStartup.h"

namespace kartovo {

bool RunDatabaseStartup(const DatabaseConfig& config) { return StartDatabase(config); }

} // namespace kartovo
