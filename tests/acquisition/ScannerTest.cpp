#include "acquisition/sane/ScanFrames.h"
#include "acquisition/sane/Scanner.h"

#include "acquisition/SaneTestConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstring>

using namespace kartovo;
using kartovo::testing::SaneTestConfig;

namespace {

ScanFrame frame(FrameFormat format, int depth, int width, int bytesPerLine, int lines, QByteArray data) {
    ScanFrame f;
    f.format = format;
    f.depth = depth;
    f.pixelsPerLine = width;
    f.bytesPerLine = bytesPerLine;
    f.lines = lines;
    f.data = std::move(data);
    return f;
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray a;
    for (int v : values) a.append(char(v));
    return a;
}

QByteArray native16(std::initializer_list<int> values) {
    QByteArray a;
    for (int v : values) {
        const quint16 s = quint16(v);
        a.append(reinterpret_cast<const char*>(&s), 2);
    }
    return a;
}

int bitsPerPixel(const QString& path) {
    QFile f(path);
    const QByteArray b = f.open(QIODevice::ReadOnly) ? f.read(30) : QByteArray();
    return b.size() == 30 && b.startsWith("BM") ? qFromLittleEndian<quint16>(b.constData() + 28) : 0;
}

bool allPixels(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF)) return false;
    return true;
}

} // namespace

// ---- Frames into pictures ------------------------------------------------

