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

// Bits per pixel and size recorded in a Windows bitmap file's header.
struct BitmapHeader {
    int bitsPerPixel = 0;
    int width = 0;
    int height = 0;
    int pixelsPerMetre = 0;
};

BitmapHeader readBitmapHeader(const QString& path) {
    QFile f(path);
    BitmapHeader h;
    if (!f.open(QIODevice::ReadOnly)) return h;
    const QByteArray b = f.read(54);
    if (b.size() < 54 || !b.startsWith("BM")) return h;
    h.width = qFromLittleEndian<qint32>(b.constData() + 18);
    h.height = qFromLittleEndian<qint32>(b.constData() + 22);
    h.bitsPerPixel = qFromLittleEndian<quint16>(b.constData() + 28);
    h.pixelsPerMetre = qFromLittleEndian<qint32>(b.constData() + 38);
    return h;
}

bool allPixels(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF)) return false;
    return true;
}

} // namespace

// ---- Frames into pictures ------------------------------------------------

TEST(AssembleFrames, SkipsThePaddingAtTheEndOfEachLine) {
    // Two RGB pixels per line, two bytes of padding after each line.
    const QImage image = AssembleFrames({frame(FrameFormat::Rgb, 8, 2, 8, 2,
                                               bytes({10, 20, 30, 40, 50, 60, 0xEE, 0xEE,
                                                      70, 80, 90, 100, 110, 120, 0xEE, 0xEE}))});
    ASSERT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, qRgb(10, 20, 30) & 0xFFFFFF);
    EXPECT_EQ(image.pixel(1, 0) & 0xFFFFFF, qRgb(40, 50, 60) & 0xFFFFFF);
    EXPECT_EQ(image.pixel(0, 1) & 0xFFFFFF, qRgb(70, 80, 90) & 0xFFFFFF);
    EXPECT_EQ(image.pixel(1, 1) & 0xFFFFFF, qRgb(100, 110, 120) & 0xFFFFFF);
}

TEST(AssembleFrames, ScalesSixteenBitSamplesInHostOrder) {
    const QImage gray = AssembleFrames({frame(FrameFormat::Gray, 16, 3, 6, 1, native16({0, 0x8000, 0xFFFF}))});
    ASSERT_FALSE(gray.isNull());
    EXPECT_EQ(qRed(gray.pixel(0, 0)), 0);
    EXPECT_EQ(qGreen(gray.pixel(1, 0)), 128);
    EXPECT_EQ(qBlue(gray.pixel(2, 0)), 255);

    const QImage rgb = AssembleFrames({frame(FrameFormat::Rgb, 16, 1, 6, 1, native16({0x1234, 0xFF00, 0x00FF}))});
    ASSERT_FALSE(rgb.isNull());
    EXPECT_EQ(qRed(rgb.pixel(0, 0)), 0x12);
    EXPECT_EQ(qGreen(rgb.pixel(0, 0)), 0xFE);
    EXPECT_EQ(qBlue(rgb.pixel(0, 0)), 1);
}

