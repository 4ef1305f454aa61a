#pragma once

#include "db/BaseSettings.h"
#include "db/ParameterRow.h"
#include "db/Record.h"
#include "platform/Result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <optional>

namespace kartovo {

// One mark of the card after the value computation: its value (already rounded
// to the parameter's decimals, null when the parameter has no limits) and its
// section (grid column, 1 = leftmost).
struct MeasurementValue {
    QVariant value;
    int section = 0;
};

// SampleConstants of the base settings, indexed by the sample size 0 .. 40.
using SizeConstantTable = std::array<SampleConstantsEntry, BaseSettings::kMaxSampleSize + 1>;

// Identification of the stored samples: date "yyyy-mm-dd", time "hh:mm", the
// texts of the descriptive fields ID1 .. IDn and the notes (empty = none).
struct SampleIdentification {
    QString date;
    QString time;
    QStringList descriptive;
    QString notes;
};

// The identification of automatic mode: the given moment, "-" in every
// descriptive field, no notes.
SampleIdentification AutomaticIdentification(const QDateTime& now, int descriptiveCount);

// Date and time of a stored row.
struct SampleTimestamp {
    QString date; // "yyyy-mm-dd"
    QString time; // "hh:mm"
};

// The identification's date and time moved on by czasP x steps minutes when
// czasP (the program's sampling interval) is above 0; minute overflow carries
// into the hour and hour overflow into the date. Empty when the date or time
// text cannot be read.
std::optional<SampleTimestamp> ComputeTimestamp(const QString& date, const QString& time, const QVariant& czasP,
                                                qint64 steps);

// Probka of the parameter as the sample size, or 0 when it is not 1 .. 40
// (the constants and the W columns only go that far).
int SampleSize(const ParameterRow& parameter);

// The rows to append to SPC_Baza for one card, or the reason (Polish) none may
// be stored. Each row lists its columns in the order they are filled, so an
// INSERT can bind them by name and leave out columns an older table lacks.
using EvaluationResult = Result<QList<Record>>;

// Sample card (CardType::Samples): consecutive groups of Probka measurements in table
// order, one row per complete group; a leftover shorter group is not stored.
EvaluationResult WypXR(const QList<MeasurementValue>& measurements, const ParameterRow& parameter, const Record& program,
                       const SizeConstantTable& constants, const SampleIdentification& identification);

// Individual-value card (CardType::Individual): one row per measurement, its statistics
// taken over a moving window of itself and up to Probka - 1 values stored
// before it. previousValues are the W1 values of this parameter's stored rows
// in (Data, Czas, ID) order, oldest first; only the last Probka - 1 matter.
// Rows produced by this call join the window of the later measurements.
EvaluationResult WypX(const QList<MeasurementValue>& measurements, const ParameterRow& parameter, const Record& program,
                      const SizeConstantTable& constants, const SampleIdentification& identification,
                      const QList<QVariant>& previousValues);

// The W1 values of stored SPC_Baza rows, in the rows' order.
QList<QVariant> StoredValues(const QList<Record>& storedRows);

// The evaluation of the parameter's card type: Samples WypXR, Individual WypX,
// any other type stores nothing (and is no error).
EvaluationResult EvaluateCard(const QList<MeasurementValue>& measurements, const ParameterRow& parameter,
                              const Record& program, const SizeConstantTable& constants,
                              const SampleIdentification& identification, const QList<QVariant>& previousValues);

} // namespace kartovo
