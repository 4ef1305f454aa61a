#include "PictureRoad.h"
#include "imaging/BitmapHelpers.h"
#include "imaging/ImageFile.h"

#include "common/TestHelpers.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <cmath>
#include <functional>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

using namespace kartovo;
using kartovo::testing::Filled;
using kartovo::testing::ReadFile;

namespace {

QString imagingData(const char* name) { return QStringLiteral(KARTOVO_TEST_DATA "/imaging/") + QLatin1String(name); }

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& data) {
    QFile f(dir.filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() ? f.fileName() : QString();
}

QByteArray encoded(const QImage& img, const char* format, int compression = -1, bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes); // opened by the writer
    QImageWriter writer(&buffer, format);
    writer.setCompression(compression);
    writer.setProgressiveScanWrite(progressive);
    writer.setQuality(85);
    writer.write(img);
    return bytes;
}

// A page at `dpi` with scanner noise and pencil and red-pen cells; small at 60 dpi.
QImage noisyPage(int dpi = 60) {
    QImage page(2100 * dpi / 254, 2970 * dpi / 254, QImage::Format_RGB32);
    page.setDotsPerMeterX(qRound(dpi / 0.0254));
    page.setDotsPerMeterY(qRound(dpi / 0.0254));
    QRandomGenerator random(dpi);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) page.setPixel(x, y, qRgb(224, 222, 216) + 0x10101 * random.bounded(25));
    QPainter p(&page);
    for (int y = dpi; y < page.height() - dpi; y += dpi / 3)
        for (int x = dpi / 2; x < page.width() - dpi; x += dpi / 3)
            p.fillRect(x, y, dpi / 4, dpi / 4, random.bounded(3) ? QColor(60, 60, 60, 180) : QColor(220, 40, 30));
    return page;
}

// A CMYK JPEG, which Qt's writer cannot make: ink 255 - each channel, no black.
QByteArray cmykJpeg() {
    QImage source = noisyPage();
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) source.setPixel(x, y, ~source.pixel(x, y) & 0xffffffu);
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    QByteArray out;
    if (tjCompress2(tj, source.constBits(), source.width(), int(source.bytesPerLine()), source.height(), TJPF_CMYK,
                    &jpeg, &size, TJSAMP_444, 90, 0) == 0)
        out = QByteArray(reinterpret_cast<const char*>(jpeg), qsizetype(size));
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

// `jpeg` with an APP1 segment after its start: "Exif\0\0" and `body`.
QByteArray withApp1(const QByteArray& jpeg, const QByteArray& body) {
    const int length = 2 + 6 + int(body.size());
    return jpeg.left(2) + QByteArray("\xff\xe1", 2) + char(length >> 8) + char(length & 0xff) +
           QByteArray("Exif\0\0", 6) + body + jpeg.mid(2);
}

// Random bytes in every pixel, alpha too (at depth 8 a random palette).
QImage randomImage(int w, int h, QImage::Format format, std::mt19937& rng) {
    QImage img(w, h, format);
    std::uniform_int_distribution<int> byte(0, 255);
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i) table.append(qRgb(byte(rng), byte(rng), byte(rng)));
    if (format == QImage::Format_Indexed8) img.setColorTable(table);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * img.depth() / 8; ++i) img.scanLine(y)[i] = uchar(byte(rng));
    return img;
}
QByteArray Bytes(const QImage& img) { return QByteArray(reinterpret_cast<const char*>(img.constBits()), img.sizeInBytes()); }

// The operations written plainly, column by column with the percentage after each.
using PixelRule = std::function<bool(const QImage& img, int x, int y)>;

