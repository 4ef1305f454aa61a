#pragma once

#include "acquisition/sane/Scanner.h"

#include <QString>

namespace kartovo {

class SettingsStore;

// Where the scanning station keeps its scanner choices ("Start" section).
inline const QString kScannerSection = QStringLiteral("Start");
inline const QString kScannerKey = QStringLiteral("Skaner");
inline const QString kResolutionKey = QStringLiteral("Rozdzielczosc");
// Enough for the card's cells and markers and small enough to process quickly.
inline constexpr int kDefaultResolution = 150;

inline const QString kNoScannerMessage =
    QStringLiteral("Brak dostępnych skanerów. Podłącz skaner lub zainstaluj odpowiednie sterowniki !");

// The settings of the next card scan: the remembered scanner (empty: the first
// one found), colour, and the stored resolution (150 dpi when missing or not
// a positive number).
ScanSettings ScanSettingsFromStore(const SettingsStore& store);

// Remembers the scanner used by every later scan and writes it out at once.
void RememberScanner(SettingsStore& store, const QString& deviceName);

} // namespace kartovo
