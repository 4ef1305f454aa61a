// Frames into pictures, and scanning end to end on the scanner library's virtual devices.
#include "acquisition/ScannerSettings.h"
#include "acquisition/sane/ScanFrames.h"
#include "acquisition/sane/Scanner.h"
#include "acquisition/ui/ScannerChoiceDialog.h"
#include "platform/SettingsStore.h"

#include "acquisition/SaneTestConfig.h"
#include "common/TestHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

// Bytes, or 16-bit samples in host order as the library hands them over.
QByteArray Bytes(std::initializer_list<int> values, bool wide = false) {
    QByteArray a;
    for (int v : values) {
        const quint16 s = quint16(v);
        wide ? a.append(reinterpret_cast<const char*>(&s), 2) : a.append(char(v));
    }
    return a;
}

} // namespace

TEST(AssembleFrames, EachKindOfFrameGivesItsPixels) {
    using F = FrameFormat;
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    const struct {
        const char* what;
        QList<ScanFrame> frames; // format, depth, width, bytes per line, lines, data
        QSize size;              // empty: no picture
        QList<std::tuple<int, int, QRgb>> pixels;
    } cases[] = {
        {"padding at each line's end",
         {{F::Rgb, 8, 2, 8, 2, Bytes({10, 20, 30, 40, 50, 60, 0xEE, 0xEE, 70, 80, 90, 100, 110, 120, 0xEE, 0xEE})}},
         {2, 2}, {{0, 0, qRgb(10, 20, 30)}, {1, 0, qRgb(40, 50, 60)}, {0, 1, qRgb(70, 80, 90)}, {1, 1, qRgb(100, 110, 120)}}},
        {"16-bit grey", {{F::Gray, 16, 3, 6, 1, Bytes({0, 0x8000, 0xFFFF}, true)}}, {3, 1},
         {{0, 0, black}, {1, 0, qRgb(128, 128, 128)}, {2, 0, white}}},
        {"16-bit colour", {{F::Rgb, 16, 1, 6, 1, Bytes({0x1234, 0xFF00, 0x00FF}, true)}}, {1, 1}, {{0, 0, qRgb(0x12, 0xFE, 1)}}},
        // Bits 1100000001: a set grey bit is ink, a set colour bit is light.
        {"1-bit grey", {{F::Gray, 1, 10, 2, 1, Bytes({0xC0, 0x40})}}, {10, 1},
         {{0, 0, black}, {1, 0, black}, {2, 0, white}, {8, 0, white}, {9, 0, black}}},
        {"1-bit colour", {{F::Rgb, 1, 2, 1, 1, Bytes({0x8C})}}, {2, 1}, {{0, 0, qRgb(255, 0, 0)}, {1, 0, qRgb(0, 255, 255)}}},
        {"three passes in any order",
         {{F::Blue, 8, 2, 2, 1, Bytes({3, 6})}, {F::Red, 8, 2, 2, 1, Bytes({1, 4})}, {F::Green, 8, 2, 2, 1, Bytes({2, 5})}},
         {2, 1}, {{0, 0, qRgb(1, 2, 3)}, {1, 0, qRgb(4, 5, 6)}}},
        // A hand scanner does not know its length; a partial last line is dropped.
        {"unknown height", {{F::Gray, 8, 2, 2, -1, Bytes({1, 2, 3, 4, 5})}}, {2, 2}, {{1, 1, qRgb(4, 4, 4)}}},
        {"cut short", {{F::Gray, 8, 2, 2, 10, Bytes({1, 2, 3, 4})}}, {2, 2}, {}},
        {"nothing", {}, {}, {}}, {"no data", {{F::Gray, 8, 4, 4, 3, {}}}, {}, {}},
        {"a colour missing", {{F::Red, 8, 2, 2, 1, Bytes({1, 4})}, {F::Green, 8, 2, 2, 1, Bytes({2, 5})}}, {}, {}},
        {"lines shorter than their pixels", {{F::Rgb, 8, 2, 5, 1, Bytes({1, 2, 3, 4, 5})}}, {}, {}},
        {"4-bit samples", {{F::Gray, 4, 2, 1, 1, Bytes({0x12})}}, {}, {}},
        {"planes of different widths",
         {{F::Red, 8, 2, 2, 1, Bytes({1, 2})}, {F::Green, 8, 1, 1, 1, Bytes({1})}, {F::Blue, 8, 2, 2, 1, Bytes({1, 2})}}, {}, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QImage image = AssembleFrames(c.frames, 150);
        EXPECT_EQ(image.isNull() ? QSize() : image.size(), c.size);
        if (image.isNull()) continue;
        EXPECT_EQ(image.dotsPerMeterX(), 5906);
        for (const auto& [x, y, rgb] : c.pixels) EXPECT_EQ(image.pixel(x, y) & 0xFFFFFF, rgb & 0xFFFFFF) << x << "," << y;
    }
}

// A colour page into a 24-bit bitmap; a failed scan leaves the last picture, a cancelled one writes none.
TEST(Scanner, PagesEndToEnd) {
    SaneTestConfig::install();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("temp.bmp")), picture = dir.filePath(QStringLiteral("card.ppm"));
    const QString gone = dir.filePath(QStringLiteral("slow.bmp"));
    const QImage card = Filled(8, 6, Qt::darkCyan);
    ASSERT_TRUE(card.save(picture, "PPM"));
    // The virtual device keeps option values between openings: every scan states those it needs.
    ScanSettings test;
    test.device = QStringLiteral("test:0");
    test.options = {{QStringLiteral("depth"), 8}, {QStringLiteral("test-picture"), QStringLiteral("Color pattern")},
                    {QStringLiteral("read-limit"), false}, {QStringLiteral("read-delay"), false}};
    auto pnm = [&](const QString& path, const char* fault) {
        ScanSettings s;
        s.device = QStringLiteral("pnm:0");
        s.options = {{QStringLiteral("filename"), path}, {QStringLiteral("status"), true}, {QString::fromLatin1(fault), true}};
        return s;
    };
    {
        Scanner scanner;
        QSignalSpy progress(&scanner, &Scanner::progress);
        ASSERT_EQ(scanner.acquireToFile(file, test), ScanOk);
        const QByteArray scanned = ReadFile(file);
        ASSERT_GT(scanned.size(), 30);
        EXPECT_EQ(qFromLittleEndian<quint16>(scanned.constData() + 28), 24); // bits per pixel
        const QImage image(file); // the virtual page is 80 mm x 100 mm
        EXPECT_EQ(image.size(), QSize(472, 590));
        QImage flat(image.size(), image.format());
        flat.fill(image.pixel(0, 0));
        EXPECT_NE(image, flat); // a pattern, not one colour
        EXPECT_TRUE(!progress.isEmpty() && progress.last().first().toInt() == 100);
        ScanSettings missing = test;
        missing.device = QStringLiteral("test:7");
        const std::pair<ScanSettings, int> failing[] = {{missing, ScanOpenFailed},
                                                       {pnm(dir.filePath(QStringLiteral("brak.ppm")), "status"), ScanDeviceError},
                                                       {pnm(picture, "status-jammed"), ScanDeviceError}};
        for (const auto& [settings, result] : failing) {
            EXPECT_EQ((std::pair{scanner.acquireToFile(file, settings), ReadFile(file)}), std::pair(result, scanned)) << settings.device.toStdString();
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"card.ppm", "temp.bmp"}));
        ASSERT_EQ(scanner.acquireToFile(file, pnm(picture, "status")), ScanOk);
        EXPECT_EQ(QImage(file).convertToFormat(QImage::Format_RGB32), card);
        // A page that trickles in; one scan at a time.
        ScanSettings slow = test;
        slow.options += {{QStringLiteral("read-limit"), true}, {QStringLiteral("read-limit-size"), 64},
                         {QStringLiteral("read-delay"), true}, {QStringLiteral("read-delay-duration"), 200000}};
        QSignalSpy finished(&scanner, &Scanner::finished);
        ASSERT_TRUE(scanner.acquireToFileAsync(gone, slow));
        EXPECT_TRUE(scanner.busy() && !scanner.acquireToFileAsync(gone, slow) && scanner.acquireToFile(gone, test) == ScanBusy);
        ASSERT_TRUE(progress.wait(20000));
        scanner.cancel();
        ASSERT_TRUE(finished.wait(20000));
        EXPECT_TRUE(finished.first().first().toInt() == ScanCancelled && progress.last().first().toInt() < 100 && !scanner.busy());
        ASSERT_TRUE(scanner.acquireToFileAsync(gone, slow) && progress.wait(20000));
    } // destroyed while scanning
    EXPECT_FALSE(QFileInfo::exists(gone));
}

