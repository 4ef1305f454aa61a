#include "acquisition/ScannerSettings.h"
#include "acquisition/ui/ScannerChoiceDialog.h"
#include "platform/Messages.h"
#include "acquisition/sane/Scanner.h"
#include "platform/SettingsStore.h"
#include "platform/WorkingFolder.h"

#include "acquisition/SaneTestConfig.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
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
    ScanSettings s = ScanSettingsFromStore(*m_store);
    EXPECT_EQ(s.device, QString());
    EXPECT_EQ(s.resolution, 150);
    EXPECT_EQ(s.mode, "Color");

    m_store->write("Start", "Skaner", " test:1 ");
    m_store->write("Start", "Rozdzielczosc", "300");
    s = ScanSettingsFromStore(*m_store);
    EXPECT_EQ(s.device, "test:1");
    EXPECT_EQ(s.resolution, 300);

    for (const char* bad : {"0", "-75", "abc", ""}) {
        m_store->write("Start", "Rozdzielczosc", bad);
        EXPECT_EQ(ScanSettingsFromStore(*m_store).resolution, 150) << bad;
    }
}

TEST_F(ScannerChoiceTest, ListsEveryDeviceWithVendorModelAndNameAndPreselectsTheRememberedOne) {
    const QList<ScannerDevice> devices = Scanner().devices();
    ASSERT_EQ(devices.size(), 4);
    {
        ScannerChoiceDialog dialog(devices, *m_store);
        QListWidget* list = listOf(&dialog);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), 4);
        EXPECT_GE(rowOf(list, "test:0"), 0);
        EXPECT_GE(rowOf(list, "pnm:1"), 0);
        EXPECT_EQ(list->item(rowOf(list, "test:0"))->text(), "Noname frontend-tester (test:0)");
        EXPECT_EQ(list->currentRow(), 0); // nothing remembered: the device scanned with
        EXPECT_EQ(dialog.windowTitle(), "Wybór skanera");
        EXPECT_EQ(button(&dialog, "CommandOK")->text(), "&OK");
        EXPECT_EQ(button(&dialog, "CommandAnuluj")->text(), "&Anuluj");
    }
    m_store->write("Start", "Skaner", "test:1");
    ScannerChoiceDialog dialog(devices, *m_store);
    EXPECT_EQ(dialog.selectedDevice(), "test:1");
}

TEST_F(ScannerChoiceTest, ChoosingADeviceStoresItForEveryLaterScan) {
    SetProgramFolder(m_dir.path());
    ScannerChoiceDialog dialog(Scanner().devices(), *m_store);
    dialog.show();
    QListWidget* list = listOf(&dialog);
    clickRow(list, rowOf(list, "test:1"));
    QTest::mouseClick(button(&dialog, "CommandOK"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(storedScanner(), "test:1"); // written through to the file

    // The next scan goes to the stored device.
    const ScanSettings settings = ScanSettingsFromStore(*m_store);
    EXPECT_EQ(settings.device, "test:1");
    Scanner scanner;
    const QString file = WorkingFile(QStringLiteral("temp.bmp"));
    ASSERT_EQ(scanner.acquireToFile(file, settings), ScanOk);
    EXPECT_EQ(QImage(file).size(), QSize(472, 590)); // 80 mm x 100 mm at 150 dpi

    // A remembered scanner that is gone is not replaced by another one.
    QFile::remove(file);
    m_store->write("Start", "Skaner", "test:9");
    EXPECT_EQ(scanner.acquireToFile(file, ScanSettingsFromStore(*m_store)), ScanOpenFailed);
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST_F(ScannerChoiceTest, KeyboardChoosesAndEscapeCancels) {
    m_store->write("Start", "Skaner", "test:0");
    m_store->sync();
    const QList<ScannerDevice> devices = Scanner().devices();
    {
        ScannerChoiceDialog dialog(devices, *m_store);
        dialog.show();
        QListWidget* list = listOf(&dialog);
        list->setFocus();
        clickRow(list, rowOf(list, "pnm:0"));
        QTest::keyClick(list, Qt::Key_Escape);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(storedScanner(), "test:0");
    }
    {
        ScannerChoiceDialog dialog(devices, *m_store);
        dialog.show();
        QListWidget* list = listOf(&dialog);
        list->setFocus();
        list->setCurrentRow(rowOf(list, "pnm:1"));
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(storedScanner(), "pnm:1");
    }
    {
        // Double click on a row chooses it too.
        ScannerChoiceDialog dialog(devices, *m_store);
        dialog.show();
        QListWidget* list = listOf(&dialog);
        const QRect r = list->visualItemRect(list->item(rowOf(list, "test:1")));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(storedScanner(), "test:1");
    }
}

TEST_F(ScannerChoiceTest, TheChooseScannerActionShowsTheModalList) {
    QString shownTitle;
    int shownRows = 0;
    auto chooser = whenModalShown([&](QWidget* modal) {
        shownTitle = modal->windowTitle();
        QListWidget* list = listOf(modal);
        if (!list) return;
        shownRows = list->count();
        list->setCurrentRow(rowOf(list, "pnm:1"));
        QTest::mouseClick(button(modal, "CommandOK"), Qt::LeftButton);
    });
    EXPECT_TRUE(WskazSkaner(nullptr, *m_store));
    EXPECT_EQ(shownTitle, "Wybór skanera");
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
        dialogShown = true;
        modal->close();
    });
    EXPECT_FALSE(WskazSkaner(nullptr, *m_store));
    SaneTestConfig::SetBackends({QStringLiteral("test"), QStringLiteral("pnm")});
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0].text,
              QStringLiteral("Brak dostępnych skanerów. Podłącz skaner lub zainstaluj odpowiednie sterowniki !"));
    EXPECT_EQ(m_messages[0].style, 16);
    EXPECT_EQ(m_messages[0].alignment, 2);
    EXPECT_FALSE(m_messages[0].question);
    EXPECT_EQ(storedScanner(), "test:0");
    QTest::qWait(100);
    EXPECT_FALSE(dialogShown);
}