QImage plainOperation(const QImage& source, std::vector<int>& progress, const PixelRule& white, bool lastColumnAndTopRow) {
    const QImage img = source.convertToFormat(QImage::Format_RGB32);
    QImage out = img.convertToFormat(QImage::Format_ARGB32).convertToFormat(QImage::Format_RGB32); // opaque
    const int w = img.width(), h = img.height(), columns = lastColumnAndTopRow ? w : w - 1;
    for (int x = 0; x < columns; ++x) {
        for (int y = lastColumnAndTopRow ? 0 : 1; y < h; ++y) out.setPixel(x, y, white(img, x, y) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        progress.push_back(int(std::lrint(double(x + 1) / w * 100)));
    }
    return out;
}

// The 2 x 2 block of a pixel with its right, upper and upper-right neighbours.
PixelRule noiseRule(int sensitivity) {
    return [=](const QImage& img, int x, int y) {
        double quarters = 0;
        for (int shift : {16, 8, 0}) {
            const auto c = [&](int cx, int cy) { return int(img.pixel(cx, cy) >> shift & 0xff); };
            quarters += std::ceil((c(x, y) + c(x + 1, y) + c(x, y - 1) + c(x + 1, y - 1)) / 4.0);
        }
        return quarters / 3 > (sensitivity + 1) * 64;
    };
}

// Bytes moved to their turned place: 32-bit made opaque, 15-bit top bit as full red, first palette index.
QImage plainRotate(const QImage& src, int angle, std::vector<int>& progress) {
    const int w = src.width(), h = src.height(), bytes = src.depth() / 8;
    const QImage::Format f = src.depth() == 32 ? QImage::Format_RGB32 : src.format(); // the depth kept, alpha dropped
    QImage dst(angle % 180 ? h : w, angle % 180 ? w : h, f);
    const QList<QRgb> table = src.colorTable();
    if (f == QImage::Format_Indexed8) dst.setColorTable(table);
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y) {
            const QPoint to = angle == 0 ? QPoint(x, y) : angle == 90 ? QPoint(h - 1 - y, x)
                            : angle == 180 ? QPoint(w - 1 - x, h - 1 - y) : QPoint(y, w - 1 - x);
            uchar* d = dst.scanLine(to.y()) + to.x() * bytes;
            std::memcpy(d, src.constScanLine(y) + x * bytes, size_t(bytes));
            if (bytes == 4) d[3] = 0xff;
            if (f == QImage::Format_RGB555 && (d[1] & 0x80)) d[1] = (d[1] & 0x03) | 0x7c;
            if (bytes == 1) *d = uchar(table.indexOf(table[*d]));
        }
        progress.push_back(int(std::lrint(double(x) / w * 100)));
    }
    return dst;
}

} // namespace

