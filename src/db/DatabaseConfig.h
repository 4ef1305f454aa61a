#pragma once

#include <QString>

namespace kartovo {

// Where the shared SPC database is, as the main program configured it.
struct DatabaseConfig {
    QString dbType{};      // "MDB" (database file) or "SQL" (server through ODBC)
    QString dbFolder{};    // "Start"/"Sciezka" for the file form
    QString odbcDriver{};  // section "ODBC" for the server form
    QString odbcServer{};
    QString odbcDatabase{};
    QString odbcUser{};
    QString odbcPassword{};
    QString odbcPort{};    // "ODBC"/"Port": when set, "PORT=<n>;" ends the connection text
};

// Full path of the database file "Norv.mdb" in `folder`, its name matched
// without regard to case; empty when there is no such normal (non-hidden) file
// or the folder cannot be listed.
QString FindDatabaseFile(const QString& folder);

} // namespace kartovo
