#include "db/DatabaseStartup.h"

#include "db/BaseSettings.h"
#include "db/DbSession.h"
#include "platform/Logging.h"
#include "platform/Messages.h"

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

bool StartDatabase(const DatabaseConfig& config) {
    DbSession& session = DbSession::instance();
    if (!session.open(config)) {
        ShowMessage(DatabaseErrorMessage(session.conn().lastError()), 2, 16);
        return false;
    }
    if (!UstawieniaBaz()) return false;
    if (!HasActiveControlProgram(session.conn())) {
        ShowMessage(NoActiveProgramMessage(), 2, 16);
        return false;
    }
    qCInfo(lcDb).noquote() << "database ready:" << DbSystemName(session.conn().system());
    return true;
}

} // namespace kartovo
