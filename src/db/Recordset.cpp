#include "db/Recordset.h"

#include <algorithm>

namespace kartovo {

Recordset::Recordset(QStringList columns, QList<Record> rows)
    : m_columns(std::move(columns)), m_rows(std::move(rows)) {}

const Record& Recordset::current() const {
    static const Record none;
    return m_rows.isEmpty() ? none : m_rows.first();
}

void Recordset::reverse() {
    std::reverse(m_rows.begin(), m_rows.end());
}

} // namespace kartovo
