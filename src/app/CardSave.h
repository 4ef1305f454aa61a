#pragma once

#include "app/CardState.h"
#include "reading/Measurements.h"

namespace kartovo {

class DbConnection;
struct BaseSettings;

// The save as automatic mode runs it: no identification window, the current
// date and time and "-" in every descriptive column. All rows of the card or
// none are stored; the outcome is left in the card's Stored/RowsStored/SaveError.
// Returns true when the card needs nothing more (stored, or nothing to store).
bool SaveCardAutomatically(CardState& card, const MeasurementTable& measurements, DbConnection& conn,
                           const BaseSettings& base);

} // namespace kartovo