// Every kind of JPEG decodes to Qt's reader's pixels and resolution; a thumbnail does not make a cut one whole.
TEST(ImageFile, JpegGivesQtsPixelsAndIsWholeWhenItsLastScanIsEnded) {
    const QImage page = noisyPage();
    const QByteArray main = encoded(page, "jpeg"), withThumb = withApp1(main, encoded(page.scaled(30, 20), "jpeg"));
    QByteArray perCm = main; // resolution in dots per centimetre, 40 x 59 (also after a fill byte)
    perCm.replace(13, 5, QByteArray("\x02\0\x28\0\x3b", 5));
    const QByteArray kinds[] = {main, perCm, QByteArray(perCm).insert(2, '\xff'), withThumb, main + QByteArray(100, 'x'), encoded(page, "jpeg", -1, true),
        encoded(page.convertToFormat(QImage::Format_Grayscale8), "jpeg"), cmykJpeg(),
        encoded(page.copy(0, 0, 333, 257), "jpeg"), encoded(noisyPage(200), "jpeg"), QByteArray(main).insert(main.size() - 2, QByteArray(16, 1)), // stray bytes: a warning, left to Qt
        withApp1(main, QByteArray("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26))}; // turned
    for (const QByteArray& jpeg : kinds) {
        SCOPED_TRACE(&jpeg - kinds);
        const QImage qt = QImage::fromData(jpeg, "jpeg").convertToFormat(QImage::Format_RGB32);
        QImage ours;
        QString error;
        ASSERT_TRUE(LoadPictureData(jpeg, QStringLiteral("k.jpg"), ours, &error)) << error.toStdString();
        EXPECT_TRUE(ours == qt && !qt.isNull()); // the format too
        EXPECT_EQ(QSize(ours.dotsPerMeterX(), ours.dotsPerMeterY()), QSize(qt.dotsPerMeterX(), qt.dotsPerMeterY()));
    }
    QImage out;
    QString error;
    EXPECT_FALSE(LoadPictureData(withThumb.left(withThumb.size() - 200), QStringLiteral("k.jpg"), out, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("uszkodzony"))) << error.toStdString();
}

// Good files give Qt's readers' pixels; every cut is refused the same way twice (but in a PCX palette).
TEST(ImageFile, GoodFilesLoadAsQtReadsThemAndEveryCutIsRefused) {
    const QImage png = QImage(imagingData("card.png")).convertToFormat(QImage::Format_RGB32);
    QList<QPair<QString, QByteArray>> files{{"indexed.bmp", encoded(png.convertToFormat(QImage::Format_Indexed8), "bmp")},
                                            {"mono.bmp", encoded(png.convertToFormat(QImage::Format_Mono), "bmp")},
                                            {"lzw.tif", encoded(png, "tiff", 1)},
                                            {"grey.png", encoded(png.convertToFormat(QImage::Format_Grayscale8), "png")}};
    for (const char* name : {"card.bmp", "card-os2.bmp", "rle8.bmp", "card.jpg", "card.gif", "card-local.gif", "card.tif",
                             "card.png", "rle4.bmp", "card.pcx", "card-rgba.pcx", "card-raw.pcx", "card-1bit.pcx", "card-8bit.pcx"})
        files.append({QLatin1String(name), ReadFile(imagingData(name))});
    files.append({"rle8-eol.bmp", ReadFile(imagingData("rle8.bmp")).chopped(2) + QByteArray(2, '\0')}); // no end code
    files.append({"card-v3.pcx", ReadFile(imagingData("card.pcx")).replace(1, 1, "\3")}); // a version Magick does not tell
    files.append({"card-1bit.pcx", ReadFile(imagingData("card-1bit.pcx")).replace(4, 1, "\x08").replace(8, 1, "\x1f")}); // from x = 8: alike
    files.append({"screen.gif", ReadFile(imagingData("card.gif")).replace(6, 1, "\x0c")}); // a screen narrower than its picture
    QByteArray strips = ReadFile(imagingData("card.tif")); // in two strips of 8 rows (at 8 and 584, 576 bytes each): tables of SHORTs
    files.append({"strips.tif", strips.replace(1236, 10, QByteArray("\3\0\2\0\0\0\x08\0\x48\x02", 10)).replace(1266, 1, "\x08").replace(1272, 10, QByteArray("\3\0\2\0\0\0\x40\x02\x40\x02", 10))});
    QByteArray filled = ReadFile(imagingData("card.jpg"));
    files.append({"filled.jpg", filled.insert(filled.indexOf("\xff\xc0"), QByteArray("\xff\x01\xff\xff\xfe\0\x02", 7))}); // TEM, fill, empty note
    QImage oneBit(24, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) oneBit.setPixel(x, y, (x < 4 && y < 4) || x >= 12 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name.toStdString());
        QImage whole;
        QString why;
        ASSERT_TRUE(LoadPictureData(bytes, name, whole, &why)) << why.toStdString();
        EXPECT_EQ(Bytes(whole), Bytes(name.endsWith(QLatin1String(".pcx")) && name != "card-1bit.pcx" ? png
                         : name == "card-1bit.pcx" ? oneBit
                                                   : QImage::fromData(bytes).convertToFormat(QImage::Format_RGB32))); // alpha too
        // The 769 bytes after a PCX's pixels are needed only as an 8-bit picture's palette.
        const qsizetype pixelsEnd = name.endsWith(QLatin1String(".pcx")) && name != "card-8bit.pcx" ? bytes.size() - 769 : bytes.size();
        for (qsizetype cut = 1; cut < bytes.size(); ++cut) {
            QImage first, second;
            QString why1, why2;
            const bool loaded = LoadPictureData(bytes.left(cut), name, first, &why1);
            EXPECT_TRUE(loaded == LoadPictureData(bytes.left(cut), name, second, &why2) && why1 == why2 && first == second);
            EXPECT_TRUE(loaded == (cut >= pixelsEnd) && first == (loaded ? whole : QImage())) << cut;
            if (!loaded && cut >= (name.endsWith(QLatin1String(".pcx")) ? 128 : 8)) { // past the signature
                EXPECT_TRUE(why1.contains(QStringLiteral("uszkodzony lub niekompletny"))) << why1.toStdString();
            }
        }
    }
    // The largest side let through is read, across and down.
    QImage wide(int(kMaxPictureSide), 1, QImage::Format_RGB32), out;
    wide.fill(qRgb(1, 2, 3));
    for (const QImage& side : {wide, wide.transformed(QTransform().rotate(90))})
        EXPECT_TRUE(LoadPictureData(encoded(side, "bmp"), QStringLiteral("wide.bmp"), out) && out == side) << side.height();
    QByteArray profiled = ReadFile(imagingData("card.png")); // a chunk over 64 KB (a colour profile) is no damage
    profiled.insert(33, QByteArray("\0\1\x11\x70prVt", 8) + QByteArray(70000 + 4, 'x'));
    EXPECT_TRUE(LoadPictureData(profiled, QStringLiteral("profiled.png"), out) && out == png);
}

// No picture, no regular file (a fifo not waited on), too large by the header: refused, naming the file.
TEST(ImageFile, WhatCannotBeReadIsRefusedNamingTheFile) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("karta.jpg")), fifo = dir.filePath(QStringLiteral("karta.bmp"));
    ASSERT_TRUE(QDir().mkdir(folder) && ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    // `name`'s first `keep` bytes with the numbers `at` (16 or 32 bits, in its byte order) changed.
    const auto patched = [&](const char* name, int keep, std::initializer_list<std::array<int, 3>> at) {
        QByteArray d = ReadFile(imagingData(name)).left(keep);
        const bool big = d.startsWith("\x89PNG") || d.startsWith("\xff\xd8");
        for (const auto& [offset, bits, value] : at) {
            if (bits == 16) big ? qToBigEndian<quint16>(value, d.data() + offset) : qToLittleEndian<quint16>(value, d.data() + offset);
            else big ? qToBigEndian<quint32>(value, d.data() + offset) : qToLittleEndian<quint32>(value, d.data() + offset);
        }
        return writeFile(dir, QString::number(at.begin()->at(2)) + QLatin1String(name), d);
    };
    const int sof = int(ReadFile(imagingData("card.jpg")).indexOf("\xff\xc0"));
    QByteArray tiff("II*\0\x08\0\0\0\x02\0", 10); // a directory of width (100000) and height (10) only
    tiff += QByteArray("\0\x01\x04\0\x01\0\0\0\xa0\x86\x01\0\x01\x01\x04\0\x01\0\0\0\x0a\0\0\0\0\0\0\0", 28);
    const QString tooLarge = QStringLiteral("jest zbyt duży");
    QFile huge(dir.filePath(QStringLiteral("ogromny.bmp"))), limit(dir.filePath(QStringLiteral("768.bmp"))); // sparse: no disk taken
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(800) << 20) && limit.open(QIODevice::WriteOnly) && limit.resize(kMaxPictureFileBytes));
    const QString damaged = QStringLiteral("jest uszkodzony lub niekompletny"), notFile = QStringLiteral("nie jest zwykłym plikiem");
    const std::pair<QString, QString> cases[] = {
        {imagingData("truncated.jpg"), damaged}, {imagingData("2bit-3planes.pcx"), damaged}, // cut in its pixels; a layout Magick gives up on
        {writeFile(dir, QStringLiteral("rle.bmp"), ReadFile(imagingData("rle8.bmp")).chopped(6) + QByteArray("\x0c\0\0\x01", 4)), damaged}, // last row half
        {imagingData("not-a-picture.bmp"), QStringLiteral("nie zawiera obrazu")},
        {writeFile(dir, QStringLiteral("empty.bmp"), QByteArray()), QStringLiteral("jest pusty")},
        {dir.filePath(QStringLiteral("brak.png")), QStringLiteral("Nie znaleziono pliku")},
        {folder, notFile}, {fifo, notFile}, {QStringLiteral("/dev/zero"), notFile},
        {huge.fileName(), QStringLiteral("jest zbyt duży (800 MB; najwyżej 768 MB)")},
        {limit.fileName(), QStringLiteral("nie zawiera obrazu")}, // at the limit: read whole
        {patched("card.bmp", 54, {{18, 32, 16001}}), tooLarge}, // one side
        {patched("card.bmp", 54, {{18, 32, 8001}, {22, 32, 8000}}), tooLarge}, // the area
        {patched("card.bmp", 54, {{18, 32, 8000}, {22, 32, 8000}}), damaged}, // the area at its limit: only cut
        {patched("card.bmp", 54, {{18, 32, 9920}, {22, 32, -14032}}), tooLarge}, // top-down
        {patched("card.png", 33, {{16, 32, 20000}}), tooLarge},
        {patched("card.jpg", sof + 10, {{sof + 5, 16, 12000}, {sof + 7, 16, 12000}}), tooLarge},
        {patched("card.gif", 13, {{6, 16, 65535}}), tooLarge},
        {patched("card.gif", 128, {{50, 16, 8192}, {52, 16, 8192}}), tooLarge}, // its picture beyond the screen
        {patched("card.gif", 60, {{50, 16, 16000}}), damaged}, // its picture as wide as allowed: only cut
        {patched("card.gif", 128, {{126, 16, 0}}), damaged}, // a block of no kind for the trailer
        {patched("card.tif", 1424, {{1330, 32, 5000}}), damaged}, // its next directory past the end
        {patched("card.bmp", 1206, {{28, 16, 3}}), damaged}, // whole, but of a depth no decoder reads
        {writeFile(dir, QStringLiteral("a.tif"), tiff), tooLarge},
        {writeFile(dir, QStringLiteral("b.tif"), QByteArray(tiff).replace(10, 1, "\1").replace(22, 1, "\2")), damaged}, // tall, no width
        {writeFile(dir, QStringLiteral("c.tif"), QByteArray(tiff).replace(22, 1, "\2")), damaged}, // wide, no height
        {patched("card.pcx", 128, {{8, 16, 40000}, {66, 16, 40002}}), tooLarge},
        {patched("card.pcx", 128, {{1, 16, 0x0101}}), QStringLiteral("nie zawiera obrazu")}, // PCX version 1 is none
    };
    for (const auto& [path, text] : cases) {
        QImage out(5, 5, QImage::Format_RGB32);
        QString why;
        EXPECT_TRUE(!LoadPicture(path, out, &why) && out.isNull()) << path.toStdString();
        EXPECT_TRUE(why.contains(text) && why.contains(QFileInfo(path).fileName())) << why.toStdString();
    }
    QFile speed(QStringLiteral("/sys/class/net/lo/speed")); // the loopback has no link speed: the kernel refuses its read
    QString why;
    if (QImage out; speed.open(QIODevice::ReadOnly) && speed.read(1).isEmpty() && speed.error() == QFileDevice::ReadError) {
        EXPECT_TRUE(!LoadPicture(speed.fileName(), out, &why) && why.startsWith(QStringLiteral("Nie można odczytać pliku"))) << why.toStdString();
    }
}

