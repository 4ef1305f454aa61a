#pragma once

#include "db/ParameterRow.h"
#include "db/Record.h"
#include "evaluation/SampleRows.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace kartovo {

class DbConnection;

// Everything the storing of one card needs.
struct SaveInput {
    QList<MeasurementValue> measurements; // in section order
    ParameterRow parameter;               // the card's SPC_Setap row
    Record program;                       // its SPC_Programy row
    SizeConstantTable constants{};        // SampleConstants of the base settings
    // Manual mode: what the operator confirmed. Automatic mode: none; the
    // rows then get the current date and time and "-" in the first
    // descriptiveCount descriptive columns.
    std::optional<SampleIdentification> identification;
    int descriptiveCount = 0;
    // The card file's content (SHA-256, hex) and name, recorded with the rows
    // in the same transaction (or, where the database has no record table, in
    // this station's journal) so that no card is stored twice. Empty: not recorded.
    QByteArray cardHash;
    QString cardName;
    // The operator chose to store a card whose content was stored before.
    bool storeAgain = false;
};

enum class SaveOutcome {
    Stored,         // every row of the card is in SPC_Baza
    NothingToStore, // card type without rows, or no complete sample: nothing written, no error
    Refused,        // the card's definition or identification cannot be stored (Polish message)
    Failed,         // the database refused: nothing of the card was kept
    AlreadyStored,  // the card's content is in the record of stored cards: nothing written
};

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::NothingToStore;
    int rowsStored = 0;
    QString error; // Refused: the Polish message; Failed: the database's own text
    // The card's hash went into the record table with the rows, or into the
    // journal after them. False with a hash given and the card stored: the
    // journal line written before could not be completed.
    bool recorded = false;
    // The database could not be reached (and could not be reopened).
    bool connectionLost = false;
    bool ok() const { return outcome == SaveOutcome::Stored || outcome == SaveOutcome::NothingToStore; }
};

// Evaluates the card by its parameter's card type and appends its rows to
// SPC_Baza in one transaction: either every row is stored or none is. With a
// card hash the record row goes first in the same transaction, so a card
// stored meanwhile by another station fails on the key and nothing is
// written (AlreadyStored); storeAgain stores the rows without a second record
// row. A lost connection is reopened first. For an individual-value card only
// the latest Probka - 1 rows of the parameter are read, so the cost does not
// grow with the table. A column the card needs (IDP, IDPK, Data, Czas, the
// W columns of its sample, the statistics, the descriptive fields given)
// that the table lacks refuses the card by name; other missing columns are
// left out of the rows. SPC_Setap is never written.
SaveResult SaveCard(DbConnection& conn, const SaveInput& input);

// The lines shown to the operator for a refused or failed save.
QString SaveFailureMessage(const SaveResult& result);

} // namespace kartovo
