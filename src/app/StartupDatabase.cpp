#include "app/StartupDatabase.h"

namespace kartovo {

bool RunDatabaseStartup(const DatabaseConfig& config) {
    (void)config;
    return true; // the connection comes with the database layer
}

} // namespace kartovo
