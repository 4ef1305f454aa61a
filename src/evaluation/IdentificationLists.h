#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>
#include <QVariant>

namespace kartovo {

class DbConnection;

// Items offered by one descriptive field of the identification window, or
// why they could not be read (the database's text).
using IdentificationList = Result<QStringList>;

// Where the identification window takes the items of its descriptive fields.
class IdentificationListSource {
public:
    virtual ~IdentificationListSource() = default;
    // Free field i: the distinct values stored before in SPC_Baza column ID<i>
    // for the control program, in the database's order.
    virtual IdentificationList earlierValues(int field, const QVariant& programId) = 0;
    // Dictionary field i: the allowed values of SPC_OpisID<i>.
    virtual IdentificationList dictionary(int field) = 0;
};

QString EarlierValuesSql(int field, const QVariant& programId);
QString DictionarySql(int field);

// Reads the lists from the SPC database; null rows are skipped.
class DbIdentificationListSource : public IdentificationListSource {
public:
    explicit DbIdentificationListSource(DbConnection& conn) : m_conn(conn) {}
    IdentificationList earlierValues(int field, const QVariant& programId) override;
    IdentificationList dictionary(int field) override;

private:
    IdentificationList read(const QString& sql);
    DbConnection& m_conn;
};

} // namespace kartovo
