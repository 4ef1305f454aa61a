#pragma once

#include "db/Record.h"
#include "reading/Measurements.h"

#include <QString>

namespace kartovo {

// Marks an operator cannot have made: a column with half or more of its cells
// marked (a blot, a scribble, a painted grid). Empty when the marks may be an
// operator's; otherwise the refusal (lines joined by carriage returns). A
// column short of its sample size, or an extra mark or two, is not refused.
QString ImplausibleMarksText(const MeasurementTable& table, const Record& parameter);

} // namespace kartovo
