#include "db/SqlDialect.h"

#include <QRegularExpression>

namespace kartovo {

QString DbSystemName(DbSystem system) {
    switch (system) {
    case DbSystem::SQLite: return QStringLiteral("SQLite");
    case DbSystem::SqlServer: return QStringLiteral("SQL Server");
    case DbSystem::PostgreSQL: return QStringLiteral("PostgreSQL");
    case DbSystem::MySQL: return QStringLiteral("MySQL/MariaDB");
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

bool IsWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

// One pass outside quoted literals: brackets rewritten for the system, and
// the pattern after Like written with the standard wildcard (% for *). On
// PostgreSQL Like becomes ILIKE, keeping the case-blind match of the others.
QString RewriteOutsideLiterals(const QString& sql, DbSystem system) {
    QString out;
    out.reserve(sql.size() + 8);
    bool likePending = false;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == u'\'') {
            // Copy the whole literal ('' inside stays part of it).
            qsizetype j = i + 1;
            QString literal(c);
            for (; j < sql.size(); ++j) {
                if (sql[j] == u'\'') {
                    if (j + 1 < sql.size() && sql[j + 1] == u'\'') {
                        literal += QStringLiteral("''");
                        ++j;
                        continue;
                    }
                    break;
                }
                if (sql[j] == u'\\' && system == DbSystem::MySQL) {
                    // MySQL and MariaDB read a backslash in a literal as an escape.
                    literal += QStringLiteral("\\\\");
                    continue;
                }
                literal += (likePending && sql[j] == u'*') ? QChar(u'%') : sql[j];
            }
            if (j < sql.size()) literal += sql[j];
            out += literal;
            i = j;
            likePending = false; // the pattern was this literal
            continue;
        }
        if (c == u'[' && !TakesBrackets(system)) {
            const qsizetype end = sql.indexOf(u']', i + 1);
            if (end > i) {
                const QString name = sql.mid(i + 1, end - i - 1);
                out += system == DbSystem::MySQL ? u'`' + name + u'`' : name;
                i = end;
                likePending = false;  // only an operator or a word can follow a name
                continue;
            }
        }
        if (IsWordChar(c) && (i == 0 || !IsWordChar(sql[i - 1]))) {
            qsizetype j = i;
            while (j < sql.size() && IsWordChar(sql[j])) ++j;
            const QString word = sql.mid(i, j - i);
            if (word.compare(QStringLiteral("like"), Qt::CaseInsensitive) == 0) {
                out += system == DbSystem::PostgreSQL ? QStringLiteral("ILIKE") : word;
                likePending = true;
            } else {
                out += word;
                likePending = false;
            }
            i = j - 1;
            continue;
        }
        if (!c.isSpace()) likePending = false;
        out += c;
    }
    return out;
}

} // namespace

QString TranslateSql(const QString& sql, DbSystem system) {
    QString out = RewriteOutsideLiterals(sql, system);
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
