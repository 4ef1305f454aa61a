#include "platform/NumberFormat.h"

#include <QDate>
#include <QStringList>
#include <cmath>

namespace kartovo {

QLocale DisplayLocale() { return QLocale(); }

namespace {

// |v| as up to 15 significant decimal digits: value = 0.D × 10^point.
struct Decimal {
    QString digits; // no leading zeros; empty for zero
    int point = 0;  // digits before the decimal point (may be negative or beyond the digits)

    QChar at(int i) const { return i >= 0 && i < digits.size() ? digits[i] : QChar(u'0'); }
    bool isZero() const { return digits.isEmpty(); }

    static Decimal of(double v) {
        Decimal d;
        v = std::fabs(v);
        if (v == 0.0) return d;
        const QString e = QString::number(v, 'e', 14); // "d.dddddddddddddde+XX"
        const int ePos = e.indexOf(u'e');
        d.digits = e.left(ePos).remove(u'.');
        d.point = e.mid(ePos + 1).toInt() + 1;
        d.trim();
        return d;
    }

    void trim() {
        int end = digits.size();
        while (end > 0 && digits[end - 1] == u'0') --end;
        digits.truncate(end);
        int lead = 0;
        while (lead < digits.size() && digits[lead] == u'0') ++lead;
        digits.remove(0, lead);
        point -= lead;
    }

    // Rounds to `fraction` decimal places, halves away from zero.
    void round(int fraction) {
        const int keep = point + fraction;
        if (keep >= digits.size()) return;
        if (keep < 0) {
            digits.clear();
            return;
        }
        const bool up = digits[keep] >= u'5';
        digits.truncate(keep);
        if (up) {
            int i = keep - 1;
            while (i >= 0 && digits[i] == u'9') digits[i--] = u'0';
            if (i >= 0) {
                digits[i] = QChar(digits[i].unicode() + 1);
            } else {
                digits.prepend(u'1');
                ++point;
            }
        }
        trim();
    }

    QString integerDigits() const {
        QString s;
        for (int i = 0; i < point; ++i) s += at(i);
        return s;
    }
    QString fractionDigits(int count) const {
        QString s;
        for (int i = 0; i < count; ++i) s += at(point + i);
        return s;
    }
};

enum class Kind { Zero, Hash, Point, Comma, Percent, Literal, Exponent };

struct Token {
    Kind kind;
    QString text;      // literal text, or "E+" / "e-" for an exponent
    int expDigits = 0; // exponent: minimum number of digits
};

bool isPlaceholder(QChar c) { return c == u'0' || c == u'#'; }

QList<Token> tokenize(const QString& f) {
    QList<Token> out;
    auto literal = [&out](const QString& s) {
        if (!out.isEmpty() && out.last().kind == Kind::Literal)
            out.last().text += s;
        else
            out.append({Kind::Literal, s});
    };
    for (int i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        if (c == u'0') {
            out.append({Kind::Zero, {}});
        } else if (c == u'#') {
            out.append({Kind::Hash, {}});
        } else if (c == u'.') {
            out.append({Kind::Point, {}});
        } else if (c == u',') {
            out.append({Kind::Comma, {}});
        } else if (c == u'%') {
            out.append({Kind::Percent, {}});
        } else if (c == u'"') {
            const int end = f.indexOf(u'"', i + 1);
            literal(f.mid(i + 1, (end < 0 ? f.size() : end) - i - 1));
            i = end < 0 ? f.size() : end;
        } else if (c == u'\\') {
            if (i + 1 < f.size()) literal(QString(f[++i]));
        } else if ((c == u'E' || c == u'e') && i + 2 < f.size() && (f[i + 1] == u'+' || f[i + 1] == u'-') &&
                   isPlaceholder(f[i + 2])) {
            Token t{Kind::Exponent, f.mid(i, 2)};
            i += 2;
            while (i < f.size() && isPlaceholder(f[i])) {
                if (f[i] == u'0') ++t.expDigits;
                ++i;
            }
            --i;
            out.append(t);
        } else {
            literal(QString(c));
        }
    }
    return out;
}

QStringList splitSections(const QString& f) {
    QStringList out;
    QString cur;
    bool quoted = false;
    for (int i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        if (c == u'"') quoted = !quoted;
        if (!quoted && c == u'\\' && i + 1 < f.size()) {
            cur += c;
            cur += f[++i];
            continue;
        }
        if (!quoted && c == u';') {
            out.append(cur);
            cur.clear();
            continue;
        }
        cur += c;
    }
    out.append(cur);
    return out;
}

QString generalText(double v, const QLocale& locale) {
    if (v == 0.0) return QStringLiteral("0");
    QString s = QString::number(v, 'g', 15);
    s.replace(u'e', u'E');
    s.replace(u'.', locale.decimalPoint());
    return s;
}

// One section applied to |v|; `negative` asks for a leading minus unless the
// result shows as zero.
QString applySection(double v, const QString& section, bool negative, const QLocale& locale) {
    const QList<Token> tokens = tokenize(section);

    int pointIndex = -1, expIndex = -1;
    for (int i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == Kind::Point && pointIndex < 0 && expIndex < 0) pointIndex = i;
        if (tokens[i].kind == Kind::Exponent && expIndex < 0) expIndex = i;
    }
    const int numberEnd = expIndex < 0 ? tokens.size() : expIndex;
    const int integerEnd = pointIndex < 0 ? numberEnd : pointIndex;

