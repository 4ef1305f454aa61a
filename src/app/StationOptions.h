#pragma once

#include <QString>
#include <QStringList>

namespace kartovo {

class SettingsStore;

// Working options of the scanning station, section "Start" of the settings
// store: read at start-up, written back when the main window closes normally.
struct StationOptions {
    QString exchangeFolder{};        // "AutoDir", field Text1
    QString initialFolder{};         // "InitDir"
    QString thresholdCaption = QStringLiteral("20%"); // "Procent", caption of Label2

    bool askConfirmation = false;    // "Automat"      SSCheck1
    bool deleteProcessedFile = false; // "Automat1"    SSCheck4
    bool processAutomatically = false; // "Automat2"   SSCheck5
    bool convertToBW = false;        // "KonwersjaCB"  SSCheck2
    bool removeNoise = false;        // "FiltrCB"      SSCheck3
    bool colourFilter = false;       // "FiltrKolor"   XPCheck1

    // List positions of Combo3, Combo4, Combo5; -1 when nothing is chosen.
    int conversionSensitivity = 0;   // "CzuloscK"
    int filterSensitivity = 0;       // "CzuloscF"
    int rotation = 0;                // "Obrot"
    int filterColour = 0;            // "FiltrRGB": 0 red, 1 green, 2 blue

    int filterRed = 0;               // "FiltrRV" FlatScrollBar1
    int filterGreen = 0;             // "FiltrGV" FlatScrollBar2
    int filterBlue = 0;              // "FiltrBV" FlatScrollBar3

    int scanResolution = 150;        // "Rozdzielczosc": dots per inch of a card scan

    // Automatic mode: a file of the exchange folder is taken when it has not
    // changed for this many seconds ("AutoZwloka").
    int settleSeconds = 10;
    // The station's name in the record of stored cards ("Stanowisko"); empty: the host name.
    QString stationName{};

    // Keys whose stored text is not a number where one is expected (read as
    // their initial state); reported, never silently taken as 0.
    QStringList invalidNumbers{};
};

inline constexpr int kDefaultSettleSeconds = 10;

// "Ustawienie Start/<key> ... nie jest liczbą" for each invalid key, joined by
// line breaks; empty when all are numbers.
QString InvalidNumbersMessage(const StationOptions& options);

inline constexpr int kSliderMaximum = 255;

// The scan resolutions the options panel offers, in dots per inch.
inline constexpr int kScanResolutions[] = {100, 150, 200, 300};
inline constexpr int kDefaultScanResolution = 150;

// Reads every option; values that the controls cannot show fall back to their
// initial state (check boxes other than 1 are cleared, a colour outside 0..2 is
// red, a slider level outside 0..255 is 0) instead of stopping the start-up.
StationOptions ReadStationOptions(const SettingsStore& store);

// The closing save, in its fixed order.
void WriteStationOptions(SettingsStore& store, const StationOptions& options);

// Caption of the threshold label for the stored number: 0 means the default 20%.
QString ThresholdCaption(double stored);

// The caption moved by `delta` percentage points, without bounds ("20%" -> "19%").
QString StepThreshold(const QString& caption, int delta);

} // namespace kartovo