// Everything the fuzzer found: no crash, the same outcome twice, a refusal or the card it is.
TEST(ImageFile, FuzzRegressionsGiveTheSameRefusalOrTheRightCardTwice) {
    QDirIterator it(QStringLiteral(KARTOVO_TEST_DATA "/fuzz-regressions"), QDir::Files);
    int replayed = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String(".md"))) continue;
        const QByteArray bytes = ReadFile(path);
        const test::RoadOutcome first = test::RunPictureRoad(bytes, true), second = test::RunPictureRoad(bytes, true);
        EXPECT_EQ(first, second) << path.toStdString() << "\n" << first.describe() << "\n" << second.describe();
        if (first.codeRead && first.refusal.isEmpty()) { EXPECT_EQ(first.parameter, 19) << path.toStdString(); }
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

// Byte for byte Qt's 24-bit bitmaps (1001 x 350: 1 MB blocks, a last of one row); a failed save leaves it.
TEST(ImageFile, SavedBitmapIsWhatQtsWriterMakesInPlaceOfTheNameOnly) {
    QTemporaryDir dir;
    const QString ours = dir.filePath(QStringLiteral("ours.bmp")), qts = dir.filePath(QStringLiteral("qt.bmp"));
    for (const QSize size : {QSize(1, 1), QSize(5, 3), QSize(6, 2), QSize(7, 2), QSize(9, 2), QSize(1001, 350), QSize(3, 2)}) {
        QImage picture(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) picture.setPixel(x, y, qRgb(x * 7 % 256, y * 3 % 256, (x ^ y) % 256));
        if (size.width() == 5) picture.setDotsPerMeterX(11811);
        ASSERT_TRUE(SavePictureBitmap(picture, ours) && picture.save(qts, "BMP"));
        EXPECT_EQ(ReadFile(ours), ReadFile(qts)) << size.width() << "x" << size.height();
        ASSERT_TRUE(SavePictureBitmap(picture.convertToFormat(QImage::Format_Indexed8), qts));
        EXPECT_EQ(static_cast<unsigned char>(ReadFile(qts)[28]), 24) << "bits per pixel";
    }
    EXPECT_FALSE(QFile::exists(ours + QStringLiteral(".part")));
    EXPECT_EQ(QFile::permissions(ours), QFile::permissions(qts)) << "made as Qt makes a new file";
    const QByteArray before = ReadFile(ours);
    QString empty, error;
    EXPECT_FALSE(SavePictureBitmap(QImage(), ours, &empty) || SavePictureBitmap(QImage(2, 2, QImage::Format_RGB32), dir.filePath(QStringLiteral("no/x.bmp")), &error));
    EXPECT_TRUE(empty.startsWith(QStringLiteral("Nie można zapisać obrazu")) && error.startsWith(QStringLiteral("Nie można zapisać obrazu")) && ReadFile(ours) == before) << error.toStdString();
    // A full disk (a file size limit here) is a failed save that leaves no part behind.
    const auto [limited, saved] = kartovo::testing::UnderFileSizeLimit(65536, [&] { return SavePictureBitmap(QImage(1000, 100, QImage::Format_RGB32), ours); });
    EXPECT_TRUE(limited && !saved && !QFile::exists(ours + QStringLiteral(".part")));
    // The old file's storage is reused, never where another name shares it (links, a leftover part).
    const QImage picture = QImage(imagingData("card.png")).convertToFormat(QImage::Format_RGB32);
    const QByteArray old("not a picture, kept");
    const QString path = dir.filePath(QStringLiteral("Markery.bmp")), part = path + QStringLiteral(".part");
    const QString other = writeFile(dir, QStringLiteral("other.txt"), old);
    const std::function<bool()> links[] = {
        [&] { return QFile::link(other, path); },
        [&] { return QFile::remove(path) && ::link(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0; },
        [&] { return QFile::link(other, part); }};
    for (const auto& link : links) {
        EXPECT_TRUE(link() && SavePictureBitmap(picture, path) && ReadFile(other) == old && !QFileInfo(path).isSymLink());
    }
    EXPECT_FALSE(QFile::exists(part));
    QImage back; // a plain file of its own is written over in place: its permissions stay
    EXPECT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner) && SavePictureBitmap(picture, path) && LoadPicture(path, back) && back == picture && !(QFile::permissions(path) & QFile::ReadOther));
    struct stat st0{}, st1{}; // a plain file of its own keeps its storage (its inode)
    EXPECT_TRUE(::stat(qPrintable(path), &st0) == 0 && SavePictureBitmap(picture, path) && ::stat(qPrintable(path), &st1) == 0 && st0.st_ino == st1.st_ino);
}

