#pragma once

#include "app/CardState.h"
#include "evaluation/CardSaver.h"
#include "reading/Measurements.h"

#include <QByteArray>
#include <QString>

namespace kartovo {

class DbConnection;
struct BaseSettings;

// The save as automatic mode runs it: no identification window, the current
// date and time and "-" in every descriptive column. All rows of the card or
// none are stored; the outcome is left in the card's Stored/RowsStored/SaveError.
// With the card file's hash (and name) the card is recorded as stored in the
// same transaction. Marks no operator can have made refuse the card.
SaveResult SaveAutomaticCard(CardState& card, const MeasurementTable& measurements, DbConnection& conn,
                             const BaseSettings& base, const QByteArray& cardHash, const QString& cardName);

} // namespace kartovo
