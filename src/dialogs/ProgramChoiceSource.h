#pragma once

#include "db/Record.h"

#include <QList>
#include <QString>

namespace kartovo {

// Where the manual choice of control program and parameter gets its rows.
// The database adapter runs the queries below; tests hand in fixed rows.
struct ProgramChoiceSource {
    virtual ~ProgramChoiceSource() = default;
    // Active programs (SPC_Programy) ordered by `sortColumn` ("ID3"), or by
    // program number when it is empty.
    virtual QList<Record> programs(const QString& sortColumn) = 0;
    // Measurable parameters (SPC_Setap) of program `programId`, by LP.
    virtual QList<Record> parameters(qint32 programId) = 0;
};

// The queries behind the two lists.
QString ProgramListSql(const QString& sortColumn);
QString ParameterListSql(qint32 programId);

// The first row (0-based) whose `column`, as a grid shows it, starts with
// `prefix`, letters compared without regard to case; a null never matches, so
// an empty prefix finds the first row that has a value. -1 when none does.
int FindFirstStartingWith(const QList<Record>& rows, const QString& column, const QString& prefix);

} // namespace kartovo
