#include "CardWindowSupport.h"

#include "acquisition/SaneTestConfig.h"
#include "app/ui/ScanController.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <tuple>

namespace kartovo::test {
namespace {

using kartovo::testing::SaneTestConfig;

constexpr int kScanTimeout = 60000;

// The window with the scanner library limited to its virtual test and file devices.
class ScanCommandTest : public CardWindowTest {
protected:
    void SetUp() override {
        SaneTestConfig::Install();
        CardWindowTest::SetUp();
        m_scans = m_window->findChild<ScanController*>();
        ASSERT_NE(m_scans, nullptr);
    }

    // The file device serving `file` as the scanned page.
    void scanFromFile(const QString& file) {
        set(QStringLiteral("Start"), QStringLiteral("Skaner"), QStringLiteral("pnm:0"));
        m_scans->setDeviceOptions({{QStringLiteral("filename"), file}, {QStringLiteral("status"), true}});
    }
    // The virtual device's colour test pattern, 80 x 100 mm; `slow` trickles it in.
    void scanTestPattern(bool slow = false) {
        set(QStringLiteral("Start"), QStringLiteral("Skaner"), QStringLiteral("test:0"));
        QList<QPair<QString, QVariant>> o{{QStringLiteral("test-picture"), QStringLiteral("Color pattern")}};
        if (slow)
            o += {{QStringLiteral("read-limit"), true},
                  {QStringLiteral("read-limit-size"), 64},
                  {QStringLiteral("read-delay"), true},
                  {QStringLiteral("read-delay-duration"), 200000}};
        m_scans->setDeviceOptions(o);
    }

    // A card loaded through "&Plik", ready to read.
    void loadEarlierCard() {
        const QString path = m_dir.filePath(QStringLiteral("wczesniejsza.png"));
        ASSERT_TRUE(render(cardSpec(1)).save(path));
        choose(path);
        ASSERT_TRUE(m_window->cards()->card().DialogAccepted);
    }

    ScanController* m_scans = nullptr;
};

// The chosen scanner and resolution reach the device; a failed or cancelled scan leaves nothing to
// read; a scanned card reaches ready to read while the commands wait.
TEST_F(ScanCommandTest, ScansFromTheChosenScannerFailedCancelledAndRead) {
    scanTestPattern();
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
    QSignalSpy pattern(m_scans, &ScanController::scanEnded);
    control<QPushButton>("Command2")->click();
    ASSERT_TRUE(pattern.wait(kScanTimeout));
    EXPECT_EQ(pattern.first().first().toInt(), ScanOk);
    ASSERT_TRUE(waitForCard());
    ASSERT_FALSE(m_messages.empty());
    EXPECT_FALSE(m_messages[0].question);
    EXPECT_FALSE(m_window->cards()->card().DialogAccepted);
    EXPECT_EQ(status(), CardPipeline::RefusedStatusText(m_window->cards()->card()));

    for (const bool cancelled : {false, true}) {
        SCOPED_TRACE(cancelled);
        loadEarlierCard();
        m_messages.clear();
        QSignalSpy ended(m_scans, &ScanController::scanEnded);
        if (cancelled) scanTestPattern(true);
        else scanFromFile(m_dir.filePath(QStringLiteral("nie-ma.ppm")));
        control<QPushButton>("Command2")->click();
        ASSERT_TRUE(m_scans->busy());
        if (cancelled) m_scans->cancelScan();
        ASSERT_TRUE(ended.wait(kScanTimeout));
        EXPECT_EQ(ended.first().first().toInt() == ScanCancelled, cancelled);
        EXPECT_NE(ended.first().first().toInt(), ScanOk);
        EXPECT_FALSE(m_window->cards()->card().DialogAccepted);
        EXPECT_FALSE(QFileInfo::exists(tempBmp()));
        EXPECT_FALSE(control("P1")->isVisible());
        for (const char* name : {"Command7", "Command10", "Command11", "Command12"})
            EXPECT_FALSE(control(name)->isEnabled()) << name;
        EXPECT_TRUE(control("Command2")->isEnabled()) << "the next scan can start";
        EXPECT_FALSE(m_scans->busy());
        EXPECT_TRUE(m_messages.empty());
    }

    const QString page = m_dir.filePath(QStringLiteral("skan.ppm"));
    ASSERT_TRUE(render(cardSpec(9, 9)).convertToFormat(QImage::Format_RGB888).save(page, "PPM"));
    scanFromFile(page);
    loadEarlierCard(); // parameter 1; the scan must bring parameter 9
    QSignalSpy scanned(m_scans, &ScanController::scanEnded);
    // Enter on the focused button is a click.
    control<QPushButton>("Command2")->setFocus();
    QTest::keyClick(control<QPushButton>("Command2"), Qt::Key_Return);
    ASSERT_TRUE(m_scans->busy());
    EXPECT_TRUE(status().startsWith(QStringLiteral("Skanowanie: ")));
    // While the device works no second scan and no file can start.
    EXPECT_FALSE(m_scans->Command2Click());
    const qsizetype dialogs = m_dialogCalls.size();
    QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
    EXPECT_EQ(m_dialogCalls.size(), dialogs);
    ASSERT_TRUE(scanned.wait(kScanTimeout));
    EXPECT_EQ(scanned.first().first().toInt(), ScanOk);
    ASSERT_TRUE(waitForCard());
    const CardState& card = m_window->cards()->card();
    EXPECT_TRUE(card.DialogAccepted);
    EXPECT_EQ(card.ImagePath, tempBmp());
    EXPECT_EQ(card.CardParameter.value(QStringLiteral("ID")).toInt(), 9);
    EXPECT_TRUE(m_window->cards()->scannerSource());
    EXPECT_EQ(status(), QStringLiteral("Gotowy do czytania"));
    EXPECT_TRUE(control("P1")->isVisible());
    for (const char* name : {"Command2", "Command4"}) EXPECT_TRUE(control(name)->isEnabled()) << name;
    EXPECT_TRUE(m_messages.empty());
}

} // namespace
} // namespace kartovo::test