TEST(AssembleFrames, EachKindOfFrameGivesItsPixels) {
    using F = FrameFormat;
    const struct {
        const char* what;
        QList<ScanFrame> frames;
        QSize size; // empty: no picture
        QList<std::tuple<int, int, QRgb>> pixels;
    } cases[] = {
        {"padding at each line's end",
         {frame(F::Rgb, 8, 2, 8, 2, bytes({10, 20, 30, 40, 50, 60, 0xEE, 0xEE, 70, 80, 90, 100, 110, 120, 0xEE, 0xEE}))},
         {2, 2}, {{0, 0, qRgb(10, 20, 30)}, {1, 0, qRgb(40, 50, 60)}, {0, 1, qRgb(70, 80, 90)}, {1, 1, qRgb(100, 110, 120)}}},
        {"16-bit grey in host order", {frame(F::Gray, 16, 3, 6, 1, native16({0, 0x8000, 0xFFFF}))},
         {3, 1}, {{0, 0, qRgb(0, 0, 0)}, {1, 0, qRgb(128, 128, 128)}, {2, 0, qRgb(255, 255, 255)}}},
        {"16-bit colour", {frame(F::Rgb, 16, 1, 6, 1, native16({0x1234, 0xFF00, 0x00FF}))}, {1, 1},
         {{0, 0, qRgb(0x12, 0xFE, 1)}}},
        // Bits 1100000001: a set grey bit is ink, a set colour bit is light.
        {"1-bit grey", {frame(F::Gray, 1, 10, 2, 1, bytes({0xC0, 0x40}))}, {10, 1},
         {{0, 0, qRgb(0, 0, 0)}, {1, 0, qRgb(0, 0, 0)}, {2, 0, qRgb(255, 255, 255)}, {8, 0, qRgb(255, 255, 255)},
          {9, 0, qRgb(0, 0, 0)}}},
        {"1-bit colour", {frame(F::Rgb, 1, 2, 1, 1, bytes({0x8C}))}, {2, 1},
         {{0, 0, qRgb(255, 0, 0)}, {1, 0, qRgb(0, 255, 255)}}},
        {"three passes in any order",
         {frame(F::Blue, 8, 2, 2, 1, bytes({3, 6})), frame(F::Red, 8, 2, 2, 1, bytes({1, 4})),
          frame(F::Green, 8, 2, 2, 1, bytes({2, 5}))},
         {2, 1}, {{0, 0, qRgb(1, 2, 3)}, {1, 0, qRgb(4, 5, 6)}}},
        // A hand scanner does not know its length; a partial last line is dropped.
        {"unknown height", {frame(F::Gray, 8, 2, 2, -1, bytes({1, 2, 3, 4, 5}))}, {2, 2}, {{1, 1, qRgb(4, 4, 4)}}},
        {"cut short", {frame(F::Gray, 8, 2, 2, 10, bytes({1, 2, 3, 4}))}, {2, 2}, {}},
        {"nothing", {}, {}, {}},
        {"a colour missing", {frame(F::Red, 8, 2, 2, 1, bytes({1, 4})), frame(F::Green, 8, 2, 2, 1, bytes({2, 5}))}, {}, {}},
        {"lines shorter than their pixels", {frame(F::Rgb, 8, 2, 5, 1, bytes({1, 2, 3, 4, 5}))}, {}, {}},
        {"4-bit samples", {frame(F::Gray, 4, 2, 1, 1, bytes({0x12}))}, {}, {}},
        {"planes of different widths",
         {frame(F::Red, 8, 2, 2, 1, bytes({1, 2})), frame(F::Green, 8, 1, 1, 1, bytes({1})),
          frame(F::Blue, 8, 2, 2, 1, bytes({1, 2}))},
         {}, {}},
        {"no data", {frame(F::Gray, 8, 4, 4, 3, {})}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QImage image = AssembleFrames(c.frames, 150);
        EXPECT_EQ(image.isNull() ? QSize() : image.size(), c.size);
        if (image.isNull()) continue;
        EXPECT_EQ(image.dotsPerMeterX(), 5906);
        for (const auto& [x, y, rgb] : c.pixels) EXPECT_EQ(image.pixel(x, y) & 0xFFFFFF, rgb & 0xFFFFFF) << x << "," << y;
    }
}

// ---- Through the scanner library's virtual devices -------------------------

class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override { SaneTestConfig::Install(); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // The virtual device keeps option values from one opening to the next,
    // so every scan states those it relies on.
    static ScanSettings testDevice() {
        ScanSettings s;
        s.device = QStringLiteral("test:0");
        s.options = {{QStringLiteral("depth"), 8}, {QStringLiteral("test-picture"), QStringLiteral("Color pattern")},
                     {QStringLiteral("read-limit"), false}, {QStringLiteral("read-delay"), false}};
        return s;
    }

    // A page that trickles in: the device pauses after every piece it sends.
    static ScanSettings slowTestDevice() {
        ScanSettings s = testDevice();
        s.options += {{QStringLiteral("read-limit"), true}, {QStringLiteral("read-limit-size"), 64},
                      {QStringLiteral("read-delay"), true}, {QStringLiteral("read-delay-duration"), 200000}};
        return s;
    }

    // The file device serves a picture file as if it had been scanned.
    static ScanSettings pnmDevice(const QString& file) {
        ScanSettings s;
        s.device = QStringLiteral("pnm:0");
        s.options = {{QStringLiteral("filename"), file}, {QStringLiteral("status"), true}};
        return s;
    }

    QTemporaryDir m_dir;
};

// One page end to end: the devices listed, a colour page at 150 dpi written as
// a 24-bit bitmap, with the device's own progress.
TEST_F(ScannerTest, ListsTheDevicesAndAcquiresAPageIntoATwentyFourBitBitmap) {
    Scanner scanner;
    QSignalSpy listed(&scanner, &Scanner::devicesListed);
    ASSERT_TRUE(scanner.listDevicesAsync());
    ASSERT_TRUE(listed.wait(30000));
    QStringList names;
    for (const ScannerDevice& d : listed.first().first().value<QList<ScannerDevice>>()) names << d.description();
    names.sort();
    EXPECT_EQ(names.size(), 4);
    EXPECT_TRUE(names.contains(QStringLiteral("Noname frontend-tester (test:1)"))) << names.join(u'|').toStdString();

    QSignalSpy progress(&scanner, &Scanner::progress);
    const QString file = path(QStringLiteral("temp.bmp"));
    ASSERT_EQ(scanner.acquireToFile(file, testDevice()), ScanOk);
    EXPECT_EQ(bitsPerPixel(file), 24);
    const QImage image(file); // the virtual page is 80 mm x 100 mm
    EXPECT_EQ(image.size(), QSize(472, 590));
    EXPECT_EQ(image.dotsPerMeterX(), 5906);
    EXPECT_FALSE(allPixels(image, image.pixel(0, 0)));
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().first().toInt(), 100);
}

