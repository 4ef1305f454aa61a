#include "platform/Variants.h"

#include "platform/Numbers.h"

namespace kartovo {

bool IsPresent(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return false;
    if (v.typeId() == QMetaType::QString) return !v.toString().trimmed().isEmpty();
    return true;
}

double ToNumber(const QVariant& v) {
    if (!IsPresent(v)) return 0.0;
    if (v.typeId() == QMetaType::QString) return Val(v.toString());
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? d : 0.0;
}

QVariant MaxOf2(const QVariant& a, const QVariant& b) {
    if (!IsPresent(a) || !IsPresent(b)) return a;
    return ToNumber(b) > ToNumber(a) ? b : a;
}

QVariant MinOf2(const QVariant& a, const QVariant& b) {
    if (!IsPresent(a) || !IsPresent(b)) return a;
    return ToNumber(b) < ToNumber(a) ? b : a;
}

} // namespace kartovo
