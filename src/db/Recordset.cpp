#include "db/Recordset.h"

#include <algorithm>

namespace kartovo {

Recordset::Recordset(QStringList columns, QList<Record> rows)
    : m_columns(std::move(columns)), m_rows(std::move(rows)) {}

void Recordset::moveFirst() { m_index = 0; }

const Record& Recordset::current() const {
    static const Record none;
    if (eof()) return none;
    return m_rows[m_index];
}

void Recordset::reverse() {
    std::reverse(m_rows.begin(), m_rows.end());
}

} // namespace kartovo
