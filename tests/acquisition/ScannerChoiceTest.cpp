#include "acquisition/ScannerSettings.h"
#include "acquisition/sane/Scanner.h"
#include "acquisition/ui/ScannerChoiceDialog.h"
#include "platform/Messages.h"
#include "platform/SettingsStore.h"

#include "acquisition/SaneTestConfig.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace kartovo;
using kartovo::testing::SaneTestConfig;

namespace {

class ScannerChoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        SaneTestConfig::Install();
        m_ini = m_dir.filePath(QStringLiteral("NORV_SPC.ini"));
        m_store = std::make_unique<SettingsStore>(m_ini);
        m_previous = SetMessagePresenter([this](const MessageRequest& r) {
            m_messages.append(r);
            return false;
        });
    }
    void TearDown() override { SetMessagePresenter(m_previous); }

    QString storedScanner() const { return SettingsStore(m_ini).read(QStringLiteral("Start"), QStringLiteral("Skaner")); }

    static QListWidget* listOf(QWidget* dialog) { return dialog->findChild<QListWidget*>(QStringLiteral("List1")); }
    static QPushButton* button(QWidget* dialog, const char* name) {
        return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static int rowOf(QListWidget* list, const QString& device) {
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().endsWith(u'(' + device + u')')) return i;
        return -1;
    }
    static void clickRow(QListWidget* list, int row) {
        const QRect r = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }

    // Runs `act` on the modal dialog once it is shown, as long as the returned
    // timer lives (it must not outlive what `act` refers to).
    [[nodiscard]] static std::unique_ptr<QTimer> whenModalShown(std::function<void(QWidget*)> act) {
        auto timer = std::make_unique<QTimer>();
        QTimer* t = timer.get();
        QObject::connect(t, &QTimer::timeout, [t, act] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                t->stop();
                act(modal);
            }
        });
        t->start(20);
        return timer;
    }

    QTemporaryDir m_dir;
    QString m_ini;
    std::unique_ptr<SettingsStore> m_store;
    QList<MessageRequest> m_messages;
    MessagePresenter m_previous;
};

} // namespace

TEST_F(ScannerChoiceTest, NextScanUsesTheStoredScannerAndResolution) {
    EXPECT_EQ(ScanSettingsFromStore(*m_store).device, QString()); // the first device listed
    m_store->write("Start", "Skaner", " test:1 ");
    const struct {
        const char* stored;
        int resolution;
    } cases[] = {{"300", 300}, {"0", 150}, {"-75", 150}, {"abc", 150}, {"", 150}};
    for (const auto& c : cases) {
        m_store->write("Start", "Rozdzielczosc", c.stored);
        const ScanSettings s = ScanSettingsFromStore(*m_store);
        EXPECT_EQ(s.resolution, c.resolution) << c.stored;
        EXPECT_EQ(s.device, "test:1");
        EXPECT_EQ(s.mode, "Color");
    }
}

// Mouse, Enter or a double click choose and store at once; Esc changes nothing.
// The remembered scanner is preselected and the next scan goes to it.
TEST_F(ScannerChoiceTest, ChoosingADeviceStoresItForEveryLaterScan) {
    const QList<ScannerDevice> devices = Scanner().devices();
    ASSERT_EQ(devices.size(), 4);
    const std::function<void(ScannerChoiceDialog&, QListWidget*)> steps[] = {
        [](ScannerChoiceDialog& d, QListWidget* list) {
            EXPECT_EQ(list->currentRow(), 0); // nothing remembered: the device scanned with
            clickRow(list, rowOf(list, "test:1"));
            QTest::mouseClick(button(&d, "CommandOK"), Qt::LeftButton);
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
            const QPoint p = list->visualItemRect(list->item(rowOf(list, "test:0"))).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, p);
        }};
    const char* stored[] = {"test:1", "test:1", "pnm:1", "test:0"};
    for (int i = 0; i < 4; ++i) {
        ScannerChoiceDialog dialog(devices, *m_store);
        dialog.show();
        listOf(&dialog)->setFocus();
        steps[i](dialog, listOf(&dialog));
        EXPECT_EQ(dialog.result(), i == 1 ? QDialog::Rejected : QDialog::Accepted) << i;
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(storedScanner(), stored[i]) << i; // written through to the file
    }

    // The next scan goes to the stored device (a gone one is not replaced: ScannerTest).
    EXPECT_EQ(ScanSettingsFromStore(*m_store).device, "test:0");
}

TEST_F(ScannerChoiceTest, TheChooseScannerActionShowsTheModalList) {
    int shownRows = 0;
    auto chooser = whenModalShown([&](QWidget* modal) {
        QListWidget* list = listOf(modal);
        if (!list) return;
        shownRows = list->count();
        list->setCurrentRow(rowOf(list, "pnm:1"));
        QTest::mouseClick(button(modal, "CommandOK"), Qt::LeftButton);
    });
    EXPECT_TRUE(WskazSkaner(nullptr, *m_store));
    EXPECT_EQ(shownRows, 4);
    EXPECT_EQ(storedScanner(), "pnm:1");
    EXPECT_TRUE(m_messages.isEmpty());

    auto canceller = whenModalShown([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_FALSE(WskazSkaner(nullptr, *m_store));
    EXPECT_EQ(storedScanner(), "pnm:1");
}

TEST_F(ScannerChoiceTest, WithoutAScannerTheActionOnlyShowsTheMessage) {
    m_store->write("Start", "Skaner", "test:0");
    m_store->sync();
    SaneTestConfig::SetBackends({}); // read when the library starts, i.e. by the action's own listing
    bool dialogShown = false;
    auto watcher = whenModalShown([&](QWidget* modal) {
        dialogShown = modal->findChild<QListWidget*>() != nullptr;
        modal->close();
    });
    EXPECT_FALSE(WskazSkaner(nullptr, *m_store));
    SaneTestConfig::SetBackends({QStringLiteral("test"), QStringLiteral("pnm")});
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0].text, kNoScannerMessage);
    EXPECT_EQ(m_messages[0].style, 16);
    EXPECT_EQ(storedScanner(), "test:0");
    EXPECT_FALSE(dialogShown); // the modal list never ran
}
