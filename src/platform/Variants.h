#pragma once

#include <QVariant>

namespace kartovo {

// A value that counts as present: valid, not null, not an empty text.
bool IsPresent(const QVariant& v);

// The number in a dynamically typed value (a stored text is read leniently).
double ToNumber(const QVariant& v);

// Larger / smaller of two values: a unless b is strictly larger / smaller.
// A comparison with a null is never true, so a null a comes back unchanged
// and a null b never wins.
QVariant MaxOf2(const QVariant& a, const QVariant& b);
QVariant MinOf2(const QVariant& a, const QVariant& b);

} // namespace kartovo