// Failures come from the file device: unlike the virtual tester it reads in
// the caller's thread, so a failed page leaves no reader behind to be stopped.
// A failed scan leaves the earlier picture at the path as it was.
TEST_F(ScannerTest, AFailingScanReturnsNonZeroAndLeavesTheFileAlone) {
    Scanner scanner;
    const QString file = path(QStringLiteral("temp.bmp"));
    const QString picture = path(QStringLiteral("card.ppm"));
    QImage card(8, 6, QImage::Format_RGB888);
    card.fill(Qt::darkCyan);
    ASSERT_TRUE(card.save(picture, "PPM"));
    QFile earlier(file);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier card");
    earlier.close();
    ScanSettings missing = testDevice();
    missing.device = QStringLiteral("test:7");
    QList<std::pair<ScanSettings, int>> cases = {{pnmDevice(path(QStringLiteral("no-such.ppm"))), ScanDeviceError},
                                                 {missing, ScanOpenFailed}};
    for (const char* status : {"status-jammed", "status-ioerror", "status-nodocs", "status-coveropen"}) {
        cases.append({pnmDevice(picture), ScanDeviceError});
        cases.last().first.options += {{QString::fromLatin1(status), true}};
    }
    for (const auto& [settings, result] : cases) {
        EXPECT_EQ(scanner.acquireToFile(file, settings), result) << settings.device.toStdString();
        ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
        EXPECT_EQ(earlier.readAll(), "earlier card");
        earlier.close();
    }
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList({"card.ppm", "temp.bmp"}));
    // The same device without a fault scans.
    ASSERT_EQ(scanner.acquireToFile(file, pnmDevice(picture)), ScanOk);
    EXPECT_EQ(QImage(file).convertToFormat(QImage::Format_RGB888), card);
}

// A running scan ends without a file when cancelled (the scanner is usable
// again) and when the scanner is destroyed; one scan at a time.
TEST_F(ScannerTest, CancellingOrDestroyingEndsARunningScanWithoutAFile) {
    const QString file = path(QStringLiteral("temp.bmp"));
    {
        Scanner scanner;
        QSignalSpy progress(&scanner, &Scanner::progress);
        QSignalSpy finished(&scanner, &Scanner::finished);
        ASSERT_TRUE(scanner.acquireToFileAsync(file, slowTestDevice()));
        EXPECT_TRUE(scanner.busy());
        EXPECT_FALSE(scanner.acquireToFileAsync(file, slowTestDevice()));
        EXPECT_EQ(scanner.acquireToFile(file, testDevice()), ScanBusy);
        ASSERT_TRUE(progress.wait(20000));
        scanner.cancel();
        ASSERT_TRUE(finished.wait(20000));
        EXPECT_EQ(finished.first().first().toInt(), ScanCancelled);
        EXPECT_LT(progress.last().first().toInt(), 100);
        EXPECT_FALSE(QFileInfo::exists(file));
        EXPECT_FALSE(scanner.busy());
        ASSERT_TRUE(scanner.acquireToFileAsync(file, slowTestDevice()));
        ASSERT_TRUE(progress.wait(20000));
    }
    EXPECT_FALSE(QFileInfo::exists(file));
}

// The library reads its configuration when it starts, that is when the first
// scanner object appears after all earlier ones have gone.
TEST_F(ScannerTest, WithoutAnyDeviceEverythingFailsQuickly) {
    const QString file = path(QStringLiteral("temp.bmp"));
    SaneTestConfig::SetBackends({});
    {
        Scanner scanner;
        EXPECT_TRUE(scanner.devices().isEmpty());
        EXPECT_FALSE(scanner.available());
        EXPECT_EQ(scanner.acquireToFile(file, ScanSettings()), ScanNoDevice);
        EXPECT_FALSE(QFileInfo::exists(file));
        QSignalSpy finished(&scanner, &Scanner::finished);
        ASSERT_TRUE(scanner.acquireToFileAsync(file, ScanSettings()));
        ASSERT_TRUE(finished.wait(30000));
        EXPECT_EQ(finished.first().first().toInt(), ScanNoDevice);
        EXPECT_FALSE(QFileInfo::exists(file));
    }
    // With no device chosen the first one listed scans.
    SaneTestConfig::SetBackends({QStringLiteral("test")});
    {
        Scanner scanner;
        ASSERT_EQ(scanner.devices().size(), 2);
        EXPECT_EQ(scanner.acquireToFile(file, ScanSettings()), ScanOk);
        EXPECT_EQ(QImage(file).width(), 472);
    }
    SaneTestConfig::SetBackends({QStringLiteral("test"), QStringLiteral("pnm")});
    Scanner scanner;
    EXPECT_EQ(scanner.devices().size(), 4);
}