    auto isDigit = [&](int i) { return tokens[i].kind == Kind::Zero || tokens[i].kind == Kind::Hash; };
    QList<int> intPh, fracPh;
    for (int i = 0; i < numberEnd; ++i) {
        if (!isDigit(i)) continue;
        (i < integerEnd ? intPh : fracPh).append(i);
    }

    bool grouping = false;
    int scaleCommas = 0;
    const int lastIntPh = intPh.isEmpty() ? -1 : intPh.last();
    for (int i = 0; i < integerEnd; ++i) {
        if (tokens[i].kind != Kind::Comma) continue;
        if (i < lastIntPh && !intPh.isEmpty() && intPh.first() < i)
            grouping = true;
        else if (i > lastIntPh && lastIntPh >= 0)
            ++scaleCommas;
    }
    int percents = 0;
    for (const Token& t : tokens)
        if (t.kind == Kind::Percent) ++percents;

    const bool hasDigits = !intPh.isEmpty() || !fracPh.isEmpty();
    for (int i = 0; i < percents; ++i) v *= 100.0;
    for (int i = 0; i < scaleCommas; ++i) v /= 1000.0;

    Decimal d = Decimal::of(v);
    int exponent = 0;
    const int fraction = fracPh.size();
    if (expIndex >= 0 && !d.isZero()) {
        const int wanted = std::max<int>(1, intPh.size());
        exponent = d.point - wanted;
        d.point = wanted;
        d.round(fraction);
        if (d.point > wanted) { // 9.995 -> 10.00: one more digit goes to the exponent
            ++exponent;
            d.point = wanted;
        }
    } else if (hasDigits) {
        d.round(fraction);
    }

    // Integer digits, padded to the placeholders from the first "0" on.
    QString integer = hasDigits ? d.integerDigits() : QString();
    int minInt = 0;
    for (int k = 0; k < intPh.size(); ++k) {
        if (tokens[intPh[k]].kind == Kind::Zero) {
            minInt = intPh.size() - k;
            break;
        }
    }
    while (integer.size() < minInt) integer.prepend(u'0');

    // Fraction digits; trailing zeros under "#" are dropped.
    QString frac = d.fractionDigits(fraction);
    while (!frac.isEmpty() && frac.back() == u'0' && tokens[fracPh[frac.size() - 1]].kind == Kind::Hash)
        frac.chop(1);

