#pragma once

#include "db/ParameterRow.h"
#include "platform/Result.h"
#include "reading/GridGeometry.h"
#include "reading/MarkReading.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

namespace kartovo {

// One entry of the measurement table.
struct MeasurementEntry {
    int x = 0;       // cell centre, whole pixels (rounded down)
    int y = 0;
    int row = 0;     // 0 = bottom row of the grid
    QVariant value;  // RowValue of `row` after the last value computation; null before
    int section = 0; // grid column, 1 = leftmost
};
using MeasurementTable = std::vector<MeasurementEntry>;

// Stable, ascending by section; entries of one section keep their order.
void SortujPomiary(MeasurementTable& table);

// Every entry's value := RowValue of its row (null when neither OD nor OG).
void ComputeValues(MeasurementTable& table, const ParameterRow& parameter, const GridGeometry& grid);

// The list's header "Lp", "Sekcja", "Pomiar" separated by TAB.
QString MeasurementListHeader();
// One list line: "i. " TAB section "." TAB the value in `format` (empty when null).
QString MeasurementListLine(int ordinal, const MeasurementEntry& entry, const QString& format);
// Header and one line per entry in table order.
QStringList MeasurementListLines(const MeasurementTable& table, const QString& format);

// The fraction of the threshold caption ("20%" -> 0.2).
double ThresholdFraction(const QString& caption);

// The reading without pictures to show: grid drawn on a copy of the clean grid
// image, every cell tested, sorted, values computed. `grid` holds the range
// and the edges; the drawing fixes the rest. Refused when the grid cannot be
// read (UnreadableGridText: threshold, Gestosc, SkalaSiatki) or the card holds
// more marks than the table can.
Result<MeasurementTable> ReadMeasurements(const QImage& cleanGrid, const ParameterRow& parameter,
                                          const GridGeometry& grid, double threshold);

// The same on a grid already drawn (the card view after StartPix, with the
// geometry that drawing fixed): no copy, no second drawing.
Result<MeasurementTable> ReadDrawnGrid(const QImage& drawnGrid, const ParameterRow& parameter,
                                       const GridGeometry& grid, double threshold);

// The table as [section, row, value] triples (row 0 = bottom; value as stored,
// null when there is none).
QJsonArray MeasurementsJson(const MeasurementTable& table);

} // namespace kartovo
