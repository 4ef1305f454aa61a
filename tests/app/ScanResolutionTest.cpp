#include "AppTestSupport.h"

#include "app/StationOptions.h"
#include "app/ui/OptionsPanel.h"

namespace kartovo::test {
namespace {

using ScanResolutionTest = AppTest;

// Only a resolution the panel offers is read back, on the settings file and
// on the panel; anything else scans at the default.
TEST_F(ScanResolutionTest, OnlyOfferedResolutionsAreReadBackAndTheChoiceIsSaved) {
    EXPECT_EQ(ReadStationOptions(SettingsStore()).scanResolution, 150);
    const struct {
        const char* stored;
        int read;
    } cases[] = {{"100", 100}, {"200", 200}, {"300", 300}, {"600", 150}, {"0", 150}, {"-150", 150}, {"abc", 150}};
    QWidget parent;
    OptionsPanel panel(&parent);
    for (const auto& c : cases) {
        set(QStringLiteral("Start"), QStringLiteral("Rozdzielczosc"), QString::fromLatin1(c.stored));
        const StationOptions o = ReadStationOptions(SettingsStore());
        EXPECT_EQ(o.scanResolution, c.read) << c.stored;
        StationOptions shown;
        shown.scanResolution = std::atoi(c.stored);
        panel.applyOptions(shown);
        EXPECT_EQ(panel.options().scanResolution, c.read) << c.stored;
    }
    StationOptions o;
    o.scanResolution = 300;
    {
        SettingsStore store;
        WriteStationOptions(store, o);
    }
    EXPECT_EQ(stored(QStringLiteral("Start"), QStringLiteral("Rozdzielczosc")), QStringLiteral("300"));
}

} // namespace
} // namespace kartovo::test
