#pragma once

#include "db/Record.h"
#include "platform/Result.h"

#include <QString>
#include <QVariant>
#include <QtGlobal>

#include <array>

namespace kartovo {

class DbConnection;

// Caption and layout of one identification column of SPC_Programy (SPC_OpisBaz row).
struct ProgramIdentificationEntry {
    QVariant Nazwa;
    QVariant NazwaA;
    QVariant Pole;
    QVariant Dlugosc;
};

// One descriptive field of a stored sample (SPC_OpisID row).
struct DataIdentificationEntry {
    QVariant Nazwa;
    QVariant NazwaA;
    QVariant Pole; // yes: free entry; no: chosen from SPC_OpisID<i>
};

// Statistical constants of one sample size (SPC_Tablice row).
struct SampleConstantsEntry {
    QVariant R1;
    QVariant R2;
    QVariant S1;
    QVariant S2;
    QVariant R;
    QVariant S;
};

// The definitions loaded once at start-up from the base tables. Values are
// kept exactly as read (possibly null). Index 0 of the two identification
// tables is unused; SampleConstants is indexed by the sample size 0 .. 40.
struct BaseSettings {
    static constexpr int kMaxProgramIdentification = 10;
    static constexpr int kMaxDataIdentification = 20;
    static constexpr int kMaxSampleSize = 40;

    std::array<ProgramIdentificationEntry, kMaxProgramIdentification + 1> ProgramIdentification{};
    qint16 ProgramIdentificationCount = 0;
    std::array<DataIdentificationEntry, kMaxDataIdentification + 1> DataIdentification{};
    qint16 DataIdentificationCount = 0;
    Record WorkingParameters; // the one SPC_Ustawienia row
    std::array<SampleConstantsEntry, kMaxSampleSize + 1> SampleConstants{};
};

enum class BaseSettingsOutcome {
    Loaded,                 // also when a read error cut the loading short
    NoProgramIdentification, // B1: SPC_OpisBaz empty
    NoDataIdentification,    // B2: SPC_OpisID empty
    NoWorkingParameters,     // B3: SPC_Ustawienia empty
};

// Loads the four base tables into `out` (reset first). A database error other
// than an empty table ends the loading where it happened and keeps what was
// read; it is only logged.
BaseSettingsOutcome LoadBaseSettings(DbConnection& conn, BaseSettings& out);

// Lines of the refusal for an empty base table; empty for Loaded.
QString BaseSettingsRefusalText(BaseSettingsOutcome outcome);

// Start-up loading into the program-wide session; the refusal (B1-B3, kind
// NotFound) when a base table is empty and the program must end.
Result<void> UstawieniaBaz();

} // namespace kartovo
