#include "AppTestSupport.h"

#include "app/StationOptions.h"

using namespace kartovo;

namespace {
class StationOptionsTest : public test::AppTest {};
const QString kStart = QStringLiteral("Start");
} // namespace

TEST_F(StationOptionsTest, EmptyStoreGivesTheInitialState) {
    SettingsStore store;
    const StationOptions o = ReadStationOptions(store);
    EXPECT_EQ(o.thresholdCaption, QStringLiteral("20%"));
    EXPECT_FALSE(o.askConfirmation || o.deleteProcessedFile || o.processAutomatically || o.convertToBW ||
                 o.removeNoise || o.colourFilter);
    EXPECT_EQ(o.conversionSensitivity, 0);
    EXPECT_EQ(o.filterSensitivity, 0);
    EXPECT_EQ(o.rotation, 0);
    EXPECT_EQ(o.filterColour, 0);
    EXPECT_EQ(o.filterRed + o.filterGreen + o.filterBlue, 0);
    EXPECT_TRUE(o.exchangeFolder.isEmpty());
    EXPECT_TRUE(o.initialFolder.isEmpty());
    EXPECT_EQ(o.settleSeconds, 10);
    EXPECT_TRUE(o.stationName.isEmpty());
    EXPECT_TRUE(o.invalidNumbers.isEmpty());
}

TEST_F(StationOptionsTest, ThresholdZeroMeansTwentyOtherValuesStay) {
    EXPECT_EQ(ThresholdCaption(0), QStringLiteral("20%"));
    EXPECT_EQ(ThresholdCaption(-3), QStringLiteral("-3%"));
    EXPECT_EQ(ThresholdCaption(2.5), QStringLiteral("2.5%"));

    set(kStart, QStringLiteral("Procent"), QStringLiteral("0%"));
    EXPECT_EQ(ReadStationOptions(SettingsStore()).thresholdCaption, QStringLiteral("20%"));
    set(kStart, QStringLiteral("Procent"), QStringLiteral("-3%"));
    EXPECT_EQ(ReadStationOptions(SettingsStore()).thresholdCaption, QStringLiteral("-3%"));
    set(kStart, QStringLiteral("Procent"), QStringLiteral(" 35%"));
    EXPECT_EQ(ReadStationOptions(SettingsStore()).thresholdCaption, QStringLiteral("35%"));
}

TEST_F(StationOptionsTest, StepThresholdHasNoBoundsAndShortestForm) {
    EXPECT_EQ(StepThreshold(QStringLiteral("20%"), -1), QStringLiteral("19%"));
    EXPECT_EQ(StepThreshold(QStringLiteral("0%"), -1), QStringLiteral("-1%"));
    EXPECT_EQ(StepThreshold(QStringLiteral("100%"), +1), QStringLiteral("101%"));
    EXPECT_EQ(StepThreshold(QStringLiteral("2.5%"), +1), QStringLiteral("3.5%"));
    EXPECT_EQ(StepThreshold(QStringLiteral("-1%"), +1), QStringLiteral("0%"));
}

TEST_F(StationOptionsTest, OddStoredValuesFallBackToWhatTheControlsCanShow) {
    set(kStart, QStringLiteral("Automat"), QStringLiteral("7"));
    set(kStart, QStringLiteral("KonwersjaCB"), QStringLiteral("1.4")); // rounds to 1
    set(kStart, QStringLiteral("FiltrCB"), QStringLiteral("tak"));
    set(kStart, QStringLiteral("FiltrRGB"), QStringLiteral("9"));
    set(kStart, QStringLiteral("FiltrRV"), QStringLiteral("300"));
    set(kStart, QStringLiteral("FiltrGV"), QStringLiteral("-1"));
    set(kStart, QStringLiteral("FiltrBV"), QStringLiteral("254.5")); // halves go to even: 254
    set(kStart, QStringLiteral("Obrot"), QStringLiteral("2.5"));
    const StationOptions o = ReadStationOptions(SettingsStore());
    EXPECT_FALSE(o.askConfirmation);
    EXPECT_TRUE(o.convertToBW);
    EXPECT_FALSE(o.removeNoise);
    EXPECT_EQ(o.filterColour, 0);
    EXPECT_EQ(o.filterRed, 0);
    EXPECT_EQ(o.filterGreen, 0);
    EXPECT_EQ(o.filterBlue, 254);
    EXPECT_EQ(o.rotation, 2);
    // Words where numbers belong are named, not silently read as 0.
    EXPECT_EQ(o.invalidNumbers, QStringList{QStringLiteral("FiltrCB")});
    EXPECT_TRUE(InvalidNumbersMessage(o).contains(QStringLiteral("Start/FiltrCB"))) << InvalidNumbersMessage(o).toStdString();
}

