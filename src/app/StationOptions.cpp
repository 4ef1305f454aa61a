#include "app/StationOptions.h"

#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/Numbers.h"
#include "platform/SettingsStore.h"

#include <QRegularExpression>
#include <algorithm>

namespace kartovo {

namespace {
const QString kStart = QStringLiteral("Start");

// A check box shows 1 as ticked; anything else (also a stray 7) as cleared.
bool checkBox(const SettingsStore& store, const QString& key) { return store.integer(kStart, key) == 1; }

int sliderLevel(const SettingsStore& store, const QString& key) {
    const int v = store.integer(kStart, key);
    return v >= 0 && v <= kSliderMaximum ? v : 0;
}

// Only a resolution the panel's list offers; anything else scans at the default.
int scanResolution(const SettingsStore& store) {
    const int dpi = store.integer(kStart, QStringLiteral("Rozdzielczosc"));
    for (int offered : kScanResolutions)
        if (dpi == offered) return dpi;
    return kDefaultScanResolution;
}

QString flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

// A number may be followed by text ("35%"), but must be there.
bool LooksNumeric(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)"));
    return text.trimmed().isEmpty() || number.match(text).hasMatch();
}

const char* const kNumericKeys[] = {"Procent",  "Automat",  "Automat1", "Automat2", "KonwersjaCB", "FiltrCB",
                                    "FiltrKolor", "CzuloscK", "CzuloscF", "Obrot",   "FiltrRGB",   "FiltrRV",
                                    "FiltrGV",  "FiltrBV",  "Rozdzielczosc", "AutoZwloka"};
} // namespace

QString InvalidNumbersMessage(const StationOptions& options) {
    QStringList lines;
    for (const QString& key : options.invalidNumbers)
        lines << QStringLiteral("Ustawienie Start/%1 nie jest liczbą - popraw je w ustawieniach stanowiska.").arg(key);
    return lines.join(kLineBreak);
}

QString ThresholdCaption(double stored) {
    if (stored == 0) return QStringLiteral("20%");
    return ShortestText(stored) + u'%';
}

QString StepThreshold(const QString& caption, int delta) {
    return ShortestText(Val(caption) + delta) + u'%';
}

StationOptions ReadStationOptions(const SettingsStore& store) {
    StationOptions o;
    o.exchangeFolder = store.read(kStart, QStringLiteral("AutoDir"));
    o.initialFolder = store.read(kStart, QStringLiteral("InitDir"));
    o.thresholdCaption = ThresholdCaption(store.number(kStart, QStringLiteral("Procent")));

    o.askConfirmation = checkBox(store, QStringLiteral("Automat"));
    o.deleteProcessedFile = checkBox(store, QStringLiteral("Automat1"));
    o.processAutomatically = checkBox(store, QStringLiteral("Automat2"));
    o.convertToBW = checkBox(store, QStringLiteral("KonwersjaCB"));
    o.removeNoise = checkBox(store, QStringLiteral("FiltrCB"));

    // Small whole numbers; a position the list does not have shows no selection.
    o.conversionSensitivity = CInt16(store.number(kStart, QStringLiteral("CzuloscK")));
    o.filterSensitivity = CInt16(store.number(kStart, QStringLiteral("CzuloscF")));
    o.rotation = CInt16(store.number(kStart, QStringLiteral("Obrot")));

    o.colourFilter = checkBox(store, QStringLiteral("FiltrKolor"));
    const int colour = store.integer(kStart, QStringLiteral("FiltrRGB"));
    // The colour always matches the option shown, so the filter never uses a colour
    // the operator cannot see.
    o.filterColour = colour >= 0 && colour <= 2 ? colour : 0;

    o.filterRed = sliderLevel(store, QStringLiteral("FiltrRV"));
    o.filterGreen = sliderLevel(store, QStringLiteral("FiltrGV"));
    o.filterBlue = sliderLevel(store, QStringLiteral("FiltrBV"));
    o.scanResolution = scanResolution(store);

    const QString settle = store.read(kStart, QStringLiteral("AutoZwloka"));
    o.settleSeconds = settle.trimmed().isEmpty() ? kDefaultSettleSeconds : std::max(0, store.integer(kStart, QStringLiteral("AutoZwloka")));
    o.stationName = store.read(kStart, QStringLiteral("Stanowisko")).trimmed();

    for (const char* key : kNumericKeys) {
        const QString k = QLatin1String(key);
        if (!LooksNumeric(store.read(kStart, k))) o.invalidNumbers << k;
    }
    for (const QString& k : o.invalidNumbers)
        qCWarning(lcApp).noquote() << "setting Start/" + k << "is not a number:" << store.read(kStart, k);
    return o;
}

void WriteStationOptions(SettingsStore& store, const StationOptions& o) {
    store.write(kStart, QStringLiteral("Procent"), o.thresholdCaption);
    store.write(kStart, QStringLiteral("Automat"), flag(o.askConfirmation));
    store.write(kStart, QStringLiteral("Automat1"), flag(o.deleteProcessedFile));
    store.write(kStart, QStringLiteral("Automat2"), flag(o.processAutomatically));
    store.write(kStart, QStringLiteral("KonwersjaCB"), flag(o.convertToBW));
    store.write(kStart, QStringLiteral("FiltrCB"), flag(o.removeNoise));
    store.write(kStart, QStringLiteral("FiltrKolor"), flag(o.colourFilter));
    const int colour = o.filterColour == 0 ? 0 : (o.filterColour == 1 ? 1 : 2);
    store.write(kStart, QStringLiteral("FiltrRGB"), QString::number(colour));
    store.write(kStart, QStringLiteral("FiltrRV"), QString::number(o.filterRed));
    store.write(kStart, QStringLiteral("FiltrGV"), QString::number(o.filterGreen));
    store.write(kStart, QStringLiteral("FiltrBV"), QString::number(o.filterBlue));
    store.write(kStart, QStringLiteral("CzuloscK"), QString::number(o.conversionSensitivity));
    store.write(kStart, QStringLiteral("CzuloscF"), QString::number(o.filterSensitivity));
    store.write(kStart, QStringLiteral("Obrot"), QString::number(o.rotation));
    store.write(kStart, QStringLiteral("Rozdzielczosc"), QString::number(o.scanResolution));
    store.write(kStart, QStringLiteral("InitDir"), o.initialFolder);
    store.write(kStart, QStringLiteral("AutoDir"), o.exchangeFolder);
    // Written only when set apart from the default, so the section stays as it was.
    if (o.settleSeconds != kDefaultSettleSeconds || !store.read(kStart, QStringLiteral("AutoZwloka")).isEmpty())
        store.write(kStart, QStringLiteral("AutoZwloka"), QString::number(o.settleSeconds));
    if (!o.stationName.isEmpty()) store.write(kStart, QStringLiteral("Stanowisko"), o.stationName);
    store.sync();
}

} // namespace kartovo
