#include "db/SqlDialect.h"

#include <QRegularExpression>

namespace kartovo {

QString DbSystemName(DbSystem system) {
    switch (system) {
    case DbSystem::SQLite: return QStringLiteral("SQLite");
    case DbSystem::SqlServer: return QStringLiteral("SQL Server");
    case DbSystem::PostgreSQL: return QStringLiteral("PostgreSQL");
    case DbSystem::MySQL: return QStringLiteral("MySQL");
    case DbSystem::Other: break;
    }
    return QStringLiteral("inny");
}

namespace {

bool TakesBrackets(DbSystem system) {
    return system == DbSystem::SQLite || system == DbSystem::SqlServer || system == DbSystem::Other;
}

bool TakesTop(DbSystem system) {
    return system == DbSystem::SqlServer || system == DbSystem::Other;
}

// Brackets outside quoted literals, rewritten for the system.
QString RewriteBrackets(const QString& sql, DbSystem system) {
    if (TakesBrackets(system)) return sql;
    QString out;
    out.reserve(sql.size());
    bool inLiteral = false;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == u'\'') {
            inLiteral = !inLiteral; // a doubled quote toggles twice
            out += c;
            continue;
        }
        if (!inLiteral && c == u'[') {
            const qsizetype end = sql.indexOf(u']', i + 1);
            if (end > i) {
                const QString name = sql.mid(i + 1, end - i - 1);
                if (system == DbSystem::MySQL)
                    out += u'`' + name + u'`';
                else
                    out += name;
                i = end;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace

QString TranslateSql(const QString& sql, DbSystem system) {
    QString out = RewriteBrackets(sql, system);
    if (TakesTop(system)) return out;
    static const QRegularExpression top(QStringLiteral("^(\\s*select\\s+)top\\s+(\\d+)\\s+"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = top.match(out);
    if (!m.hasMatch()) return out;
    const QString count = m.captured(2);
    out = m.captured(1) + out.mid(m.capturedEnd(0));
    while (!out.isEmpty() && (out.back().isSpace() || out.back() == u';')) out.chop(1);
    return out + QStringLiteral(" LIMIT ") + count;
}

QString SelectTopSql(int n, const QString& table, const QString& where, const QString& order) {
    QString sql = QStringLiteral("Select Top %1 * from [%2]").arg(n).arg(table);
    if (!where.isEmpty()) sql += QStringLiteral(" Where ") + where;
    if (!order.isEmpty()) sql += QStringLiteral(" Order by ") + order;
    return sql;
}

} // namespace kartovo