    // Integer digits go right to left over the placeholders; the leftmost takes the rest.
    QList<QString> assigned(intPh.size());
    const QString group = locale.groupSeparator();
    int pos = 0; // digit position counted from the right
    for (int k = intPh.size() - 1; k >= 0; --k) {
        const int take = k == 0 ? std::max<int>(0, integer.size() - pos) : (pos < integer.size() ? 1 : 0);
        for (int t = 0; t < take; ++t, ++pos) {
            QString unit(integer[integer.size() - 1 - pos]);
            if (grouping && pos > 0 && pos % 3 == 0) unit += group;
            assigned[k].prepend(unit);
        }
    }

    QString out;
    int intK = 0, fracK = 0;
    for (int i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        switch (t.kind) {
        case Kind::Literal: out += t.text; break;
        case Kind::Percent: out += u'%'; break;
        case Kind::Comma: break;
        case Kind::Point:
            if (i == pointIndex) {
                // A separator with no digit after it would dangle ("12,"), so it is left out.
                if (!frac.isEmpty()) out += locale.decimalPoint();
            } else {
                out += locale.decimalPoint();
            }
            break;
        case Kind::Zero:
        case Kind::Hash:
            if (i < integerEnd) {
                out += assigned[intK++];
            } else if (i < numberEnd) {
                if (fracK < frac.size()) out += frac[fracK];
                ++fracK;
            }
            break;
        case Kind::Exponent: {
            QString digits = QString::number(std::abs(exponent));
            while (digits.size() < t.expDigits) digits.prepend(u'0');
            const bool plusSign = t.text[1] == u'+';
            out += t.text[0];
            if (exponent < 0)
                out += u'-';
            else if (plusSign)
                out += u'+';
            out += digits;
            break;
        }
        }
    }
    // No minus in front of a result that shows as zero ("-0,00").
    if (negative && !d.isZero()) out.prepend(u'-');
    return out;
}

QString namedFormat(const QString& f) {
    const QString n = f.trimmed().toLower();
    if (n == u"fixed") return QStringLiteral("0.00");
    if (n == u"standard") return QStringLiteral("#,##0.00");
    if (n == u"percent") return QStringLiteral("0.00%");
    if (n == u"scientific") return QStringLiteral("0.00E+00");
    if (n == u"general number") return QString();
    return f;
}

bool numberOf(const QVariant& value, const QLocale& locale, double& v) {
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray) {
        const QString s = value.toString().trimmed();
        bool ok = false;
        v = locale.toDouble(s, &ok);
        if (!ok) v = QLocale::c().toDouble(s, &ok);
        return ok && std::isfinite(v);
    }
    if (value.typeId() == QMetaType::Bool) {
        v = value.toBool() ? -1.0 : 0.0; // the main program's truth value
        return true;
    }
    bool ok = false;
    v = value.toDouble(&ok);
    return ok && std::isfinite(v);
}

} // namespace

QString FormatNumber(const QVariant& value, const QString& format, const QLocale& locale) {
    if (!value.isValid() || value.isNull()) return QString();
    double v = 0.0;
    if (!numberOf(value, locale, v)) return value.toString();

    const QStringList sections = splitSections(namedFormat(format));
    QString section = sections[0];
    bool negative = v < 0.0;
    if (v < 0.0 && sections.size() >= 2 && !sections[1].isEmpty()) {
        section = sections[1];
        negative = false;
    } else if (v == 0.0 && sections.size() >= 3 && !sections[2].isEmpty()) {
        section = sections[2];
    }
    if (section.isEmpty()) return generalText(v, locale);
    return applySection(std::fabs(v), section, negative, locale);
}

QString DisplayText(const QVariant& value, const QLocale& locale) {
    if (!value.isValid() || value.isNull()) return QString();
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return FormatNumber(value, QString(), locale);
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    default:
        return value.toString();
    }
}

} // namespace kartovo
