#include "reading/Measurements.h"

#include "platform/Messages.h"
#include "platform/NumberFormat.h"
#include "platform/Numbers.h"
#include "reading/MarkReading.h"
#include "reading/Plausibility.h"

#include <QJsonValue>
#include <algorithm>

namespace kartovo {

QString TooManyMarksText() {
    return QStringLiteral("Na karcie jest więcej niż %1 zaznaczonych pól.").arg(kMaxMeasurements) + kLineBreak +
           QStringLiteral("Karty nie można odczytać. Sprawdź obraz karty lub podnieś próg wypełnienia.");
}

void SortujPomiary(MeasurementTable& table) {
    std::stable_sort(table.begin(), table.end(),
                     [](const MeasurementEntry& a, const MeasurementEntry& b) { return a.section < b.section; });
}

void ComputeValues(MeasurementTable& table, const Record& parameter, const GridGeometry& grid) {
    for (MeasurementEntry& e : table) e.value = RowValue(parameter, grid, e.row);
}

QString MeasurementListHeader() { return QStringLiteral("Lp\tSekcja\tPomiar"); }

QString MeasurementListLine(int ordinal, const MeasurementEntry& entry, const QString& format) {
    return QString::number(ordinal) + QStringLiteral(". \t") + QString::number(entry.section) + QStringLiteral(".\t") +
           FormatNumber(entry.value, format);
}

QStringList MeasurementListLines(const MeasurementTable& table, const QString& format) {
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(table.size()) + 1);
    lines << MeasurementListHeader();
    int i = 0;
    for (const MeasurementEntry& e : table) lines << MeasurementListLine(++i, e, format);
    return lines;
}

double ThresholdFraction(const QString& caption) { return Val(caption) / 100.0; }

bool ReadMeasurements(const QImage& cleanGrid, const Record& parameter, const GridGeometry& geometry,
                      double threshold, MeasurementTable& table, QString* refusal) {
    if (const QString why = UnreadableGridText(parameter, cleanGrid.size(), threshold); !why.isEmpty()) {
        table.clear();
        if (refusal) *refusal = why;
        return false;
    }
    QImage picture = cleanGrid;
    GridGeometry grid = geometry;
    SetGridEdges(grid, picture);
    RysSiatka(picture, parameter, grid);
    return ReadDrawnGrid(picture, parameter, grid, threshold, table, refusal);
}

bool ReadDrawnGrid(const QImage& drawnGrid, const Record& parameter, const GridGeometry& grid, double threshold,
                   MeasurementTable& table, QString* refusal) {
    table.clear();
    if (const QString why = UnreadableGridText(parameter, drawnGrid.size(), threshold); !why.isEmpty()) {
        if (refusal) *refusal = why;
        return false;
    }
    ScanCallbacks callbacks;
    bool tooMany = false;
    callbacks.stop = [&](std::size_t n) { return tooMany = n > static_cast<std::size_t>(kMaxMeasurements); };
    const std::vector<MarkedCell> marks = ReadMarks(drawnGrid, grid, threshold, callbacks);
    if (tooMany) {
        if (refusal) *refusal = TooManyMarksText();
        return false;
    }
    table.reserve(marks.size());
    for (const MarkedCell& m : marks) table.push_back({m.x, m.y, m.row, QVariant(), m.section});
    SortujPomiary(table);
    ComputeValues(table, parameter, grid);
    if (refusal) refusal->clear();
    return true;
}

QJsonArray MeasurementsJson(const MeasurementTable& table) {
    QJsonArray out;
    for (const MeasurementEntry& e : table) {
        const QJsonValue value = e.value.isNull() || !e.value.isValid() ? QJsonValue(QJsonValue::Null)
                                                                         : QJsonValue(e.value.toDouble());
        out.append(QJsonArray{e.section, e.row, value});
    }
    return out;
}

bool ReadMeasurementsJson(const QImage& cleanGrid, const Record& parameter, const GridGeometry& grid,
                          double threshold, QJsonArray& out, QString* refusal) {
    MeasurementTable table;
    const bool read = ReadMeasurements(cleanGrid, parameter, grid, threshold, table, refusal);
    out = MeasurementsJson(table);
    return read;
}

} // namespace kartovo
