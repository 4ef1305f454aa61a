#include "reading/Plausibility.h"

#include "platform/Messages.h"

#include <cmath>

#include <map>

namespace kartovo {

Result<void> ImplausibleMarksText(const MeasurementTable& table, const ParameterRow& parameter) {
    const std::optional<double>& skala = parameter.SkalaSiatki;
    if (!skala || !(std::abs(*skala) <= 2147483647.0)) return {}; // NaN too
    const int rows = qRound(*skala);
    if (rows <= 0) return {};
    std::map<int, int> perSection;
    for (const MeasurementEntry& e : table) ++perSection[e.section];
    for (const auto& [section, count] : perSection) {
        if (2 * count < rows) continue;
        return Refuse(RefusalKind::BadInput,
                      QStringLiteral("Kolumna %1 karty ma zaznaczone %2 z %3 pól - to nie są pomiary operatora.")
                              .arg(section)
                              .arg(count)
                              .arg(rows) +
                          kLineBreak + QStringLiteral("Karta nie została zapisana; sprawdź ją i wczytaj ręcznie."));
    }
    return {};
}

namespace {

QString Number(double v) { return QString::number(v, 'g', 10).replace(u'.', u','); }

// The column's count of cells along `span` pixels (Gestosc counts one less
// than its columns), or the refusal.
QString CellsOf(bool inTable, const std::optional<double>& v, const QString& name, double extra, double span,
                const QString& what, double& cell) {
    if (!inTable)
        return QStringLiteral("W tabeli SPC_Setap brak kolumny %1.").arg(name) + kLineBreak +
               QStringLiteral("Nie można podzielić siatki karty na pola.");
    if (!v)
        return QStringLiteral("Parametr skanowanej karty nie ma określonej wartości %1.").arg(name) + kLineBreak +
               QStringLiteral("Nie można podzielić siatki karty na pola.");
    const double count = *v + extra;
    cell = std::isfinite(count) && count >= 1.0 ? span / count : 0.0;
    if (cell >= kMinCellPixels) return {};
    return QStringLiteral("Wartość %1 parametru skanowanej karty (%2) daje %3 %4 piksela.")
               .arg(name, Number(*v), what,
                    cell < 0.01 ? QStringLiteral("mniej niż 0,01") : Number(std::floor(cell * 100.0) / 100.0)) +
           kLineBreak + QStringLiteral("Pola siatki muszą mieć co najmniej %1 piksele; karty nie można odczytać.")
                            .arg(kMinCellPixels);
}

} // namespace

Result<void> UnreadableGridText(const ParameterRow& parameter, QSize gridSize, double threshold) {
    if (!(threshold > 0.0))
        return Refuse(RefusalKind::BadInput,
                      QStringLiteral("Próg wypełnienia pola %1% zaznacza każde pole siatki.").arg(Number(threshold * 100.0)) +
                          kLineBreak + QStringLiteral("Ustaw próg większy od 0% i odczytaj kartę ponownie."));
    double cw = 0.0, rh = 0.0;
    QString why = CellsOf(parameter.hasGestosc, parameter.Gestosc, QStringLiteral("Gestosc"), 1.0,
                          gridSize.width() - 1.0, QStringLiteral("kolumny siatki o szerokości"), cw);
    if (why.isEmpty())
        why = CellsOf(parameter.hasSkalaSiatki, parameter.SkalaSiatki, QStringLiteral("SkalaSiatki"), 0.0,
                      gridSize.height() - 1.0, QStringLiteral("wiersze siatki o wysokości"), rh);
    if (why.isEmpty()) return {};
    return Refuse(RefusalKind::BadInput, why);
}

} // namespace kartovo
