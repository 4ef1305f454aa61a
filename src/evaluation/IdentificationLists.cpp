#include "evaluation/IdentificationLists.h"

#include "db/Connection.h"
#include "platform/Logging.h"
#include "platform/Numbers.h"
#include "platform/Variants.h"

namespace kartovo {

namespace {

// Ids go into the SQL text as plain decimal numbers.
QString IdText(const QVariant& id) {
    bool isInt = false;
    const qlonglong whole = id.toLongLong(&isInt);
    if (isInt) return QString::number(whole);
    return QString::number(CInt(ToNumber(id)));
}

} // namespace

QString EarlierValuesSql(int field, const QVariant& programId) {
    const QString column = QStringLiteral("ID") + QString::number(field);
    return QStringLiteral("Select ") + column + QStringLiteral(" from [SPC_Baza] Where IDP=") + IdText(programId) +
           QStringLiteral(" Group by ") + column + QStringLiteral(" Order by ") + column;
}

QString DictionarySql(int field) {
    return QStringLiteral("Select Nazwa from [SPC_OpisID") + QString::number(field) + QStringLiteral("] Order by Nazwa");
}

IdentificationList DbIdentificationListSource::earlierValues(int field, const QVariant& programId) {
    return read(EarlierValuesSql(field, programId));
}

IdentificationList DbIdentificationListSource::dictionary(int field) { return read(DictionarySql(field)); }

IdentificationList DbIdentificationListSource::read(const QString& sql) {
    QStringList items;
    const bool ok = m_conn.read(sql, [&](const Record& row) {
        if (row.size() > 0) {
            const QVariant v = row.value(row.columns().first());
            if (v.isValid() && !v.isNull()) items.append(v.toString());
        }
        return true;
    });
    if (ok) return items;
    QString error = m_conn.lastError().description;
    if (error.isEmpty()) error = QStringLiteral("Błąd bazy danych nr %1.").arg(m_conn.lastError().number);
    qCWarning(lcEvaluation).noquote() << "list not read:" << sql << "-" << error;
    return Refuse(RefusalKind::Database, error);
}

} // namespace kartovo
