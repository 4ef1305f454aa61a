#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <utility>

namespace kartovo {

// One row of a query result: columns addressed by name without regard to case
// (servers fold names), values dynamically typed and possibly null. A column
// the row does not have reads as null.
class Record {
public:
    Record() = default;
    // Columns and their values in the same order (a query row); the name list
    // is shared between the rows of one result.
    Record(QStringList columns, QList<QVariant> values) : m_names(std::move(columns)), m_values(std::move(values)) {
        m_values.resize(m_names.size());
    }

    QVariant value(const QString& column) const {
        const int i = indexOf(column);
        return i < 0 ? QVariant() : m_values[i];
    }
    QVariant operator[](const QString& column) const { return value(column); }
    bool contains(const QString& column) const { return indexOf(column) >= 0; }
    bool isNull(const QString& column) const {
        const QVariant v = value(column);
        return !v.isValid() || v.isNull();
    }
    void set(const QString& column, const QVariant& v) {
        const int i = indexOf(column);
        if (i >= 0) {
            m_values[i] = v;
        } else {
            m_names.append(column);
            m_values.append(v);
        }
    }
    const QStringList& columns() const { return m_names; }
    int size() const { return m_names.size(); }
    bool isEmpty() const { return m_names.isEmpty(); }

private:
    int indexOf(const QString& column) const {
        for (int i = 0; i < m_names.size(); ++i)
            if (m_names[i].compare(column, Qt::CaseInsensitive) == 0) return i;
        return -1;
    }
    QStringList m_names;
    QList<QVariant> m_values;
};

} // namespace kartovo
