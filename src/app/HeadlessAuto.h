#pragma once

#include <QString>

namespace kartovo {

// Exit status of `--auto`.
enum AutoExit { kAutoOk = 0, kAutoUsage = 2, kAutoSetupFault = 3 };

// Automatic mode without a window: settings and database as the window's
// start-up, the exchange folder from the settings ("Start"/"AutoDir") unless
// `folder` is given, one look every 30 s until SIGINT or SIGTERM (the card in
// hand is finished first), or a single look with `once`. Outcomes go to
// standard error.
int RunAutoCommand(const QString& folder, bool once);

} // namespace kartovo
