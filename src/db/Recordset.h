#pragma once

#include "db/Record.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kartovo {

// A query result copied into memory, with a current position like a
// navigable cursor: before the first row (BOF), on a row, or after the last
// (EOF). An empty result is at BOF and EOF at once. Positions are 1-based.
class Recordset {
public:
    Recordset() = default;
    Recordset(QStringList columns, QList<Record> rows);

    const QStringList& columns() const { return m_columns; }
    const QList<Record>& rows() const { return m_rows; }
    int recordCount() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }

    bool bof() const { return m_index < 0 || m_rows.isEmpty(); }
    bool eof() const { return m_index >= m_rows.size() || m_rows.isEmpty(); }

    void moveFirst();
    void moveLast();
    void moveNext();     // past the last row: EOF
    void movePrevious(); // before the first row: BOF
    void move(int count); // relative to the current row; leaving the rows gives BOF/EOF

    // 1 .. recordCount on a row, 0 at BOF or EOF.
    int position() const;
    // Moves to row `position` (1-based); outside 1 .. recordCount gives BOF/EOF.
    void setPosition(int position);

    // The current row; an empty record at BOF or EOF.
    const Record& current() const;
    QVariant value(const QString& column) const { return current().value(column); }
    QVariant operator[](const QString& column) const { return value(column); }

    // Searches from the first row for the first whose `column` starts with
    // `prefix` (letters compared without regard to case; a null never
    // matches). Found: moves there and returns true. Not found: the position
    // is left as it was.
    bool findFirstStartingWith(const QString& column, const QString& prefix);

    // Rows in reverse order (for results fetched newest first).
    void reverse();

private:
    QStringList m_columns;
    QList<Record> m_rows;
    qsizetype m_index = 0;
};

} // namespace kartovo
