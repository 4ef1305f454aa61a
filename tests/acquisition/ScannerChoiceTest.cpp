#include "acquisition/ScannerSettings.h"
#include "acquisition/sane/Scanner.h"
#include "acquisition/ui/ScannerChoiceDialog.h"
#include "platform/SettingsStore.h"

#include "acquisition/SaneTestConfig.h"
#include "common/TestHelpers.h"

#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

class ScannerChoiceTest : public ::testing::Test {
protected:
    void SetUp() override { SaneTestConfig::Install(); }

    QString storedScanner() const { return SettingsStore(m_ini).read(QStringLiteral("Start"), QStringLiteral("Skaner")); }

    static QListWidget* listOf(QWidget* dialog) { return dialog->findChild<QListWidget*>(QStringLiteral("List1")); }
    static QPushButton* okButton(QWidget* dialog) { return dialog->findChild<QPushButton*>(QStringLiteral("CommandOK")); }
    static int rowOf(QListWidget* list, const QString& device) {
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().endsWith(u'(' + device + u')')) return i;
        return -1;
    }
    static void clickRow(QListWidget* list, int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }

    QTemporaryDir m_dir;
    QString m_ini = m_dir.filePath(QStringLiteral("NORV_SPC.ini"));
    SettingsStore m_store{m_ini};
    MessageRecorder m_messages;
};

} // namespace

// Mouse, Enter or a double click choose and store at once; Esc changes nothing.
// The remembered scanner is preselected and the next scan goes to it, at the
// stored resolution or 150 dpi.
TEST_F(ScannerChoiceTest, ChoosingADeviceStoresItForEveryLaterScan) {
    EXPECT_EQ(ScanSettingsFromStore(m_store).device, QString()); // the first device listed
    const QList<ScannerDevice> devices = Scanner().devices();
    ASSERT_EQ(devices.size(), 4);
    const std::function<void(ScannerChoiceDialog&, QListWidget*)> steps[] = {
        [](ScannerChoiceDialog& d, QListWidget* list) {
            EXPECT_EQ(list->currentRow(), 0); // nothing remembered: the device scanned with
            clickRow(list, rowOf(list, "test:1"));
            QTest::mouseClick(okButton(&d), Qt::LeftButton);
        },
        [](ScannerChoiceDialog& d, QListWidget* list) {
            EXPECT_EQ(d.selectedDevice(), "test:1");
            clickRow(list, rowOf(list, "pnm:0"));
            QTest::keyClick(list, Qt::Key_Escape);
        },
        [](ScannerChoiceDialog&, QListWidget* list) {
            list->setCurrentRow(rowOf(list, "pnm:1"));
            QTest::keyClick(list, Qt::Key_Return);
        },
        [](ScannerChoiceDialog&, QListWidget* list) {
            clickRow(list, rowOf(list, "test:0"));
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                               list->visualItemRect(list->item(rowOf(list, "test:0"))).center());
        }};
    const char* stored[] = {"test:1", "test:1", "pnm:1", "test:0"};
    for (int i = 0; i < 4; ++i) {
        ScannerChoiceDialog dialog(devices, m_store);
        dialog.show();
        listOf(&dialog)->setFocus();
        steps[i](dialog, listOf(&dialog));
        EXPECT_EQ(dialog.result(), i == 1 ? QDialog::Rejected : QDialog::Accepted) << i;
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(storedScanner(), stored[i]) << i; // written through to the file
    }
    for (const auto& [stored, resolution] : {std::pair{"300", 300}, {"0", 150}, {"-75", 150}, {"abc", 150}, {"", 150}}) {
        m_store.write("Start", "Rozdzielczosc", stored);
        const ScanSettings s = ScanSettingsFromStore(m_store);
        EXPECT_EQ(s.resolution, resolution) << stored;
        EXPECT_EQ(s.device, "test:0");
        EXPECT_EQ(s.mode, "Color");
    }
}

// The menu action lists the devices in the modal list; without any scanner it
// only says so and keeps the stored choice.
TEST_F(ScannerChoiceTest, TheChooseScannerActionShowsTheModalListOrOnlyTheMessage) {
    m_store.write("Start", "Skaner", " test:0 ");
    m_store.sync();
    SaneTestConfig::SetBackends({}); // read when the library starts, i.e. by the action's own listing
    bool listShown = false;
    {
        auto watcher = WhenModalShown([&](QWidget* modal) {
            listShown = listOf(modal) != nullptr;
            modal->close();
        });
        EXPECT_FALSE(WskazSkaner(nullptr, m_store));
    }
    SaneTestConfig::SetBackends({QStringLiteral("test"), QStringLiteral("pnm")});
    ASSERT_EQ(m_messages.requests.size(), 1u);
    EXPECT_EQ(m_messages.requests[0].text, kNoScannerMessage);
    EXPECT_EQ(m_messages.requests[0].style, 16);
    EXPECT_FALSE(listShown);
    EXPECT_EQ(ScanSettingsFromStore(m_store).device, "test:0");

    int shownRows = 0;
    {
        auto chooser = WhenModalShown([&](QWidget* modal) {
            QListWidget* list = listOf(modal);
            if (!list) return;
            shownRows = list->count();
            list->setCurrentRow(rowOf(list, "pnm:1"));
            QTest::mouseClick(okButton(modal), Qt::LeftButton);
        });
        EXPECT_TRUE(WskazSkaner(nullptr, m_store));
    }
    EXPECT_EQ(shownRows, 4);
    EXPECT_EQ(storedScanner(), "pnm:1");
    auto canceller = WhenModalShown([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_FALSE(WskazSkaner(nullptr, m_store));
    EXPECT_EQ(storedScanner(), "pnm:1");
    EXPECT_EQ(m_messages.requests.size(), 1u);
}
