#include "AppTestSupport.h"

#include "app/StationOptions.h"
#include "app/ui/OptionsPanel.h"

#include <functional>
#include <tuple>

using namespace kartovo;

using StationOptionsTest = test::AppTest;
const QString kStart = QStringLiteral("Start");

// Stored values as other programs leave them, and what the station makes of each.
TEST_F(StationOptionsTest, StoredValuesAreReadAsTheControlsCanShowThem) {
    const struct {
        const char* key;
        const char* value;
        std::function<QVariant(const StationOptions&)> field;
        QVariant expected;
    } cases[] = {
        {"Procent", "", [](auto& o) { return o.thresholdCaption; }, QStringLiteral("20%")},
        {"Procent", "0%", [](auto& o) { return o.thresholdCaption; }, QStringLiteral("20%")},
        {"Procent", "-3%", [](auto& o) { return o.thresholdCaption; }, QStringLiteral("-3%")},
        {"Procent", " 35%", [](auto& o) { return o.thresholdCaption; }, QStringLiteral("35%")},
        {"Automat", "1", [](auto& o) { return o.askConfirmation; }, true},
        {"Automat", "7", [](auto& o) { return o.askConfirmation; }, false},
        {"Automat1", "1", [](auto& o) { return o.deleteProcessedFile; }, true},
        {"Automat2", "1", [](auto& o) { return o.processAutomatically; }, true},
        {"KonwersjaCB", "1.4", [](auto& o) { return o.convertToBW; }, true}, // rounds to 1
        {"FiltrCB", "1", [](auto& o) { return o.removeNoise; }, true},
        {"FiltrKolor", "1", [](auto& o) { return o.colourFilter; }, true},
        {"FiltrRGB", "2", [](auto& o) { return o.filterColour; }, 2},
        {"FiltrRGB", "9", [](auto& o) { return o.filterColour; }, 0},
        {"FiltrRV", "255", [](auto& o) { return o.filterRed; }, 255},
        {"FiltrRV", "300", [](auto& o) { return o.filterRed; }, 0},
        {"FiltrGV", "-1", [](auto& o) { return o.filterGreen; }, 0},
        {"FiltrBV", "254.5", [](auto& o) { return o.filterBlue; }, 254}, // halves go to even
        {"Obrot", "2.5", [](auto& o) { return o.rotation; }, 2},
        {"CzuloscK", "-1", [](auto& o) { return o.conversionSensitivity; }, -1}, // no choice in the list
        {"CzuloscF", "2", [](auto& o) { return o.filterSensitivity; }, 2},
        {"AutoZwloka", "", [](auto& o) { return o.settleSeconds; }, 10},
        {"AutoZwloka", "0", [](auto& o) { return o.settleSeconds; }, 0},
        {"AutoZwloka", "4", [](auto& o) { return o.settleSeconds; }, 4},
        {"AutoZwloka", "-3", [](auto& o) { return o.settleSeconds; }, 0},
        {"AutoDir", "/srv/wymiana/", [](auto& o) { return o.exchangeFolder; }, QStringLiteral("/srv/wymiana/")},
        {"Stanowisko", " Linia 2 ", [](auto& o) { return o.stationName; }, QStringLiteral("Linia 2")},
        {"Rozdzielczosc", "", [](auto& o) { return o.scanResolution; }, 150},
        // Only a resolution the panel offers; anything else scans at the default.
        {"Rozdzielczosc", "300", [](auto& o) { return o.scanResolution; }, 300},
        {"Rozdzielczosc", "600", [](auto& o) { return o.scanResolution; }, 150},
        {"Rozdzielczosc", "-150", [](auto& o) { return o.scanResolution; }, 150},
        // Words where numbers belong are named, not silently read as 0.
        {"FiltrCB", "tak", [](auto& o) { return o.invalidNumbers; }, QStringList{QStringLiteral("FiltrCB")}},
        {"AutoZwloka", "dwie", [](auto& o) { return o.invalidNumbers; }, QStringList{QStringLiteral("AutoZwloka")}},
        {"Procent", "35%", [](auto& o) { return o.invalidNumbers; }, QStringList()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        QFile::remove(m_iniPath);
        set(kStart, QLatin1String(c.key), QString::fromUtf8(c.value));
        EXPECT_EQ(c.field(ReadStationOptions(SettingsStore())), c.expected);
    }
    set(kStart, QStringLiteral("FiltrCB"), QStringLiteral("tak"));
    const QString said = InvalidNumbersMessage(ReadStationOptions(SettingsStore()));
    EXPECT_TRUE(said.contains(QStringLiteral("Start/FiltrCB"))) << said.toStdString();
    // The panel shows the same: what it does not offer is the default.
    QWidget parent;
    OptionsPanel panel(&parent);
    for (const auto& [shown, read] : {std::pair{100, 100}, {200, 200}, {600, 150}, {0, 150}}) {
        panel.applyOptions({.scanResolution = shown});
        EXPECT_EQ(panel.options().scanResolution, read) << shown;
    }
}

TEST_F(StationOptionsTest, ThresholdStepsWithoutBoundsInTheShortestForm) {
    EXPECT_EQ(ThresholdCaption(2.5), QStringLiteral("2.5%"));
    const std::tuple<const char*, int, const char*> steps[] = {
        {"20%", -1, "19%"}, {"0%", -1, "-1%"}, {"100%", +1, "101%"}, {"2.5%", +1, "3.5%"}, {"-1%", +1, "0%"}};
    for (const auto& [from, delta, to] : steps)
        EXPECT_EQ(StepThreshold(QLatin1String(from), delta), QLatin1String(to)) << from << delta;
}

// Written options read back the same; the settle time is written only when not the default.
TEST_F(StationOptionsTest, WrittenOptionsReadBackTheSame) {
    const auto write = [](const StationOptions& o) {
        SettingsStore store;
        WriteStationOptions(store, o);
    };
    write({});
    EXPECT_EQ(stored(kStart, QStringLiteral("AutoZwloka")), QString());
    EXPECT_EQ(stored(kStart, QStringLiteral("Automat1")), QStringLiteral("0"));
    const StationOptions o{.exchangeFolder = QStringLiteral("/srv/wymiana/"), .initialFolder = QStringLiteral("/home/operator/karty"),
         .thresholdCaption = QStringLiteral("-3%"), .askConfirmation = true, .deleteProcessedFile = true,
         .removeNoise = true, .colourFilter = true, .conversionSensitivity = -1, .filterSensitivity = 1, .rotation = 2,
         .filterColour = 1, .filterRed = 255, .filterGreen = 17, .filterBlue = 3, .scanResolution = 100, .settleSeconds = 4,
         .stationName = QStringLiteral("Linia 2"), .invalidNumbers = {}};
    write(o);
    EXPECT_EQ(stored(kStart, QStringLiteral("Automat2")), QStringLiteral("0"));
    EXPECT_EQ(stored(kStart, QStringLiteral("Rozdzielczosc")), QStringLiteral("100"));
    const auto fields = [](const StationOptions& s) {
        return std::tie(s.exchangeFolder, s.initialFolder, s.thresholdCaption, s.askConfirmation, s.deleteProcessedFile,
                        s.processAutomatically, s.convertToBW, s.removeNoise, s.colourFilter, s.conversionSensitivity,
                        s.filterSensitivity, s.rotation, s.filterColour, s.filterRed, s.filterGreen, s.filterBlue,
                        s.scanResolution, s.settleSeconds, s.stationName, s.invalidNumbers);
    };
    EXPECT_EQ(fields(ReadStationOptions(SettingsStore())), fields(o));
}
