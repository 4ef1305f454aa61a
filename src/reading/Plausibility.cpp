#include "reading/Plausibility.h"

#include "platform/Messages.h"

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

} // namespace kartovo
