#pragma once

#include <QString>

namespace kartovo {

// Exit status of `--auto`.
// 3: settings or database unusable at start-up (also a station setting that
// is not a number); 4: --once could not reach the database for its look.
enum AutoExit { kAutoOk = 0, kAutoUsage = 2, kAutoSetupFault = 3, kAutoDatabaseLost = 4 };

struct AutoCommandOptions {
    QString folder;          // empty: "Start"/"AutoDir" of the settings
    bool once = false;       // a single look, then the end
    int intervalSeconds = 30; // between the end of one look and the next
    int settleSeconds = -1;  // a file unchanged this long is whole; -1: the station's setting ("AutoZwloka")
};

// Automatic mode without a window: settings and database as the window's
// start-up, the exchange folder from the settings ("Start"/"AutoDir") unless
// one is given, one look every interval until SIGINT or SIGTERM (the card in
// hand is finished first), or a single look with `once`. Outcomes go to
// standard error.
int RunAutoCommand(const AutoCommandOptions& options);

} // namespace kartovo
