#pragma once

#include "db/ParameterRow.h"
#include "platform/Result.h"
#include "reading/Measurements.h"

#include <QSize>
#include <QString>

namespace kartovo {

// Marks an operator cannot have made: a column with half or more of its cells
// marked (a blot, a scribble, a painted grid). Empty when the marks may be an
// operator's; otherwise the refusal (lines joined by carriage returns). A
// column short of its sample size, or an extra mark or two, is not refused.
Result<void> ImplausibleMarksText(const MeasurementTable& table, const ParameterRow& parameter);

// Cells narrower or lower than this cannot be told marked from empty.
inline constexpr double kMinCellPixels = 4.0;

// Why a grid picture of `gridSize` cannot be read at `threshold` (a fraction,
// 0.2 for "20%"): a threshold of 0 or less marks every cell; Gestosc and
// SkalaSiatki must be there and give cells of at least kMinCellPixels.
// Refused naming what is wrong.
Result<void> UnreadableGridText(const ParameterRow& parameter, QSize gridSize, double threshold);

} // namespace kartovo
