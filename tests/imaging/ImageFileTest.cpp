#include "PictureRoad.h"
#include "imaging/ImageFile.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace kartovo;

namespace {

QString imagingData(const char* name) { return QStringLiteral(KARTOVO_TEST_DATA "/imaging/") + QLatin1String(name); }

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& data) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(data);
    return f.fileName();
}

QByteArray encoded(const QImage& img, const char* format, int compression = -1, bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
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

// A CMYK JPEG (libjpeg-turbo's own encoder; Qt's writer cannot make one):
// ink 255 - each channel, no black.
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

} // namespace

// Every kind of JPEG decodes to exactly the pixels (and resolution) Qt's
// reader gives, whether libjpeg-turbo decodes it directly or Qt's reader does.
TEST(ImageFile, JpegGivesQtsPixels) {
    const QImage page = noisyPage();
    QByteArray perCm = encoded(page, "jpeg"); // resolution in dots per centimetre, 40 x 59
    perCm.replace(13, 5, QByteArray("\x02\0\x28\0\x3b", 5));
    const QByteArray kinds[] = {perCm,
        encoded(page, "jpeg"), encoded(page, "jpeg", -1, true), encoded(page.convertToFormat(QImage::Format_Grayscale8), "jpeg"),
        cmykJpeg(), encoded(page.copy(0, 0, 333, 257), "jpeg"), encoded(noisyPage(200), "jpeg"),
        withApp1(encoded(page, "jpeg"), // orientation 6: to be shown turned
                 QByteArray("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26))};
    for (const QByteArray& jpeg : kinds) {
        SCOPED_TRACE(&jpeg - kinds);
        ASSERT_FALSE(jpeg.isEmpty());
        QBuffer buffer;
        buffer.setData(jpeg);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        reader.setAllocationLimit(1024);
        const QImage qt = reader.read().convertToFormat(QImage::Format_RGB32);
        QImage ours;
        QString error;
        ASSERT_TRUE(LoadPictureData(jpeg, QStringLiteral("k.jpg"), ours, &error)) << error.toStdString();
        EXPECT_EQ(ours.format(), QImage::Format_RGB32);
        EXPECT_TRUE(ours == qt && !qt.isNull());
        EXPECT_EQ(ours.dotsPerMeterX(), qt.dotsPerMeterX());
        EXPECT_EQ(ours.dotsPerMeterY(), qt.dotsPerMeterY());
    }
}

// Good files of every supported format give exactly the pixels Qt's own
// readers give; PCX (through GraphicsMagick) the drawn card, in 1 bit black
// left of x = 12 with a white corner, not inverted. Qt's readers build a
// cut-off BMP from memory never written and a cut-off GIF or TIFF half blank;
// every cut of every format is refused, the same way on every run. (A 24-bit
// or 1-bit PCX does not use the palette GraphicsMagick writes after its
// pixels: cut there, it is still whole.)
TEST(ImageFile, GoodFilesLoadAsQtReadsThemAndEveryCutIsRefused) {
    QList<QPair<QString, QByteArray>> files;
    for (const char* name : {"card.bmp", "card-os2.bmp", "rle8.bmp", "card.jpg", "card.gif", "card.tif", "card.png",
                             "card.pcx", "card-1bit.pcx"})
        files.append({QLatin1String(name), readAll(imagingData(name))});
    const QImage png = QImage(imagingData("card.png")).convertToFormat(QImage::Format_RGB32);
    files.append({QStringLiteral("indexed.bmp"), encoded(png.convertToFormat(QImage::Format_Indexed8), "bmp")});
    files.append({QStringLiteral("mono.bmp"), encoded(png.convertToFormat(QImage::Format_Mono), "bmp")});
    files.append({QStringLiteral("lzw.tif"), encoded(png, "tiff", 1)});
    files.append({QStringLiteral("grey.png"), encoded(png.convertToFormat(QImage::Format_Grayscale8), "png")});
    QImage oneBit(24, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) oneBit.setPixel(x, y, (x < 4 && y < 4) || x >= 12 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_GT(bytes.size(), 100);
        QImage whole;
        QString why;
        ASSERT_TRUE(LoadPictureData(bytes, name, whole, &why)) << why.toStdString();
        EXPECT_EQ(whole, name == "card.pcx"       ? png
                         : name == "card-1bit.pcx" ? oneBit
                                                   : QImage::fromData(bytes).convertToFormat(QImage::Format_RGB32));
        const qsizetype pixelsEnd = name.endsWith(QLatin1String(".pcx")) ? bytes.size() - 769 : bytes.size();
        for (qsizetype cut = 1; cut < bytes.size(); ++cut) {
            QImage first, second;
            QString why1, why2;
            const bool loaded = LoadPictureData(bytes.left(cut), name, first, &why1);
            EXPECT_EQ(loaded, LoadPictureData(bytes.left(cut), name, second, &why2));
            EXPECT_EQ(why1, why2);
            EXPECT_EQ(first, second);
            if (cut >= pixelsEnd) {
                EXPECT_EQ(first, whole) << cut;
                continue;
            }
            EXPECT_FALSE(loaded) << cut;
            EXPECT_TRUE(first.isNull());
            if (cut >= 128) { EXPECT_TRUE(why1.contains(QStringLiteral("uszkodzony lub niekompletny"))) << why1.toStdString(); }
        }
    }
    // The largest side let through is read.
    QImage wide(int(kMaxPictureSide), 1, QImage::Format_RGB32), out;
    wide.fill(qRgb(1, 2, 3));
    EXPECT_TRUE(LoadPictureData(encoded(wide, "bmp"), QStringLiteral("wide.bmp"), out));
    EXPECT_EQ(out, wide);
}

// Files that are no picture, names that are no regular file (a fifo is
// refused without waiting for a writer), and pictures too large by their
// header alone (the text says so, not "damaged"): refused, naming the file,
// the picture left empty.
TEST(ImageFile, WhatCannotBeReadIsRefusedNamingTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("karta.jpg")), fifo = dir.filePath(QStringLiteral("karta.bmp"));
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // `name`'s first `keep` bytes with the numbers `at` (16 or 32 bits, in its byte order) changed.
    const auto patched = [&](const char* name, int keep, std::initializer_list<std::array<int, 3>> at) {
        QByteArray d = readAll(imagingData(name)).left(keep);
        const bool big = d.startsWith("\x89PNG") || d.startsWith("\xff\xd8");
        for (const auto& [offset, bits, value] : at) {
            if (bits == 16) big ? qToBigEndian<quint16>(value, d.data() + offset) : qToLittleEndian<quint16>(value, d.data() + offset);
            else big ? qToBigEndian<quint32>(value, d.data() + offset) : qToLittleEndian<quint32>(value, d.data() + offset);
        }
        return writeFile(dir, QString::number(at.begin()->at(2)) + QLatin1String(name), d);
    };
    const int sof = int(readAll(imagingData("card.jpg")).indexOf("\xff\xc0"));
    QByteArray tiff("II*\0\x08\0\0\0\x02\0", 10); // a directory of width (100000) and height (10) only
    tiff += QByteArray("\0\x01\x04\0\x01\0\0\0\xa0\x86\x01\0\x01\x01\x04\0\x01\0\0\0\x0a\0\0\0\0\0\0\0", 28);
    const QString tooLarge = QStringLiteral("jest zbyt duży");
    const QString damaged = QStringLiteral("jest uszkodzony lub niekompletny"), notFile = QStringLiteral("nie jest zwykłym plikiem");
    const std::pair<QString, QString> cases[] = {
        {imagingData("truncated.jpg"), damaged}, // cut in its pixels
        {imagingData("not-a-picture.bmp"), QStringLiteral("nie zawiera obrazu")},
        {writeFile(dir, QStringLiteral("empty.bmp"), QByteArray()), QStringLiteral("jest pusty")},
        {dir.filePath(QStringLiteral("brak.png")), QStringLiteral("Nie znaleziono pliku")},
        {folder, notFile},
        {fifo, notFile},
        {QStringLiteral("/dev/zero"), notFile},
        {patched("card.bmp", 54, {{18, 32, 16001}}), tooLarge}, // one side
        {patched("card.bmp", 54, {{18, 32, 8001}, {22, 32, 8000}}), tooLarge}, // the area
        {patched("card.bmp", 54, {{18, 32, 9920}, {22, 32, -14032}}), tooLarge}, // top-down
        {patched("card.png", 33, {{16, 32, 20000}}), tooLarge},
        {patched("card.jpg", sof + 10, {{sof + 5, 16, 12000}, {sof + 7, 16, 12000}}), tooLarge},
        {patched("card.gif", 13, {{6, 16, 65535}}), tooLarge},
        {writeFile(dir, QStringLiteral("a.tif"), tiff), tooLarge},
        {patched("card.pcx", 128, {{8, 16, 40000}, {66, 16, 40002}}), tooLarge},
    };
    for (const auto& [path, text] : cases) {
        QImage out(5, 5, QImage::Format_RGB32);
        QString why;
        EXPECT_FALSE(LoadPicture(path, out, &why)) << path.toStdString();
        EXPECT_TRUE(out.isNull());
        EXPECT_TRUE(why.contains(text)) << why.toStdString();
        EXPECT_TRUE(why.contains(QFileInfo(path).fileName())) << why.toStdString();
    }
}

// A JPEG is whole when no scan follows its last end of image: a thumbnail
// (a whole small JPEG in an APP1 segment) must not make a cut main image look
// whole; several scans (progressive) and bytes after the end are fine.
TEST(ImageFile, JpegIsWholeWhenItsLastScanIsEnded) {
    const QByteArray main = encoded(noisyPage(), "jpeg");
    const QByteArray withThumb = withApp1(main, encoded(noisyPage().scaled(30, 20), "jpeg"));
    QImage out;
    QString error;
    EXPECT_TRUE(LoadPictureData(withThumb, QStringLiteral("k.jpg"), out));
    EXPECT_TRUE(LoadPictureData(main + QByteArray(100, 'x'), QStringLiteral("k.jpg"), out));
    EXPECT_FALSE(LoadPictureData(withThumb.left(withThumb.size() - 200), QStringLiteral("k.jpg"), out, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("uszkodzony"))) << error.toStdString();
}

// Everything the fuzzer ever found, and damaged cards met elsewhere: no
// crash, the same outcome twice, and either a refusal or the card it is.
TEST(ImageFile, FuzzRegressionsGiveTheSameRefusalOrTheRightCardTwice) {
    QDirIterator it(QStringLiteral(KARTOVO_TEST_DATA "/fuzz-regressions"), QDir::Files);
    int replayed = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String(".md"))) continue;
        const QByteArray bytes = readAll(path);
        const test::RoadOutcome first = test::RunPictureRoad(bytes, true), second = test::RunPictureRoad(bytes, true);
        EXPECT_EQ(first, second) << path.toStdString() << "\n" << first.describe() << "\n" << second.describe();
        if (first.codeRead && first.refusal.isEmpty()) { EXPECT_EQ(first.parameter, 19) << path.toStdString(); }
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

// The working bitmaps are 24-bit files, byte for byte what Qt's writer makes.
// Odd widths need row padding; rows are packed four pixels at a time with the
// rest one by one (widths 5 to 9); a block of rows is 1 MB, so 700 rows of a
// 1001-pixel picture span several blocks and a short last one. Each picture
// is written over the previous one's file; a failed save leaves it alone.
TEST(ImageFile, SavedBitmapIsByteForByteWhatQtsWriterMakes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ours = dir.filePath(QStringLiteral("ours.bmp")), qts = dir.filePath(QStringLiteral("qt.bmp"));
    for (const QSize size : {QSize(1, 1), QSize(5, 3), QSize(6, 2), QSize(7, 2), QSize(9, 2), QSize(1001, 700), QSize(3, 2)}) {
        QImage picture(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) picture.setPixel(x, y, qRgb(x * 7 % 256, y * 3 % 256, (x ^ y) % 256));
        if (size.width() == 5) picture.setDotsPerMeterX(11811);
        ASSERT_TRUE(SavePictureBitmap(picture, ours));
        ASSERT_TRUE(picture.save(qts, "BMP"));
        EXPECT_EQ(readAll(ours), readAll(qts)) << size.width() << "x" << size.height();
        ASSERT_TRUE(SavePictureBitmap(picture.convertToFormat(QImage::Format_Indexed8), qts));
        EXPECT_EQ(static_cast<unsigned char>(readAll(qts)[28]), 24) << "bits per pixel";
    }
    EXPECT_FALSE(QFile::exists(ours + QStringLiteral(".part")));
    const QByteArray before = readAll(ours);
    QString error;
    EXPECT_FALSE(SavePictureBitmap(QImage(), ours));
    EXPECT_FALSE(SavePictureBitmap(QImage(2, 2, QImage::Format_RGB32), dir.filePath(QStringLiteral("no/x.bmp")), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Nie można zapisać obrazu"))) << error.toStdString();
    EXPECT_EQ(readAll(ours), before);
}

// The old file's storage is reused, but never where another name shares it:
// a symbolic link, a hard link, or a leftover link of an interrupted save.
TEST(ImageFile, SavingReplacesTheNameNotFilesLinkedToIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(qRgb(10, 200, 30));
    const QByteArray old("not a picture, kept");
    const QString path = dir.filePath(QStringLiteral("Markery.bmp")), part = path + QStringLiteral(".part");
    const QString other = writeFile(dir, QStringLiteral("other.txt"), old);
    const std::function<bool()> links[] = {
        [&] { return QFile::link(other, path); },
        [&] { return QFile::remove(path) && ::link(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0; },
        [&] { return QFile::link(other, part); },
    };
    for (const auto& link : links) {
        ASSERT_TRUE(link());
        ASSERT_TRUE(SavePictureBitmap(picture, path));
        EXPECT_EQ(readAll(other), old);
        EXPECT_FALSE(QFileInfo(path).isSymLink());
    }
    EXPECT_FALSE(QFile::exists(part));
    QImage back;
    ASSERT_TRUE(LoadPicture(path, back));
    EXPECT_EQ(back, picture);
}
