#pragma once

#include "db/DatabaseConfig.h"
#include "platform/Result.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace kartovo {

class SettingsStore;

// Fields of the run that the start-up sets and other parts read.
struct RunState {
    QString programFolder;
    QString initialFolder;        // where the image-file dialog opens ("InitDir")
    QString dateFormat;           // "yyyy-mm-dd" once the start-up has passed the checks
    DatabaseConfig database;
    bool autoMode = false;
    bool entryMode = false;
    bool deletionMode = false;
};

// Lines of the start-up refusals, shown as one message joined by carriage returns.
QStringList RefusalNotConfigured();                     // R1
QStringList RefusalNoDatabaseFile(const QString& folder); // R2
QStringList RefusalNoOdbcSource();                      // R3

// Shows a refusal of the start-up in the message window (the window, or the
// standard-error log of a run without one); after R1 it says on standard
// error where the settings were looked for.
void ShowStartupRefusal(const Refusal& refusal, const SettingsStore& store);

// "Baza"/"TypBazy": 0 (or missing) means not configured, 1 the database file,
// anything else a server through ODBC.
double DatabaseTypeSetting(const SettingsStore& store);

// Database-file form: fills dbType and dbFolder and checks that the folder holds
// the database file; R2 when it does not.
Result<void> CheckDatabaseFile(const SettingsStore& store, DatabaseConfig& config);

// Server form: fills dbType and the ODBC fields; R3 when no database name is
// configured.
Result<void> CheckOdbcSource(const SettingsStore& store, DatabaseConfig& config);

// Steps 9 to 12 of the start-up without the window: reads the database kind,
// refuses (R1) when it is not configured, otherwise `showWindow` runs and the
// matching check follows; the date format is set last. A refusal means the
// program must end; the caller shows it (ShowStartupRefusal).
Result<void> CheckDatabaseConfiguration(const SettingsStore& store, RunState& run,
                                        const std::function<void()>& showWindow);

} // namespace kartovo
