#include "AppTestSupport.h"

#include "app/StationOptions.h"
#include "app/ui/OptionsPanel.h"

#include <QComboBox>
#include <QLabel>
#include <QTest>

namespace kartovo::test {
namespace {

using ScanResolutionTest = AppTest;
const QString kStart = QStringLiteral("Start");

TEST_F(ScanResolutionTest, OnlyOfferedResolutionsAreReadBackAndTheChoiceIsSavedAtClosing) {
    EXPECT_EQ(ReadStationOptions(SettingsStore()).scanResolution, 150);
    for (const char* offered : {"100", "150", "200", "300"}) {
        set(kStart, QStringLiteral("Rozdzielczosc"), QString::fromLatin1(offered));
        EXPECT_EQ(ReadStationOptions(SettingsStore()).scanResolution, QByteArray(offered).toInt());
    }
    for (const char* other : {"600", "0", "-150", "abc", ""}) {
        set(kStart, QStringLiteral("Rozdzielczosc"), QString::fromLatin1(other));
        EXPECT_EQ(ReadStationOptions(SettingsStore()).scanResolution, 150) << other;
    }
    StationOptions o;
    o.scanResolution = 300;
    {
        SettingsStore store;
        WriteStationOptions(store, o);
    }
    EXPECT_EQ(stored(kStart, QStringLiteral("Rozdzielczosc")), QStringLiteral("300"));
}

TEST_F(ScanResolutionTest, PanelListShowsAndKeepsTheResolution) {
    QWidget parent;
    OptionsPanel panel(&parent);
    QComboBox* list = panel.resolutionList();
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(panel.scanResolution(), 150);

    StationOptions o;
    o.scanResolution = 200;
    panel.applyOptions(o);
    EXPECT_EQ(list->currentText(), QStringLiteral("200 dpi"));
    EXPECT_EQ(panel.options().scanResolution, 200);
    o.scanResolution = 75; // not offered: the default
    panel.applyOptions(o);
    EXPECT_EQ(panel.options().scanResolution, 150);

    // Chosen from the keyboard.
    parent.show();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(panel.options().scanResolution, 200);
}

} // namespace
} // namespace kartovo::test