// Random pixels meet every threshold at exactly its value; sizes around the strip widths.
TEST(PicModOperations, MatchThePlainLoopsOnRandomPictures) {
    std::mt19937 rng(2024);
    const int thresholds[][3] = {{128, 90, 160}, {-5, 300, 0}, {300, 255, 255}, {0, -1, 40}, {255, 0, 256}};
    for (auto [w, h] : {std::pair{1, 1}, {1, 5}, {5, 1}, {2, 2}, {37, 23}, {513, 3}, {1030, 4}, {600, 97}}) {
        SCOPED_TRACE(::testing::Message() << w << "x" << h);
        QImage original = randomImage(w, h, QImage::Format_RGB32, rng);
        original.setPixel(w - 1, 0, qRgb(126, 125, 125)); // grey at exactly the thresholds, in the
        original.setPixel(w - 1, h - 1, qRgb(125, 125, 125)); // column after the last whole strip
        for (int i = 0; i < 4 && w > 2 && h > 1; ++i) original.setPixel(w - 3 + i % 2, h - 2 + i / 2, qRgb(128, 128, 128)); // noise limit
        const auto check = [&](const std::function<void(QImage&, const ProgressCallback&)>& operation,
                               const PixelRule& white, bool wholePicture) {
            QImage mine = original;
            std::vector<int> progress, expectedProgress;
            operation(mine, [&](int p) { progress.push_back(p); });
            EXPECT_EQ(Bytes(mine), Bytes(plainOperation(original, expectedProgress, white, wholePicture))); // alpha too
            EXPECT_EQ(progress, expectedProgress);
        };
        const auto rgb = [](const QImage& img, int x, int y) {
            return std::array<int, 3>{qRed(img.pixel(x, y)), qGreen(img.pixel(x, y)), qBlue(img.pixel(x, y))};
        };
        check([](QImage& i, const ProgressCallback& p) { ConvertToBW(i, p); },
              [&](const QImage& img, int x, int y) { const auto [r, g, b] = rgb(img, x, y); return (r + g + b) / 3.0 > 125; }, true);
        for (int colour : {-1, 0, 1, 2, 3})
            for (const auto& t : thresholds) {
                SCOPED_TRACE(::testing::Message() << colour << " " << t[0] << " " << t[1] << " " << t[2]);
                // Kept (black) when the filtered channel reaches its threshold and the others stay under theirs.
                const PixelRule white = [&](const QImage& img, int x, int y) {
                    const auto c = rgb(img, x, y);
                    bool keep = colour >= 0 && colour <= 2;
                    for (int ch = 0; ch < 3 && keep; ++ch) keep = ch == colour ? c[ch] >= t[ch] : c[ch] <= t[ch];
                    return !keep;
                };
                check([&](QImage& i, const ProgressCallback& p) { FilterColors(i, colour, t[0], t[1], t[2], p); }, white, true);
            }
        for (int sensitivity : {-2, -1, 0, 1, 2})
            check([&](QImage& i, const ProgressCallback& p) { RemoveNoise(i, sensitivity, p); }, noiseRule(sensitivity), false);
    }
    // Other formats end as opaque 32-bit pictures; an empty one stays empty.
    const QImage indexed = randomImage(9, 7, QImage::Format_Indexed8, rng);
    QImage mine = indexed, empty;
    RemoveNoise(mine, 1);
    std::vector<int> ignored;
    EXPECT_EQ(mine, plainOperation(indexed, ignored, noiseRule(1), false));
    ConvertToBW(empty);
    RemoveNoise(empty, 1);
    EXPECT_TRUE(empty.isNull());
}