TEST_F(StationOptionsTest, ClosingSaveRoundTrip) {
    StationOptions o;
    o.exchangeFolder = QStringLiteral("/srv/wymiana/");
    o.initialFolder = QStringLiteral("/home/operator/karty");
    o.thresholdCaption = QStringLiteral("-3%");
    o.askConfirmation = true;
    o.processAutomatically = true;
    o.removeNoise = true;
    o.colourFilter = true;
    o.conversionSensitivity = 2;
    o.filterSensitivity = 1;
    o.rotation = 2;
    o.filterColour = 1;
    o.filterRed = 255;
    o.filterGreen = 17;
    o.filterBlue = 3;
    o.settleSeconds = 4;
    o.stationName = QStringLiteral("Linia 2");
    {
        SettingsStore store;
        WriteStationOptions(store, o);
    }
    EXPECT_EQ(stored(kStart, QStringLiteral("Procent")), QStringLiteral("-3%"));
    EXPECT_EQ(stored(kStart, QStringLiteral("Automat")), QStringLiteral("1"));
    EXPECT_EQ(stored(kStart, QStringLiteral("Automat1")), QStringLiteral("0"));
    EXPECT_EQ(stored(kStart, QStringLiteral("FiltrRGB")), QStringLiteral("1"));
    EXPECT_EQ(stored(kStart, QStringLiteral("CzuloscF")), QStringLiteral("1"));

    const StationOptions back = ReadStationOptions(SettingsStore());
    EXPECT_EQ(back.exchangeFolder, o.exchangeFolder);
    EXPECT_EQ(back.initialFolder, o.initialFolder);
    EXPECT_EQ(back.thresholdCaption, o.thresholdCaption);
    EXPECT_EQ(back.askConfirmation, true);
    EXPECT_EQ(back.deleteProcessedFile, false);
    EXPECT_EQ(back.processAutomatically, true);
    EXPECT_EQ(back.convertToBW, false);
    EXPECT_EQ(back.removeNoise, true);
    EXPECT_EQ(back.colourFilter, true);
    EXPECT_EQ(back.conversionSensitivity, 2);
    EXPECT_EQ(back.filterSensitivity, 1);
    EXPECT_EQ(back.rotation, 2);
    EXPECT_EQ(back.filterColour, 1);
    EXPECT_EQ(back.filterRed, 255);
    EXPECT_EQ(back.filterGreen, 17);
    EXPECT_EQ(back.filterBlue, 3);
    EXPECT_EQ(back.settleSeconds, 4);
    EXPECT_EQ(back.stationName, QStringLiteral("Linia 2"));
}

TEST_F(StationOptionsTest, NoChoiceInAListIsKeptAsMinusOne) {
    StationOptions o;
    o.conversionSensitivity = -1;
    {
        SettingsStore store;
        WriteStationOptions(store, o);
    }
    EXPECT_EQ(stored(kStart, QStringLiteral("CzuloscK")), QStringLiteral("-1"));
    EXPECT_EQ(ReadStationOptions(SettingsStore()).conversionSensitivity, -1);
}
