#pragma once

#include "dialogs/ProgramChoiceSource.h"

namespace kartovo {

class DbConnection;

// The program and parameter lists read from the SPC database.
class DbProgramChoiceSource : public ProgramChoiceSource {
public:
    explicit DbProgramChoiceSource(DbConnection& conn);

    QList<Record> programs(const QString& sortColumn) override;
    QList<Record> parameters(qint32 programId) override;

private:
    DbConnection& m_conn;
};

} // namespace kartovo
