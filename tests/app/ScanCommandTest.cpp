#include "CardWindowSupport.h"

#include "acquisition/SaneTestConfig.h"
#include "app/ui/ScanController.h"

#include <QListWidget>
#include <QSignalSpy>
#include <tuple>

namespace kartovo::test {
namespace {

// The window with the scanner library limited to its virtual test and file devices.
class ScanCommandTest : public CardWindowTest {
protected:
    void SetUp() override {
        kartovo::testing::SaneTestConfig::install();
        CardWindowTest::SetUp();
        m_scans = m_window->findChild<ScanController*>();
        ASSERT_NE(m_scans, nullptr);
    }
    ScanController* m_scans = nullptr;
};

// The chosen scanner and resolution reach the device; a failed scan drops the card before it and
// leaves nothing to read; a scanned card is ready to read; while the device works the commands wait.
TEST_F(ScanCommandTest, ScansFromTheChosenScannerFailedAndRead) {
    auto chooser = testing::WhenModalShown([](QWidget* modal) {
        auto* list = modal->findChild<QListWidget*>(QStringLiteral("List1"));
        for (int i = 0; list && i < list->count(); ++i)
            if (list->item(i)->text().endsWith(QStringLiteral("(test:1)"))) list->setCurrentRow(i);
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("CommandOK")), Qt::LeftButton);
    });
    m_window->optionsPanel()->scannerButton()->click();
    EXPECT_EQ(stored(QStringLiteral("Start"), QStringLiteral("Skaner")), QStringLiteral("test:1"));
    StationOptions options = m_window->optionsPanel()->options();
    options.scanResolution = 100;
    m_window->optionsPanel()->applyOptions(options);
    const ScanSettings settings = m_scans->nextScanSettings();
    EXPECT_EQ(std::tie(settings.device, settings.resolution, settings.mode),
              std::tuple(QStringLiteral("test:1"), 100, QStringLiteral("Color")));

    const QString page = m_dir.filePath(QStringLiteral("skan.ppm"));
    ASSERT_TRUE(render(cardSpec(9, 9)).convertToFormat(QImage::Format_RGB888).save(page, "PPM"));
    set(QStringLiteral("Start"), QStringLiteral("Skaner"), QStringLiteral("pnm:0"));
    for (const QString& file : {m_dir.filePath(QStringLiteral("nie-ma.ppm")), page}) {
        SCOPED_TRACE(file.toStdString());
        const bool read = file == page;
        choose(write(1, {}, QStringLiteral("wczesniejsza.png"))); // parameter 1; the scan brings 9
        ASSERT_TRUE(m_window->cards()->card().DialogAccepted);
        m_messages.clear();
        m_scans->setDeviceOptions({{QStringLiteral("filename"), file}, {QStringLiteral("status"), true}});
        QSignalSpy ended(m_scans, &ScanController::scanEnded);
        control<QPushButton>("Command2")->setFocus();
        QTest::keyClick(control<QPushButton>("Command2"), Qt::Key_Return); // Enter on the focused button
        ASSERT_TRUE(m_scans->busy());
        EXPECT_FALSE(m_scans->Command2Click());
        const qsizetype dialogs = m_dialogCalls.size();
        QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
        EXPECT_EQ(m_dialogCalls.size(), dialogs);
        ASSERT_TRUE(ended.wait(60000));
        ASSERT_TRUE(waitForCard());
        EXPECT_EQ(ended.first().first().toInt() == ScanOk, read);
        EXPECT_EQ(m_window->cards()->card().DialogAccepted, read);
        EXPECT_EQ(QFileInfo::exists(tempBmp()), read);
        EXPECT_EQ(control("P1")->isVisible(), read);
        EXPECT_EQ(control("Command7")->isEnabled(), read);
        EXPECT_TRUE(control("Command2")->isEnabled() && control("Command4")->isEnabled());
        EXPECT_TRUE(m_messages.empty());
    }
    EXPECT_EQ(m_window->cards()->card().CardParameter.ID.toInt(), 9);
    EXPECT_TRUE(m_window->cards()->scannerSource());
    EXPECT_EQ(status(), QStringLiteral("Gotowy do czytania"));
}

} // namespace
} // namespace kartovo::test