TEST(AssembleFrames, OneBitGreyIsInkWhereTheBitIsSetButOneBitColourIsLight) {
    // 10 pixels: bits 1100000001 then padding to two bytes.
    const QImage art = AssembleFrames({frame(FrameFormat::Gray, 1, 10, 2, 1, bytes({0xC0, 0x40}))});
    ASSERT_EQ(art.width(), 10);
    EXPECT_EQ(art.pixel(0, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(art.pixel(1, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(art.pixel(2, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(art.pixel(8, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(art.pixel(9, 0) & 0xFFFFFF, 0u);

    // Two colour pixels, three bits each: 100 011 -> red, cyan.
    const QImage colour = AssembleFrames({frame(FrameFormat::Rgb, 1, 2, 1, 1, bytes({0x8C}))});
    ASSERT_EQ(colour.width(), 2);
    EXPECT_EQ(colour.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(colour.pixel(1, 0) & 0xFFFFFF, 0x00FFFFu);
}

TEST(AssembleFrames, PutsThreePassFramesTogetherInAnyOrder) {
    const QImage image = AssembleFrames({frame(FrameFormat::Blue, 8, 2, 2, 1, bytes({3, 6})),
                                         frame(FrameFormat::Red, 8, 2, 2, 1, bytes({1, 4})),
                                         frame(FrameFormat::Green, 8, 2, 2, 1, bytes({2, 5}))});
    ASSERT_EQ(image.size(), QSize(2, 1));
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, qRgb(1, 2, 3) & 0xFFFFFF);
    EXPECT_EQ(image.pixel(1, 0) & 0xFFFFFF, qRgb(4, 5, 6) & 0xFFFFFF);

    EXPECT_TRUE(AssembleFrames({frame(FrameFormat::Red, 8, 2, 2, 1, bytes({1, 4})),
                                frame(FrameFormat::Green, 8, 2, 2, 1, bytes({2, 5}))})
                    .isNull());
}

TEST(AssembleFrames, RefusesFramesThatMakeNoPicture) {
    EXPECT_TRUE(AssembleFrames({}).isNull());
    // Lines shorter than their pixels.
    EXPECT_TRUE(AssembleFrames({frame(FrameFormat::Rgb, 8, 2, 5, 1, bytes({1, 2, 3, 4, 5}))}).isNull());
    EXPECT_TRUE(AssembleFrames({frame(FrameFormat::Gray, 4, 2, 1, 1, bytes({0x12}))}).isNull());
    // Colour planes of different widths.
    EXPECT_TRUE(AssembleFrames({frame(FrameFormat::Red, 8, 2, 2, 1, bytes({1, 2})),
                                frame(FrameFormat::Green, 8, 1, 1, 1, bytes({1})),
                                frame(FrameFormat::Blue, 8, 2, 2, 1, bytes({1, 2}))})
                    .isNull());
    // No data at all.
    EXPECT_TRUE(AssembleFrames({frame(FrameFormat::Gray, 8, 4, 4, 3, {})}).isNull());
}

TEST(AssembleFrames, TakesTheHeightFromTheDataWhenItWasUnknownOrCutShort) {
    // A hand scanner does not know its length; a partial last line is dropped.
    const QImage hand = AssembleFrames({frame(FrameFormat::Gray, 8, 2, 2, -1, bytes({1, 2, 3, 4, 5}))});
    EXPECT_EQ(hand.size(), QSize(2, 2));
    const QImage cut = AssembleFrames({frame(FrameFormat::Gray, 8, 2, 2, 10, bytes({1, 2, 3, 4}))});
    EXPECT_EQ(cut.size(), QSize(2, 2));
}

TEST(AssembleFrames, RecordsTheResolution) {
    const QImage image = AssembleFrames({frame(FrameFormat::Gray, 8, 1, 1, 1, bytes({9}))}, 150);
    EXPECT_EQ(image.dotsPerMeterX(), 5906);
    EXPECT_EQ(image.dotsPerMeterY(), 5906);
}

TEST(SaveBitmap24, WritesTwentyFourBitsEvenForGreyAndLeavesNothingOnFailure) {
    QTemporaryDir dir;
    QImage grey(5, 3, QImage::Format_Grayscale8);
    grey.fill(77);
    const QString path = dir.filePath(QStringLiteral("temp.bmp"));
    ASSERT_TRUE(SaveBitmap24(grey, path));
    const BitmapHeader h = readBitmapHeader(path);
    EXPECT_EQ(h.bitsPerPixel, 24);
    EXPECT_EQ(h.width, 5);
    EXPECT_EQ(h.height, 3);
    EXPECT_EQ(QImage(path).pixel(2, 1) & 0xFFFFFF, qRgb(77, 77, 77) & 0xFFFFFF);

    // A null picture does not replace the file that is there.
    const QByteArray before = [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    EXPECT_FALSE(SaveBitmap24(QImage(), path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);

    const QString nowhere = dir.filePath(QStringLiteral("missing/temp.bmp"));
    EXPECT_FALSE(SaveBitmap24(grey, nowhere));
    EXPECT_FALSE(QFileInfo::exists(nowhere));
}

// ---- Through the scanner library's virtual devices -------------------------

class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override { SaneTestConfig::Install(); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    static ScanSettings testDevice(const QString& mode = QStringLiteral("Color"), int depth = 8,
                                  const QString& picture = QStringLiteral("Color pattern")) {
        ScanSettings s;
        s.device = QStringLiteral("test:0");
        s.mode = mode;
        // The virtual device keeps option values from one opening to the next,
        // so every test states all of those it relies on.
        s.options = {{QStringLiteral("hand-scanner"), false},
                     {QStringLiteral("depth"), depth},
                     {QStringLiteral("test-picture"), picture},
                     {QStringLiteral("tl-x"), 0},
                     {QStringLiteral("tl-y"), 0},
                     {QStringLiteral("br-x"), 80},
                     {QStringLiteral("br-y"), 100},
                     {QStringLiteral("three-pass"), false},
                     {QStringLiteral("ppl-loss"), 0},
                     {QStringLiteral("read-limit"), false},
                     {QStringLiteral("read-delay"), false},
                     {QStringLiteral("read-return-value"), QStringLiteral("Default")}};
        return s;
    }

    // A page that trickles in: the device pauses after every piece it sends.
    static ScanSettings slowTestDevice() {
        ScanSettings s = testDevice();
        s.options += {{QStringLiteral("read-limit"), true}, {QStringLiteral("read-limit-size"), 64},
                      {QStringLiteral("read-delay"), true}, {QStringLiteral("read-delay-duration"), 200000}};
        return s;
    }

    // The file device, with everything a test may have changed set back.
    static ScanSettings pnmDevice(const QString& file) {
        ScanSettings s;
        s.device = QStringLiteral("pnm:0");
        s.options = {{QStringLiteral("filename"), file},
                     {QStringLiteral("status"), true},
                     {QStringLiteral("three-pass"), false},
                     {QStringLiteral("grayify"), false},
                     {QStringLiteral("hand-scanner"), false},
                     {QStringLiteral("brightness"), 0},
                     {QStringLiteral("contrast"), 0},
                     {QStringLiteral("custom-gamma"), false}};
        return s;
    }

    QImage scanned(const ScanSettings& settings) {
        Scanner scanner;
        QImage image;
        EXPECT_EQ(scanner.scan(settings, image), ScanOk);
        return image;
    }

    QTemporaryDir m_dir;
};

TEST_F(ScannerTest, ListsTheDevicesWithVendorAndModel) {
    Scanner scanner;
    const QList<ScannerDevice> devices = scanner.devices();
    QStringList names;
    for (const ScannerDevice& d : devices) names << d.name;
    names.sort();
    EXPECT_EQ(names, QStringList({"pnm:0", "pnm:1", "test:0", "test:1"}));
    const auto test = std::find_if(devices.begin(), devices.end(), [](const ScannerDevice& d) { return d.name == "test:1"; });
    ASSERT_NE(test, devices.end());
    EXPECT_EQ(test->vendor, "Noname");
    EXPECT_EQ(test->model, "frontend-tester");
    EXPECT_EQ(test->description(), "Noname frontend-tester (test:1)");
    EXPECT_TRUE(scanner.available());
}

TEST_F(ScannerTest, ListsTheDevicesOffTheCallingThread) {
    Scanner scanner;
    QSignalSpy listed(&scanner, &Scanner::devicesListed);
    ASSERT_TRUE(scanner.listDevicesAsync());
    ASSERT_TRUE(listed.wait(30000));
    EXPECT_EQ(listed.first().first().value<QList<ScannerDevice>>().size(), 4);
}

TEST_F(ScannerTest, AcquiresAColourPageAt150DpiIntoATwentyFourBitBitmap) {
    Scanner scanner;
    QSignalSpy progress(&scanner, &Scanner::progress);
    ScanSettings settings = testDevice(QStringLiteral("Color"), 8, QStringLiteral("Solid white"));
    const QString file = path(QStringLiteral("temp.bmp"));
    ASSERT_EQ(scanner.acquireToFile(file, settings), ScanOk);

    // The virtual page is 80 mm x 100 mm.
    const BitmapHeader h = readBitmapHeader(file);
    EXPECT_EQ(h.bitsPerPixel, 24);
    EXPECT_EQ(h.width, 472);
    EXPECT_EQ(std::abs(h.height), 590);
    EXPECT_EQ(h.pixelsPerMetre, 5906);
    const QImage image(file);
    EXPECT_TRUE(allPixels(image, qRgb(255, 255, 255)));

    // The device's own progress, ending with the whole page.
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().first().toInt(), 100);
    int previous = -1;
    for (const QList<QVariant>& p : progress) {
        EXPECT_GE(p.first().toInt(), previous);
        previous = p.first().toInt();
    }
}

TEST_F(ScannerTest, ConvertsGreyAndLineArtToColour) {
    const QImage white = scanned(testDevice(QStringLiteral("Gray"), 8, QStringLiteral("Solid white")));
    ASSERT_EQ(white.size(), QSize(472, 590));
    EXPECT_TRUE(allPixels(white, qRgb(255, 255, 255)));

    // In line art a set bit is ink: solid black must not come out white.
    const QImage black = scanned(testDevice(QStringLiteral("Gray"), 1, QStringLiteral("Solid black")));
    ASSERT_EQ(black.size(), QSize(472, 590));
    EXPECT_TRUE(allPixels(black, qRgb(0, 0, 0)));

    // The grid pattern looks the same in grey and in line art.
    const QImage grid8 = scanned(testDevice(QStringLiteral("Gray"), 8, QStringLiteral("Grid")));
    const QImage grid1 = scanned(testDevice(QStringLiteral("Gray"), 1, QStringLiteral("Grid")));
    EXPECT_EQ(grid1, grid8);
    EXPECT_FALSE(allPixels(grid8, qRgb(0, 0, 0)));
    EXPECT_FALSE(allPixels(grid8, qRgb(255, 255, 255)));
}

TEST_F(ScannerTest, ReadsSixteenBitSamplesInTheRightByteOrder) {
    const QImage white = scanned(testDevice(QStringLiteral("Color"), 16, QStringLiteral("Solid white")));
    EXPECT_TRUE(allPixels(white, qRgb(255, 255, 255)));

    // The 16-bit colour pattern has a red ramp rising one step per pixel; read
    // in the wrong byte order the low byte would make it jump about.
    const QImage pattern = scanned(testDevice(QStringLiteral("Color"), 16, QStringLiteral("Color pattern")));
    ASSERT_EQ(pattern.size(), QSize(472, 590));
    const int y = 50;
    int previous = qRed(pattern.pixel(60, y));
    const int first = previous;
    for (int x = 61; x < 230; ++x) {
        const int red = qRed(pattern.pixel(x, y));
        ASSERT_GE(red, previous) << "at x " << x;
        ASSERT_LE(red - previous, 2) << "at x " << x;
        previous = red;
    }
    EXPECT_GT(previous - first, 150);
}

TEST_F(ScannerTest, ThreePassFramesGiveTheSamePictureAsOnePass) {
    const QImage onePass = scanned(testDevice());
    ScanSettings threePass = testDevice();
    threePass.options += {{QStringLiteral("three-pass"), true}, {QStringLiteral("three-pass-order"), QStringLiteral("BRG")}};
    const QImage assembled = scanned(threePass);
    ASSERT_EQ(assembled.size(), QSize(472, 590));
    EXPECT_EQ(assembled, onePass);
    EXPECT_FALSE(allPixels(onePass, onePass.pixel(0, 0)));
}

TEST_F(ScannerTest, DropsTheUnusedBytesAtTheEndOfEachLine) {
    const QImage full = scanned(testDevice());
    ScanSettings lossy = testDevice();
    lossy.options += {{QStringLiteral("ppl-loss"), 7}};
    const QImage cut = scanned(lossy);
    ASSERT_EQ(cut.size(), QSize(472 - 7, 590));
    EXPECT_EQ(cut, full.copy(0, 0, 472 - 7, 590));
}

TEST_F(ScannerTest, HandScannerPagesTakeTheirHeightFromTheData) {
    ScanSettings hand = testDevice(QStringLiteral("Gray"), 8, QStringLiteral("Solid white"));
    hand.options += {{QStringLiteral("hand-scanner"), true}};
    const QImage image = scanned(hand);
    EXPECT_GT(image.height(), 0);
    EXPECT_TRUE(allPixels(image, qRgb(255, 255, 255)));
}

// Failures come from the file device: unlike the virtual tester it reads in
// the caller's thread, so a failed page leaves no reader behind to be stopped.
TEST_F(ScannerTest, AFailingScanReturnsNonZeroAndWritesNothing) {
    Scanner scanner;
    const QString file = path(QStringLiteral("temp.bmp"));
    const QString picture = path(QStringLiteral("card.ppm"));
    QImage card(8, 6, QImage::Format_RGB888);
    card.fill(Qt::darkCyan);
    ASSERT_TRUE(card.save(picture, "PPM"));
    ASSERT_EQ(scanner.acquireToFile(file, pnmDevice(picture)), ScanOk);
    ASSERT_TRUE(QFile::remove(file));

    for (const char* status : {"status-jammed", "status-ioerror", "status-nodocs", "status-coveropen"}) {
        ScanSettings failing = pnmDevice(picture);
        failing.options += {{QString::fromLatin1(status), true}};
        EXPECT_EQ(scanner.acquireToFile(file, failing), ScanDeviceError) << status;
        EXPECT_FALSE(QFileInfo::exists(file)) << status;
    }
    EXPECT_EQ(scanner.acquireToFile(file, pnmDevice(path(QStringLiteral("no-such.ppm")))), ScanDeviceError);

    ScanSettings missing = testDevice();
    missing.device = QStringLiteral("test:7");
    EXPECT_EQ(scanner.acquireToFile(file, missing), ScanOpenFailed);
    EXPECT_FALSE(QFileInfo::exists(file));
    // Nothing is left behind next to the file either.
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList({"card.ppm"}));

    // An earlier picture at the path stays as it was.
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("earlier card");
    }
    ScanSettings jammed = pnmDevice(picture);
    jammed.options += {{QStringLiteral("status-jammed"), true}};
    EXPECT_EQ(scanner.acquireToFile(file, jammed), ScanDeviceError);
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "earlier card");
}

TEST_F(ScannerTest, CancellingAScanEndsItWithoutAFile) {
    Scanner scanner;
    QSignalSpy progress(&scanner, &Scanner::progress);
    QSignalSpy finished(&scanner, &Scanner::finished);
    const QString file = path(QStringLiteral("temp.bmp"));
    ASSERT_TRUE(scanner.acquireToFileAsync(file, slowTestDevice()));
    EXPECT_TRUE(scanner.busy());
    EXPECT_FALSE(scanner.acquireToFileAsync(file, slowTestDevice())); // one at a time
    EXPECT_EQ(scanner.acquireToFile(file, testDevice()), ScanBusy);
    ASSERT_TRUE(progress.wait(20000));
    scanner.cancel();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(finished.first().first().toInt(), ScanCancelled);
    EXPECT_LT(progress.last().first().toInt(), 100);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_FALSE(scanner.busy());

    // The scanner is usable again afterwards.
    ASSERT_TRUE(scanner.acquireToFileAsync(file, testDevice()));
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(finished.last().first().toInt(), ScanOk);
    EXPECT_TRUE(QFileInfo::exists(file));
}

TEST_F(ScannerTest, DestroyingTheScannerStopsARunningScan) {
    const QString file = path(QStringLiteral("temp.bmp"));
    {
        Scanner scanner;
        QSignalSpy progress(&scanner, &Scanner::progress);
        ASSERT_TRUE(scanner.acquireToFileAsync(file, slowTestDevice()));
        ASSERT_TRUE(progress.wait(20000));
    }
    EXPECT_FALSE(QFileInfo::exists(file));
}

// The pnm device serves a picture file as if it had been scanned.
TEST_F(ScannerTest, APictureFedThroughTheFileDeviceArrivesUnchanged) {
    QImage picture(37, 23, QImage::Format_RGB888);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 37) % 256, (y * 51) % 256, (x * y * 13) % 256));
    const QString ppm = path(QStringLiteral("card.ppm"));
    ASSERT_TRUE(picture.save(ppm, "PPM"));

    ScanSettings settings = pnmDevice(ppm);
    const QImage single = scanned(settings);
    EXPECT_EQ(single.convertToFormat(QImage::Format_RGB888), picture);

    settings.options += {{QStringLiteral("three-pass"), true}};
    const QImage threePass = scanned(settings);
    EXPECT_EQ(threePass.convertToFormat(QImage::Format_RGB888), picture);

    // Through the bitmap file as well.
    Scanner scanner;
    const QString file = path(QStringLiteral("temp.bmp"));
    ASSERT_EQ(scanner.acquireToFile(file, settings), ScanOk);
    EXPECT_EQ(QImage(file).convertToFormat(QImage::Format_RGB888), picture);

    QImage grey(19, 11, QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x) grey.scanLine(y)[x] = uchar((x * 13 + y * 7) % 256);
    const QString pgm = path(QStringLiteral("card.pgm"));
    ASSERT_TRUE(grey.save(pgm, "PGM"));
    settings = pnmDevice(pgm);
    EXPECT_EQ(scanned(settings).convertToFormat(QImage::Format_Grayscale8), grey);
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
        EXPECT_EQ(readBitmapHeader(file).width, 472);
    }
    SaneTestConfig::SetBackends({QStringLiteral("test"), QStringLiteral("pnm")});
    Scanner scanner;
    EXPECT_EQ(scanner.devices().size(), 4);
}
