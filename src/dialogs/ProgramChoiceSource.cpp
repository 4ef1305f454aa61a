#include "dialogs/ProgramChoiceSource.h"

#include "platform/NumberFormat.h"

#include <QRegularExpression>

namespace kartovo {

QString ProgramListSql(const QString& sortColumn) {
    // Only a plain column name may become part of the statement.
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    const QString order = plainName.match(sortColumn.trimmed()).hasMatch() ? sortColumn.trimmed()
                                                                             : QStringLiteral(" NrP");
    return QStringLiteral("Select * from [SPC_Programy] Where Lx>0 AND ArchP=0 Order by ") + order;
}

QString ParameterListSql(qint32 programId) {
    return QStringLiteral("Select * from [SPC_Setap] Where IDP=") + QString::number(programId) +
           QStringLiteral(" And TypKarty<>2 And SkalaSiatki is not null  Order by LP");
}

int FindFirstStartingWith(const QList<Record>& rows, const QString& column, const QString& prefix) {
    for (int r = 0; r < rows.size(); ++r) {
        const QVariant v = rows[r].value(column);
        if (!v.isValid() || v.isNull()) continue;
        if (DisplayText(v).startsWith(prefix, Qt::CaseInsensitive)) return r;
    }
    return -1;
}

} // namespace kartovo
