#include "app/StartupDatabase.h"

#include "db/DatabaseStartup.h"
#include "platform/Messages.h"

namespace kartovo {

bool RunDatabaseStartup(const DatabaseConfig& config) {
    const Result<void> ready = PrepareDatabase(config);
    if (!ready) ShowMessage(ready.error());
    return ready.ok();
}

} // namespace kartovo