TEST(RotatePicture, MatchesThePlainLoopAtEveryDepthAndAngleIntoAnyPicture) {
    // 270 is a counter-clockwise turn: the top-left pixel ends bottom-left.
    QImage corner = Filled(4, 3), turned;
    corner.setPixel(0, 0, qRgb(255, 0, 0));
    RotatePicture(corner, turned, 270);
    EXPECT_EQ(turned.pixel(0, 3), qRgb(255, 0, 0));
    std::mt19937 rng(99);
    for (QImage::Format f : {QImage::Format_Indexed8, QImage::Format_RGB555, QImage::Format_RGB16, QImage::Format_RGB888,
                             QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        for (auto [w, h] : {std::pair{37, 23}, {1, 6}, {530, 3}, {200, 150}}) {
            QImage source = randomImage(w, h, f, rng);
            if (f == QImage::Format_Indexed8) { // duplicate colours in the palette
                QList<QRgb> table = source.colorTable();
                table[200] = table[3], table[7] = table[9] ^ 0x10000; // and one a step from another before it
                source.setColorTable(table);
            }
            for (int angle : {0, 90, 180, 270}) {
                SCOPED_TRACE(::testing::Message() << "format " << int(f) << " " << w << "x" << h << " angle " << angle);
                std::vector<int> progress, expectedProgress;
                QImage mine;
                RotatePicture(source, mine, angle, [&](int p) { progress.push_back(p); });
                EXPECT_TRUE(mine == plainRotate(source, angle, expectedProgress) && progress == expectedProgress);
            }
        }
    }
    // Into itself, or into a picture of the right size in its own memory.
    const QImage source = randomImage(300, 300, QImage::Format_RGB32, rng), sourceCopy = source.copy();
    std::vector<int> ignored;
    const QImage expected = plainRotate(source, 90, ignored);
    QImage same = source; // shares its pixels with the source until written
    RotatePicture(same, same, 90);
    EXPECT_TRUE(same == expected && source == sourceCopy);
    QImage reused = Filled(300, 300, qRgb(0, 255, 0));
    const uchar* memory = reused.constBits();
    RotatePicture(source, reused, 90);
    EXPECT_TRUE(reused == expected && reused.constBits() == memory);
    QImage otherFormat(300, 300, QImage::Format_RGB888);
    RotatePicture(source, otherFormat, 90);
    EXPECT_EQ(otherFormat, expected);
    QImage mono(4, 4, QImage::Format_Mono), dst = Filled(2, 2, qRgb(0, 0, 255));
    mono.fill(0);
    const QImage before = dst;
    EXPECT_THROW(RotatePicture(mono, dst, 90), BitmapError);
    EXPECT_EQ(dst, before);
    EXPECT_THROW(RotatePicture(Filled(2, 2), dst, 45), std::invalid_argument);
}
