#include "db/Recordset.h"

#include <algorithm>

namespace kartovo {

Recordset::Recordset(QStringList columns, QList<Record> rows)
    : m_columns(std::move(columns)), m_rows(std::move(rows)) {}

void Recordset::moveFirst() { m_index = 0; }

void Recordset::moveLast() { m_index = m_rows.isEmpty() ? 0 : m_rows.size() - 1; }

void Recordset::moveNext() {
    if (m_index < m_rows.size()) ++m_index;
}

void Recordset::movePrevious() {
    if (m_index >= 0) --m_index;
}

void Recordset::move(int count) {
    qsizetype target = m_index + count;
    if (target < 0) target = -1;
    if (target > m_rows.size()) target = m_rows.size();
    m_index = target;
}

int Recordset::position() const {
    if (bof() || eof()) return 0;
    return static_cast<int>(m_index) + 1;
}

void Recordset::setPosition(int position) {
    if (position < 1) {
        m_index = -1;
    } else if (position > m_rows.size()) {
        m_index = m_rows.size();
    } else {
        m_index = position - 1;
    }
}

const Record& Recordset::current() const {
    static const Record none;
    if (bof() || eof()) return none;
    return m_rows[m_index];
}

bool Recordset::findFirstStartingWith(const QString& column, const QString& prefix) {
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        const QVariant v = m_rows[i].value(column);
        if (!v.isValid() || v.isNull()) continue;
        if (v.toString().startsWith(prefix, Qt::CaseInsensitive)) {
            m_index = i;
            return true;
        }
    }
    return false;
}

void Recordset::reverse() {
    std::reverse(m_rows.begin(), m_rows.end());
}

} // namespace kartovo
