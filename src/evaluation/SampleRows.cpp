#include "evaluation/SampleRows.h"

#include "evaluation/SampleStatistics.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/Numbers.h"
#include "platform/Variants.h"

#include <QDate>
#include <cmath>

namespace kartovo {

namespace {

constexpr int kMaxSampleSize = BaseSettings::kMaxSampleSize;

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

QDate ReadDate(const QString& text) {
    const QString t = text.trimmed();
    QDate d = QDate::fromString(t, kDateFormat);
    if (!d.isValid()) d = QDate::fromString(t, QStringLiteral("yyyy-M-d"));
    return d;
}

QString SampleSizeError(const ParameterRow& parameter) {
    const QString shown = parameter.Probka ? parameter.stored.Probka.toString() : QStringLiteral("brak");
    return QStringLiteral("Liczność próbki parametru (Probka = %1) jest spoza zakresu od 1 do 40.").arg(shown) +
           kLineBreak + QStringLiteral("Popraw definicję parametru w NORV Vedi - SPC.") + kLineBreak +
           QStringLiteral("Pomiary karty nie zostały zapisane !");
}

QString TimestampError(const SampleIdentification& id) {
    return QStringLiteral("Niepoprawna data lub czas próbki (%1 %2).").arg(id.date, id.time) + kLineBreak +
           QStringLiteral("Pomiary karty nie zostały zapisane !");
}

// Range and deviation limits of the card: the same for every row.
struct ControlLimits {
    QVariant gr, dr, gs, ds;
};

ControlLimits ComputeLimits(const ParameterRow& parameter, const SampleConstantsEntry& c, int n) {
    ControlLimits l;
    // Without both control lines there is no K; the limits stay null rather
    // than a made-up zero.
    if (!parameter.GLK || !parameter.DLK) return l;
    const double k = (*parameter.GLK - *parameter.DLK) / 3.0;
    const double root = std::sqrt(static_cast<double>(n));
    if (IsPresent(c.R1)) {
        const double gr = k * ToNumber(c.R1) / root;
        l.gr = gr;
        l.dr = gr / 2.0;
    }
    if (IsPresent(c.S1)) {
        const double gs = k * ToNumber(c.S1) / root;
        l.gs = gs;
        l.ds = gs / 2.0;
    }
    return l;
}

QString Column(const char* prefix, int i) { return QLatin1String(prefix) + QString::number(i); }

// Columns up to the notes, in filling order. Individual values first clear the
// columns the main program fills for its own sample kinds.
Record RowHead(const Record& program, const ParameterRow& parameter, const SampleTimestamp& ts,
               const SampleIdentification& id, bool individual) {
    Record row;
    row.set(QStringLiteral("IDP"), program.value(QStringLiteral("ID")));
    row.set(QStringLiteral("IDPK"), parameter.ID);
    row.set(QStringLiteral("P"), QStringLiteral("0"));
    row.set(QStringLiteral("CzyOb"), true);
    row.set(QStringLiteral("Data"), ts.date);
    row.set(QStringLiteral("Czas"), ts.time);
    if (individual) {
        for (int i = 1; i <= 5; ++i) row.set(Column("ID", i), QVariant());
        for (int i = 1; i <= 5; ++i) row.set(Column("IDL", i), QVariant());
    }
    for (int i = 1; i <= id.descriptive.size(); ++i) row.set(Column("ID", i), id.descriptive[i - 1]);
    row.set(QStringLiteral("PomiaryNL"), id.notes.isEmpty() ? QVariant() : QVariant(id.notes));
    if (individual) {
        for (int i = 1; i <= kMaxSampleSize; ++i) row.set(Column("W", i), QVariant());
        for (int i = 1; i <= kMaxSampleSize; ++i) row.set(Column("D", i), QVariant());
    }
    return row;
}

void RowTail(Record& row, const SampleStatistics& s, int lp, const ParameterRow& parameter, const ControlLimits& l) {
    row.set(QStringLiteral("Srednia"), s.mean);
    row.set(QStringLiteral("Odchylenie"), s.standardDeviation);
    row.set(QStringLiteral("Rozstep"), s.range);
    row.set(QStringLiteral("Dodat"), s.midRange);
    row.set(QStringLiteral("Mediana"), s.median);
    row.set(QStringLiteral("Lp"), lp);
    row.set(QStringLiteral("Mini"), s.smallest);
    row.set(QStringLiteral("Maxi"), s.largest);
    // The control lines go on exactly as SPC_Setap holds them.
    row.set(QStringLiteral("GX"), parameter.stored.GLK);
    row.set(QStringLiteral("DX"), parameter.stored.DLK);
    row.set(QStringLiteral("SX"), parameter.stored.LS);
    row.set(QStringLiteral("GR"), l.gr);
    row.set(QStringLiteral("DR"), l.dr);
    row.set(QStringLiteral("GS"), l.gs);
    row.set(QStringLiteral("DS"), l.ds);
    for (const char* c : {"IDPrz", "IDRea", "IDNie", "IleNie", "IDNot"}) row.set(QLatin1String(c), QVariant());
}

Refusal Refused(const QString& message) {
    qCWarning(lcEvaluation).noquote() << JoinLines(message);
    return Refuse(RefusalKind::BadInput, message);
}

// Checks shared by both evaluations: the sample size, or the refusal.
Result<int> CheckInputs(const ParameterRow& parameter, const SampleIdentification& id) {
    const int n = SampleSize(parameter);
    if (n == 0) return Refused(SampleSizeError(parameter));
    if (!ComputeTimestamp(id.date, id.time, QVariant(), 0)) return Refused(TimestampError(id));
    return n;
}

} // namespace

int SampleSize(const ParameterRow& parameter) {
    if (!parameter.Probka) return 0;
    const auto n = CInt(*parameter.Probka);
    return n >= 1 && n <= kMaxSampleSize ? static_cast<int>(n) : 0;
}

SampleIdentification AutomaticIdentification(const QDateTime& now, int descriptiveCount) {
    SampleIdentification id;
    id.date = now.date().toString(kDateFormat);
    id.time = now.time().toString(QStringLiteral("HH:mm"));
    for (int i = 0; i < descriptiveCount; ++i) id.descriptive.append(QStringLiteral("-"));
    return id;
}

std::optional<SampleTimestamp> ComputeTimestamp(const QString& date, const QString& time, const QVariant& czasP,
                                                qint64 steps) {
    QDate day = ReadDate(date);
    const int colon = static_cast<int>(time.indexOf(u':'));
    if (!day.isValid() || colon < 0) return std::nullopt;
    const double h = Val(time.left(colon)), m = Val(time.mid(colon + 1));
    if (h != std::floor(h) || m != std::floor(m) || h < 0 || h > 23 || m < 0 || m > 59) return std::nullopt;
    qint64 hours = static_cast<qint64>(h);
    qint64 minutes = static_cast<qint64>(m);

    if (IsPresent(czasP) && ToNumber(czasP) > 0) {
        minutes = CInt(static_cast<double>(minutes) + ToNumber(czasP) * static_cast<double>(steps));
        if (minutes >= 60) {
            const qint64 carry = minutes / 60;
            hours += carry;
            minutes -= 60 * carry;
            if (hours >= 24) {
                const qint64 days = hours / 24;
                hours -= 24 * days;
                day = day.addDays(days);
                if (!day.isValid()) return std::nullopt;
            }
        }
    }
    SampleTimestamp ts;
    ts.date = day.toString(kDateFormat);
    ts.time = QStringLiteral("%1:%2").arg(hours, 2, 10, QChar(u'0')).arg(minutes, 2, 10, QChar(u'0'));
    return ts;
}

EvaluationResult WypXR(const QList<MeasurementValue>& measurements, const ParameterRow& parameter,
                       const Record& program, const SizeConstantTable& constants,
                       const SampleIdentification& identification) {
    const Result<int> checked = CheckInputs(parameter, identification);
    if (!checked) return checked.refusal();
    const int n = *checked;

    QList<Record> result;
    const ControlLimits limits = ComputeLimits(parameter, constants[n], n);
    const QVariant czasP = program.value(QStringLiteral("CzasP"));
    const qsizetype groups = measurements.size() / n; // a shorter group at the end is not a sample
    for (qsizetype s = 0; s < groups; ++s) {
        const auto ts = ComputeTimestamp(identification.date, identification.time, czasP, s);
        if (!ts) return Refused(TimestampError(identification));
        Record row = RowHead(program, parameter, *ts, identification, false);
        QList<QVariant> sample;
        for (int i = 0; i < n; ++i) {
            const QVariant& v = measurements[s * n + i].value;
            sample.append(v);
            row.set(Column("W", i + 1), v);
        }
        RowTail(row, ComputeSampleStatistics(sample), n, parameter, limits);
        result.append(row);
    }
    return result;
}

EvaluationResult WypX(const QList<MeasurementValue>& measurements, const ParameterRow& parameter,
                      const Record& program, const SizeConstantTable& constants,
                      const SampleIdentification& identification, const QList<QVariant>& previousValues) {
    const Result<int> checked = CheckInputs(parameter, identification);
    if (!checked) return checked.refusal();
    const int n = *checked;

    QList<Record> result;
    const ControlLimits limits = ComputeLimits(parameter, constants[n], n);
    const QVariant czasP = program.value(QStringLiteral("CzasP"));
    // The stored rows followed by the ones appended for this card, whatever
    // their timestamps: the window looks back along this list.
    QList<QVariant> history = previousValues;
    for (qsizetype j = 0; j < measurements.size(); ++j) {
        const qint64 steps = j == 0 ? 0 : measurements[j - 1].section;
        const auto ts = ComputeTimestamp(identification.date, identification.time, czasP, steps);
        if (!ts) return Refused(TimestampError(identification));

        const QVariant& value = measurements[j].value;
        QList<QVariant> sample{value};
        for (qsizetype back = history.size() - 1; back >= 0 && sample.size() < n; --back)
            sample.append(history[back]);

        Record row = RowHead(program, parameter, *ts, identification, true);
        row.set(QStringLiteral("W1"), value);
        RowTail(row, ComputeSampleStatistics(sample), 1, parameter, limits);
        result.append(row);
        history.append(value);
    }
    return result;
}

QList<QVariant> StoredValues(const QList<Record>& storedRows) {
    QList<QVariant> values;
    values.reserve(storedRows.size());
    for (const Record& r : storedRows) values.append(r.value(QStringLiteral("W1")));
    return values;
}

EvaluationResult EvaluateCard(const QList<MeasurementValue>& measurements, const ParameterRow& parameter,
                              const Record& program, const SizeConstantTable& constants,
                              const SampleIdentification& identification, const QList<QVariant>& previousValues) {
    if (parameter.is(CardType::Samples)) return WypXR(measurements, parameter, program, constants, identification);
    if (parameter.is(CardType::Individual))
        return WypX(measurements, parameter, program, constants, identification, previousValues);
    return QList<Record>();
}

} // namespace kartovo
