#include "evaluation/IdentificationCheck.h"

#include "platform/Numbers.h"

#include <cmath>

namespace kartovo {

namespace {

IdentificationVerdict Fail(int check, const QString& message, IdentificationFocus focus, int field = 0) {
    IdentificationVerdict v;
    v.check = check;
    v.message = message;
    v.focus = focus;
    v.field = field;
    return v;
}

// An hour or minute number must also be whole: 7.5 would pass the range test
// but cannot be stored as "hh:mm".
bool InRange(double value, int low, int high) { return value == std::floor(value) && value >= low && value <= high; }

} // namespace

QDate ReadIdentificationDate(const QString& text) {
    const QString t = text.trimmed();
    for (const char* format : {"yyyy-MM-dd", "yyyy-M-d", "dd.MM.yyyy", "d.M.yyyy"}) {
        const QDate d = QDate::fromString(t, QLatin1String(format));
        if (d.isValid()) return d;
    }
    return {};
}

IdentificationVerdict CheckIdentification(const IdentificationEntries& e) {
    if (!ReadIdentificationDate(e.date).isValid())
        return Fail(1, QStringLiteral("Niepoprwanie wprowadzona data - Popraw!"), IdentificationFocus::Date);
    if (e.time.size() != 5)
        return Fail(2, QStringLiteral("Niepoprwanie wprowadzony czasa - Popraw!"), IdentificationFocus::Time);
    const qsizetype colon = e.time.indexOf(u':');
    if (colon != 1 && colon != 2)
        return Fail(3, QStringLiteral("Niepoprawny format pola CZAS <gg:mm> - Popraw !"), IdentificationFocus::Time);
    if (!InRange(Val(e.time.left(colon)), 0, 23))
        return Fail(4, QStringLiteral("GODZINA z poza zakresu <0-23> - Popraw !"), IdentificationFocus::Time);
    if (!InRange(Val(e.time.mid(colon + 1)), 0, 59))
        return Fail(5, QStringLiteral("MINUTY z poza zakresu <0-59> - Popraw !"), IdentificationFocus::Time);
    for (int i = 0; i < e.fields.size(); ++i) {
        const IdentificationEntries::Field& f = e.fields[i];
        if (f.free && f.text.isEmpty())
            return Fail(6, QStringLiteral("Nie wprowadzono ") + f.caption.toUpper() + QStringLiteral(" - Popraw!"),
                        IdentificationFocus::Field, i + 1);
        if (!f.free && !f.chosen)
            return Fail(7,
                        QStringLiteral("Dla pola ") + f.caption.toUpper() +
                            QStringLiteral(" wprowadzono wartość z poza zakresu - Popraw !"),
                        IdentificationFocus::Field, i + 1);
    }
    if (e.notesShown && e.notesRequired && e.notes.isEmpty())
        return Fail(8, QStringLiteral("Nie wprowadzono identyfikacji opisowej - Popraw !"), IdentificationFocus::Notes);
    return {};
}

} // namespace kartovo
