#pragma once

#include "db/Record.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kartovo {

// A query result copied into memory, positioned on its first row; an empty
// result is at BOF and EOF at once.
class Recordset {
public:
    Recordset() = default;
    Recordset(QStringList columns, QList<Record> rows);

    const QStringList& columns() const { return m_columns; }
    const QList<Record>& rows() const { return m_rows; }
    int recordCount() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }

    bool bof() const { return m_rows.isEmpty(); }
    bool eof() const { return m_rows.isEmpty(); }

    // The current row; an empty record at BOF or EOF.
    const Record& current() const;
    QVariant value(const QString& column) const { return current().value(column); }
    QVariant operator[](const QString& column) const { return value(column); }

    // Rows in reverse order (for results fetched newest first).
    void reverse();

private:
    QStringList m_columns;
    QList<Record> m_rows;
};

} // namespace kartovo
