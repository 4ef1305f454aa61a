#include "dialogs/DbProgramChoiceSource.h"

#include "db/Connection.h"
#include "platform/Logging.h"

namespace kartovo {

namespace {
QList<Record> rowsOf(DbConnection& conn, const QString& sql) {
    bool ok = false;
    const Recordset rs = conn.query(sql, &ok);
    if (!ok) {
        // A failed query shows as an empty list; the reason goes to the log.
        qCWarning(lcDialogs).noquote() << "Zapytanie nieudane:" << sql << "-" << conn.lastError().number
                                       << conn.lastError().description;
        return {};
    }
    return rs.rows();
}
} // namespace

DbProgramChoiceSource::DbProgramChoiceSource(DbConnection& conn) : m_conn(conn) {}

QList<Record> DbProgramChoiceSource::programs(const QString& sortColumn) {
    return rowsOf(m_conn, ProgramListSql(sortColumn));
}

QList<Record> DbProgramChoiceSource::parameters(qint32 programId) {
    return rowsOf(m_conn, ParameterListSql(programId));
}

} // namespace kartovo
