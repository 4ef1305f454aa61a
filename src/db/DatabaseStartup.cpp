#include "db/DatabaseStartup.h"

#include "db/BaseSettings.h"
#include "db/DbSession.h"
#include "platform/Logging.h"

namespace kartovo {

QString NoActiveProgramMessage() {
    return QStringLiteral("Nie znaleziono aktywnych PROGRAMÓW KONTROLI. Przed uruchomieniem programu pomiarowego "
                          "wykonaj PROGRAM KONTROLI w programie NORV !");
}

bool HasActiveControlProgram(DbConnection& conn) {
    bool found = false;
    const bool ok = conn.read(QStringLiteral("Select * from [SPC_Programy] Where Lx>0 AND ArchP=0"),
                              [&](const Record&) {
                                  found = true;
                                  return false; // existence is enough
                              });
    return ok && found;
}

Result<void> PrepareDatabase(const DatabaseConfig& config) {
    DbSession& session = DbSession::instance();
    if (!session.open(config)) return Refuse(RefusalKind::Database, DatabaseErrorMessage(session.conn().lastError()));
    if (Result<void> base = UstawieniaBaz(); !base) return base;
    if (!HasActiveControlProgram(session.conn())) return Refuse(RefusalKind::NotFound, NoActiveProgramMessage());
    qCInfo(lcDb).noquote() << "database ready:" << DbSystemName(session.conn().system());
    return {};
}

} // namespace kartovo
