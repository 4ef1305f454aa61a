#pragma once

#include <QLocale>
#include <QString>
#include <QVariant>

namespace kartovo {

// The locale numbers are shown in: the user's (the default locale, from the
// environment), so a Polish workstation shows a decimal comma. Stored values
// never pass through it.
QLocale DisplayLocale();

// Formats a value with a number-format text of the main program ("0", "0.00",
// "#,##0.000", "0.###", "0.0%", "0.00E+00", sections "pos;neg;zero", quoted or
// escaped literals, and the names "General Number", "Fixed", "Standard",
// "Percent", "Scientific"). Separators come from the locale: the format's "." is
// the decimal separator and a "," between digit placeholders asks for groups of
// three (a "," right before the decimal point divides by 1000). Rounding is
// half away from zero on the value's 15-digit decimal form, so 2.675 -> "2,68".
// A null value gives "", an empty format the shortest text of the number, and a
// text that is no number comes back unchanged.
QString FormatNumber(const QVariant& value, const QString& format, const QLocale& locale = DisplayLocale());

// A value as a grid cell or a printed field shows it: texts as they are, numbers
// in the general format of the locale, null as "".
QString DisplayText(const QVariant& value, const QLocale& locale = DisplayLocale());

} // namespace kartovo
