#include "reading/Measurements.h"

#include "platform/NumberFormat.h"
#include "platform/Numbers.h"
#include "reading/MarkReading.h"
#include "reading/Plausibility.h"

#include <QJsonValue>
#include <algorithm>

namespace kartovo {

void SortujPomiary(MeasurementTable& table) {
    std::stable_sort(table.begin(), table.end(),
                     [](const MeasurementEntry& a, const MeasurementEntry& b) { return a.section < b.section; });
}

void ComputeValues(MeasurementTable& table, const ParameterRow& parameter, const GridGeometry& grid) {
    for (MeasurementEntry& e : table) e.value = RowValue(parameter, grid, e.row);
}

QString MeasurementListHeader() { return QStringLiteral("Lp\tSekcja\tPomiar"); }

QString MeasurementListLine(int ordinal, const MeasurementEntry& entry, const QString& format) {
    return QString::number(ordinal) + QStringLiteral(". \t") + QString::number(entry.section) + QStringLiteral(".\t") +
           FormatNumber(entry.value, format);
}

QStringList MeasurementListLines(const MeasurementTable& table, const QString& format) {
    QStringList lines;
    lines << MeasurementListHeader();
    int i = 0;
    for (const MeasurementEntry& e : table) lines << MeasurementListLine(++i, e, format);
    return lines;
}

double ThresholdFraction(const QString& caption) { return Val(caption) / 100.0; }

Result<MeasurementTable> ReadMeasurements(const QImage& cleanGrid, const ParameterRow& parameter,
                                          const GridGeometry& geometry, double threshold) {
    if (Result<void> readable = UnreadableGridText(parameter, cleanGrid.size(), threshold); !readable)
        return readable.refusal();
    QImage picture = cleanGrid;
    GridGeometry grid = geometry;
    SetGridEdges(grid, picture);
    RysSiatka(picture, parameter, grid);
    return ReadDrawnGrid(picture, parameter, grid, threshold);
}

Result<MeasurementTable> ReadDrawnGrid(const QImage& drawnGrid, const ParameterRow& parameter,
                                       const GridGeometry& grid, double threshold) {
    if (Result<void> readable = UnreadableGridText(parameter, drawnGrid.size(), threshold); !readable)
        return readable.refusal();
    const Result<std::vector<MarkedCell>> marks = ReadMarks(drawnGrid, grid, threshold);
    if (!marks) return marks.refusal();
    MeasurementTable table;
    table.reserve(marks->size());
    for (const MarkedCell& m : *marks) table.push_back({m.x, m.y, m.row, QVariant(), m.section});
    SortujPomiary(table);
    ComputeValues(table, parameter, grid);
    return table;
}

QJsonArray MeasurementsJson(const MeasurementTable& table) {
    QJsonArray out;
    for (const MeasurementEntry& e : table) {
        const QJsonValue value = e.value.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(e.value.toDouble());
        out.append(QJsonArray{e.section, e.row, value});
    }
    return out;
}

} // namespace kartovo
