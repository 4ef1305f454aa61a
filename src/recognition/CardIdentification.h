#pragma once

#include "db/Connection.h"
#include "db/Recordset.h"

#include <QString>
#include <cstdint>

namespace kartovo {

// Why the database lookup of a card's parameter refused it.
enum class IdentificationRefusal {
    None,
    UnreadableCode, // ParameterCode <= 0
    NoParameter,    // no SPC_Setap row with that ID
    Alternative,    // TypKarty = 2
    NoGridScale,    // SkalaSiatki Null
    NoProgram,      // no SPC_Programy row for the parameter's IDP
};

// Outcome of looking a card up: the parameter's SPC_Setap row (CardParameter)
// and its control program's SPC_Programy row (ControlProgram), each on its
// first row when found.
struct CardIdentification {
    IdentificationRefusal refusal = IdentificationRefusal::None;
    QString message;       // the refusal's lines joined by carriage returns
    Recordset parameter;   // CardParameter
    Recordset program;     // ControlProgram
    DbError databaseError; // set when a query could not be run

    bool identified() const { return refusal == IdentificationRefusal::None && !databaseError.isSet(); }
    bool failedOnDatabase() const { return databaseError.isSet(); }
};

// The two lookups.
QString ParameterQuery(std::int32_t parameterId);
QString ProgramQuery(std::int32_t programId);

// Refusal text of each case; empty for None.
QString IdentificationRefusalText(IdentificationRefusal refusal);

// Looks the parameter read from the code field up, then its control program,
// with every refusal. A TypKarty that is Null passes.
CardIdentification IdentifyCard(DbConnection& conn, std::int32_t parameterCode);

// The manual choice: opens both rows without checking TypKarty or SkalaSiatki
// (the choice dialog offers only measurable parameters). A chosen row that no
// longer exists is refused like a card that names it.
CardIdentification LoadChosenCard(DbConnection& conn, std::int32_t programId, std::int32_t parameterId);

} // namespace kartovo
