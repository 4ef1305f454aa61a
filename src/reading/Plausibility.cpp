#include "reading/Plausibility.h"

#include "platform/Messages.h"
#include "platform/Variants.h"

#include <cmath>

#include <map>

namespace kartovo {

QString ImplausibleMarksText(const MeasurementTable& table, const Record& parameter) {
    bool ok = false;
    const int rows = parameter.value(QStringLiteral("SkalaSiatki")).toInt(&ok);
    if (!ok || rows <= 0) return {};
    std::map<int, int> perSection;
    for (const MeasurementEntry& e : table) ++perSection[e.section];
    for (const auto& [section, count] : perSection) {
        if (2 * count < rows) continue;
        return QStringLiteral("Kolumna %1 karty ma zaznaczone %2 z %3 pól - to nie są pomiary operatora.")
                   .arg(section)
                   .arg(count)
                   .arg(rows) +
               kLineBreak + QStringLiteral("Karta nie została zapisana; sprawdź ją i wczytaj ręcznie.");
    }
    return {};
}

namespace {

QString Number(double v) { return QString::number(v, 'g', 10).replace(u'.', u','); }

// The column's count of cells along `span` pixels (Gestosc counts one less
// than its columns), or the refusal.
QString CellsOf(const Record& parameter, const char* column, double extra, double span, const QString& what,
                double& cell) {
    const QString name = QLatin1String(column);
    if (!parameter.contains(name))
        return QStringLiteral("W tabeli SPC_Setap brak kolumny %1.").arg(name) + kLineBreak +
               QStringLiteral("Nie można podzielić siatki karty na pola.");
    const QVariant v = parameter.value(name);
    if (!IsPresent(v))
        return QStringLiteral("Parametr skanowanej karty nie ma określonej wartości %1.").arg(name) + kLineBreak +
               QStringLiteral("Nie można podzielić siatki karty na pola.");
    const double count = ToNumber(v) + extra;
    cell = std::isfinite(count) && count >= 1.0 ? span / count : 0.0;
    if (cell >= kMinCellPixels) return {};
    return QStringLiteral("Wartość %1 parametru skanowanej karty (%2) daje %3 %4 piksela.")
               .arg(name, Number(ToNumber(v)), what,
                    cell < 0.01 ? QStringLiteral("mniej niż 0,01") : Number(std::floor(cell * 100.0) / 100.0)) +
           kLineBreak + QStringLiteral("Pola siatki muszą mieć co najmniej %1 piksele; karty nie można odczytać.")
                            .arg(kMinCellPixels);
}

} // namespace

QString UnreadableGridText(const Record& parameter, QSize gridSize, double threshold) {
    if (!(threshold > 0.0))
        return QStringLiteral("Próg wypełnienia pola %1% zaznacza każde pole siatki.").arg(Number(threshold * 100.0)) +
               kLineBreak + QStringLiteral("Ustaw próg większy od 0% i odczytaj kartę ponownie.");
    double cw = 0.0, rh = 0.0;
    QString why = CellsOf(parameter, "Gestosc", 1.0, gridSize.width() - 1.0, QStringLiteral("kolumny siatki o szerokości"), cw);
    if (why.isEmpty())
        why = CellsOf(parameter, "SkalaSiatki", 0.0, gridSize.height() - 1.0, QStringLiteral("wiersze siatki o wysokości"), rh);
    return why;
}

} // namespace kartovo
