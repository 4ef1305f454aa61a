#include "app/Startup.h"

#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/SettingsStore.h"

#include <QFileInfo>
#include <cstdio>

namespace kartovo {

QStringList RefusalNotConfigured() {
    return {QStringLiteral("Nie skonfigurowano połączenia z bazą danych, na której pracować program ma."),
            QStringLiteral("Przed uruchomieniem oprogramowania pomiarowego, uruchom NORV Vedi - SPC !")};
}

QStringList RefusalNoDatabaseFile(const QString& folder) {
    return {QStringLiteral("W podanej lokalizacji:"), folder.toUpper(),
            QStringLiteral("nie znaleziono pliku NORV.MDB"),
            QStringLiteral("Uruchom program główny NORV Vedi - SPC aby poprawnie zdefiniować położenie baz "
                           "danych - Przerywam !")};
}

QStringList RefusalNoOdbcSource() {
    return {QStringLiteral("Nie zdefiniowano źródła danych ODBC !"),
            QStringLiteral("Uruchom program główny NORV Vedi - SPC aby zdefiniować źródło."),
            QStringLiteral("Przerywam działanie programu !!!")};
}

double DatabaseTypeSetting(const SettingsStore& store) {
    return store.number(QStringLiteral("Baza"), QStringLiteral("TypBazy"));
}

void ShowStartupRefusal(const Refusal& refusal, const SettingsStore& store) {
    ShowMessage(refusal.text, 2, 16);
    if (refusal.text != RefusalNotConfigured().join(kLineBreak)) return;
    // A first start: say where the settings were looked for and how to
    // see the program working without the main SPC program.
    const QString file = store.fileName();
    const QByteArray hint =
        QStringLiteral("kartovo: brak Baza/TypBazy w pliku ustawień %1%2 (--settings PLIK albo "
                       "KARTOVO_SETTINGS wskazują inny). Wypróbuj program na bazie demonstracyjnej: kartovo --demo")
            .arg(file, QFileInfo::exists(file) ? QString() : QStringLiteral(" (plik nie istnieje)"))
            .toUtf8();
    std::fprintf(stderr, "%s\n", hint.constData());
}

Result<void> CheckDatabaseFile(const SettingsStore& store, DatabaseConfig& config) {
    config.dbType = QStringLiteral("MDB");
    config.dbFolder = store.read(QStringLiteral("Start"), QStringLiteral("Sciezka"));
    if (FindDatabaseFile(config.dbFolder).isEmpty()) {
        qCWarning(lcApp) << "No database file in" << config.dbFolder;
        return Refuse(RefusalKind::NotFound, RefusalNoDatabaseFile(config.dbFolder).join(kLineBreak));
    }
    return {};
}

Result<void> CheckOdbcSource(const SettingsStore& store, DatabaseConfig& config) {
    const QString odbc = QStringLiteral("ODBC");
    config.dbType = QStringLiteral("SQL");
    config.odbcDatabase = store.read(odbc, QStringLiteral("Database"));
    if (config.odbcDatabase.isEmpty()) return Refuse(RefusalKind::NotFound, RefusalNoOdbcSource().join(kLineBreak));
    config.odbcDriver = store.read(odbc, QStringLiteral("Driver"));
    config.odbcServer = store.read(odbc, QStringLiteral("Server"));
    config.odbcUser = store.read(odbc, QStringLiteral("UID"));
    config.odbcPassword = store.read(odbc, QStringLiteral("PWD"));
    config.odbcDatabase = store.read(odbc, QStringLiteral("Database"));
    // A port of its own: an unquoted "Server=host;PORT=n" is cut at the
    // semicolon by the INI format.
    config.odbcPort = store.read(odbc, QStringLiteral("Port"));
    return {};
}

Result<void> CheckDatabaseConfiguration(const SettingsStore& store, RunState& run,
                                        const std::function<void()>& showWindow) {
    const double type = DatabaseTypeSetting(store);
    if (type == 0) return Refuse(RefusalKind::NotFound, RefusalNotConfigured().join(kLineBreak));
    if (showWindow) showWindow();
    Result<void> checked = type == 1 ? CheckDatabaseFile(store, run.database) : CheckOdbcSource(store, run.database);
    if (!checked) return checked;
    run.dateFormat = QStringLiteral("yyyy-mm-dd");
    return {};
}

} // namespace kartovo