// A choice is stored at once, Esc changes nothing; scans take the stored device and resolution.
TEST(ScannerChoice, ChoosingADeviceStoresItForEveryLaterScan) {
    SaneTestConfig::install();
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("NORV_SPC.ini"));
    SettingsStore store(ini);
    MessageRecorder messages;
    const struct {
        const char *preselected, *device; // the one clicked
        Qt::Key key;                      // then: Esc or Enter; none: "OK", or a double click
        bool twice, chosen;
        const char* stored;
    } steps[] = {{"pnm:0", "test:1", Qt::Key_unknown, false, true, "test:1"}, // nothing remembered: the first
                 {"test:1", "pnm:0", Qt::Key_Escape, false, false, "test:1"},
                 {"test:1", "pnm:1", Qt::Key_Return, false, true, "pnm:1"},
                 {"pnm:1", "test:0", Qt::Key_unknown, true, true, "test:0"}};
    for (const auto& s : steps) {
        QString current;
        int count = 0;
        auto chooser = WhenModalShown([&](QWidget* modal) {
            QListWidget* l = modal->findChild<QListWidget*>();
            current = l->currentItem()->text();
            count = l->count();
            const auto rows = l->findItems(QStringLiteral("(%1)").arg(QLatin1String(s.device)), Qt::MatchEndsWith);
            const QPoint at = l->visualItemRect(rows.first()).center();
            QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, at);
            if (s.twice)
                QTest::mouseDClick(l->viewport(), Qt::LeftButton, {}, at);
            else if (s.key != Qt::Key_unknown)
                QTest::keyClick(l, s.key);
            else
                QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("CommandOK")), Qt::LeftButton);
        });
        EXPECT_EQ(WskazSkaner(nullptr, store), s.chosen) << s.device;
        EXPECT_TRUE(current.endsWith(QStringLiteral("(%1)").arg(QLatin1String(s.preselected)))) << current.toStdString();
        EXPECT_EQ(std::pair(count, SettingsStore(ini).read(QStringLiteral("Start"), QStringLiteral("Skaner"))), std::pair(4, QString::fromUtf8(s.stored))); // in the file
    }
    for (const auto& [text, dpi] : {std::pair{"300", 300}, {"0", 150}, {"-75", 150}, {"abc", 150}, {"", 150}}) {
        store.write("Start", "Rozdzielczosc", text);
        EXPECT_EQ(std::pair(ScanSettingsFromStore(store).resolution, ScanSettingsFromStore(store).device),
                  std::pair(dpi, QStringLiteral("test:0"))) << text;
    }
    const QString file = dir.filePath(QStringLiteral("temp.bmp"));
    SaneTestConfig::SetBackends({});
    EXPECT_EQ(Scanner().acquireToFile(file, ScanSettings()), ScanNoDevice);
    bool listShown = false;
    auto watcher = WhenModalShown([&](QWidget* modal) { listShown = modal->close(); });
    EXPECT_FALSE(WskazSkaner(nullptr, store) || listShown || QFileInfo::exists(file));
    EXPECT_TRUE(messages.texts(false) == QStringList{kNoScannerMessage} && ScanSettingsFromStore(store).device == "test:0");
    SaneTestConfig::SetBackends("test\n");
    EXPECT_EQ(Scanner().acquireToFile(file, ScanSettings()), ScanOk);
    SaneTestConfig::install();
}
