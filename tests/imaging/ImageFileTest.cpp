#include "ImagingTestSupport.h"
#include "PictureRoad.h"
#include "imaging/ImageFile.h"
#include "imaging/PicMod.h"

#include <QBuffer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <cstdlib>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace kartovo;
using kartovo::test::imagingData;

namespace {

// The drawn test card (24 x 16): a yellow 4 x 4 corner at the top left, red
// up to x = 8, green over blue up to x = 16, white over black to the right.
struct Region {
    int x, y;
    QRgb colour;
};
const Region kRegions[] = {
    {1, 1, qRgb(255, 255, 0)}, {5, 10, qRgb(255, 0, 0)},      {11, 3, qRgb(0, 255, 0)},
    {11, 12, qRgb(0, 0, 255)}, {20, 3, qRgb(255, 255, 255)}, {20, 12, qRgb(0, 0, 0)},
};

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& data) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
    return path;
}

class ColourCardFile : public testing::TestWithParam<const char*> {};

// A card-like page at the given resolution: grey paper with scanner noise,
// a grid of cells, some coloured and some pencil-filled, and printed text.
QImage noisyPage(int dpi) {
    QImage page(2100 * dpi / 254, 2970 * dpi / 254, QImage::Format_RGB32); // A4
    page.setDotsPerMeterX(qRound(dpi / 0.0254));
    page.setDotsPerMeterY(qRound(dpi / 0.0254));
    page.fill(qRgb(236, 234, 228));
    QPainter p(&page);
    QRandomGenerator random(dpi);
    p.setPen(QPen(QColor(30, 30, 90), dpi / 100.0));
    const int cell = dpi / 4;
    for (int y = dpi; y + cell < page.height() - dpi; y += cell * 3 / 2)
        for (int x = dpi / 2; x + cell < page.width() - dpi / 2; x += cell * 3 / 2) {
            p.drawRect(x, y, cell, cell);
            if (random.bounded(5) == 0) p.fillRect(x + 3, y + 3, cell - 6, cell - 6, QColor(60, 60, 60, 180));
            if (random.bounded(9) == 0) p.fillRect(x + 2, y + 2, cell / 2, cell / 2, QColor(220, 40, 30));
        }
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
    p.drawText(QRect(dpi / 2, dpi / 4, page.width() - dpi, dpi / 2), QStringLiteral("Karta pomiarowa 12/34 ąęł"));
    p.end();
    for (int y = 0; y < page.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            const int n = int(random.bounded(25)) - 12;
            row[x] = qRgb(std::clamp(qRed(row[x]) + n, 0, 255), std::clamp(qGreen(row[x]) + n, 0, 255),
                          std::clamp(qBlue(row[x]) + n, 0, 255));
        }
    }
    return page;
}

// A JPEG made by libjpeg-turbo's own encoder (the kinds Qt's writer cannot make).
QByteArray turboJpeg(const QImage& rgb32, int subsampling, int flags, int pixelFormat = TJPF_BGRX) {
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    QByteArray out;
    QImage source = rgb32;
    if (pixelFormat == TJPF_CMYK) { // ink from the colour: 255 - each channel, no black
        source = QImage(rgb32.size(), QImage::Format_RGB32);
        for (int y = 0; y < rgb32.height(); ++y)
            for (int x = 0; x < rgb32.width(); ++x) {
                const QRgb c = rgb32.pixel(x, y);
                const uchar cmyk[4] = {uchar(255 - qRed(c)), uchar(255 - qGreen(c)), uchar(255 - qBlue(c)), 0};
                std::memcpy(source.scanLine(y) + 4 * x, cmyk, 4);
            }
    }
    if (tjCompress2(tj, source.constBits(), source.width(), int(source.bytesPerLine()), source.height(), pixelFormat,
                    &jpeg, &size, subsampling, 90, flags) == 0)
        out = QByteArray(reinterpret_cast<const char*>(jpeg), qsizetype(size));
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

QByteArray qtJpeg(const QImage& img, bool progressive) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.setQuality(85);
    writer.write(img);
    return bytes;
}

// An EXIF block saying the picture is to be shown turned (orientation 6).
QByteArray withExifOrientation(const QByteArray& jpeg) {
    const QByteArray tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray app1("\xff\xe1", 2);
    app1 += char((body.size() + 2) >> 8);
    app1 += char((body.size() + 2) & 0xff);
    return jpeg.left(2) + app1 + body + jpeg.mid(2);
}

struct JpegKind {
    const char* name;
    std::function<QByteArray()> make;
};

class JpegDecode : public testing::TestWithParam<JpegKind> {};

} // namespace

TEST_P(ColourCardFile, LoadsAndGoesThroughEveryOperation) {
    QImage card;
    QString error;
    ASSERT_TRUE(LoadPicture(imagingData(GetParam()), card, &error)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    ASSERT_EQ(card.size(), QSize(24, 16));
    EXPECT_EQ(card.format(), QImage::Format_RGB32);
    const bool lossy = QString::fromLatin1(GetParam()).endsWith(QLatin1String(".jpg"));
    for (const Region& r : kRegions)
        EXPECT_TRUE(near(card.pixel(r.x, r.y), r.colour, lossy ? 40 : 0))
            << r.x << "," << r.y << " " << std::hex << card.pixel(r.x, r.y);

    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    QImage bw = card;
    ConvertToBW(bw); // yellow and white are bright, the pure colours and black are not
    const QRgb bwExpected[] = {white, black, black, black, white, black};
    QImage redOnly = card;
    FilterColors(redOnly, 0, 150, 100, 100);
    const QRgb redExpected[] = {white, black, white, white, white, white};
    QImage clean = card;
    RemoveNoise(clean, 1); // inside each area the block is the area's colour
    const QRgb noiseExpected[] = {white, black, black, black, white, black};
    for (int i = 0; i < 6; ++i) {
        const Region& r = kRegions[i];
        EXPECT_EQ(bw.pixel(r.x, r.y), bwExpected[i]) << i;
        EXPECT_EQ(redOnly.pixel(r.x, r.y), redExpected[i]) << i;
        EXPECT_EQ(clean.pixel(r.x, r.y), noiseExpected[i]) << i;
    }

    QImage turned;
    RotatePicture(card, turned, 270);
    ASSERT_EQ(turned.size(), QSize(16, 24));
    EXPECT_TRUE(near(turned.pixel(1, 22), qRgb(255, 255, 0), lossy ? 40 : 0)); // yellow corner bottom-left
}

INSTANTIATE_TEST_SUITE_P(Formats, ColourCardFile,
                         testing::Values("card.bmp", "card.jpg", "card.gif", "card.tif", "card.png", "card.pcx"));

// Every kind of JPEG decodes to exactly the pixels (and resolution) Qt's
// reader gives, whether libjpeg-turbo decodes it directly or Qt's reader does.
TEST_P(JpegDecode, GivesQtsPixels) {
    const QByteArray jpeg = GetParam().make();
    ASSERT_FALSE(jpeg.isEmpty());
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAllocationLimit(1024);
    const QImage qt = reader.read().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(qt.isNull()) << reader.errorString().toStdString();
    QImage ours;
    QString error;
    ASSERT_TRUE(LoadPictureData(jpeg, QStringLiteral("k.jpg"), ours, &error)) << error.toStdString();
    ASSERT_EQ(ours.format(), QImage::Format_RGB32);
    ASSERT_EQ(ours.size(), qt.size());
    for (int y = 0; y < qt.height(); ++y)
        ASSERT_EQ(std::memcmp(ours.constScanLine(y), qt.constScanLine(y), size_t(qt.width()) * 4), 0) << "row " << y;
    EXPECT_EQ(ours.dotsPerMeterX(), qt.dotsPerMeterX());
    EXPECT_EQ(ours.dotsPerMeterY(), qt.dotsPerMeterY());
}

const QImage& smallColourPage() {
    static const QImage page = noisyPage(60);
    return page;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, JpegDecode,
    testing::Values(JpegKind{"qt420", [] { return qtJpeg(smallColourPage(), false); }},
                    JpegKind{"qtProgressive", [] { return qtJpeg(smallColourPage(), true); }},
                    JpegKind{"qtGrey", [] { return qtJpeg(smallColourPage().convertToFormat(QImage::Format_Grayscale8), false); }},
                    JpegKind{"turbo444", [] { return turboJpeg(smallColourPage(), TJSAMP_444, 0); }},
                    JpegKind{"turbo422", [] { return turboJpeg(smallColourPage(), TJSAMP_422, 0); }},
                    JpegKind{"turbo440", [] { return turboJpeg(smallColourPage(), TJSAMP_440, 0); }},
                    JpegKind{"turboGrey", [] { return turboJpeg(smallColourPage(), TJSAMP_GRAY, 0); }},
                    JpegKind{"turboProgressive444", [] { return turboJpeg(smallColourPage(), TJSAMP_444, TJFLAG_PROGRESSIVE); }},
                    JpegKind{"turboCmyk", [] { return turboJpeg(smallColourPage(), TJSAMP_444, 0, TJPF_CMYK); }},
                    JpegKind{"oddSize", [] { return qtJpeg(smallColourPage().copy(0, 0, 333, 257), false); }},
                    JpegKind{"exifTurned", [] { return withExifOrientation(qtJpeg(smallColourPage(), false)); }},
                    JpegKind{"card150dpi", [] { return qtJpeg(noisyPage(150), false); }},
                    JpegKind{"card300dpi", [] { return qtJpeg(noisyPage(300), false); }}),
    [](const testing::TestParamInfo<JpegKind>& info) { return std::string(info.param.name); });

TEST(ImageFile, OneBitPcxIsNotInverted) {
    QImage card;
    QString error;
    ASSERT_TRUE(LoadPicture(imagingData("card-1bit.pcx"), card, &error)) << error.toStdString();
    ASSERT_EQ(card.size(), QSize(24, 16));
    EXPECT_EQ(card.pixel(1, 1), qRgb(255, 255, 255)); // white corner
    EXPECT_EQ(card.pixel(6, 10), qRgb(0, 0, 0));       // black left half
    EXPECT_EQ(card.pixel(20, 10), qRgb(255, 255, 255));

    QImage bw = card;
    ConvertToBW(bw);
    EXPECT_EQ(bw, card);
}

TEST(ImageFile, UndecodableFilesAreReportedNotLoaded) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray pcx = readAll(imagingData("card.pcx"));
    const QByteArray png = readAll(imagingData("card.png"));
    ASSERT_FALSE(pcx.isEmpty());
    const QString cases[] = {
        imagingData("truncated.jpg"),
        imagingData("not-a-picture.bmp"),
        writeFile(dir, "empty.bmp", QByteArray()),
        writeFile(dir, "cut.pcx", pcx.left(200)),
        writeFile(dir, "cut.png", png.left(png.size() - 20)),
        writeFile(dir, "header-only.bmp", readAll(imagingData("card.bmp")).left(54)),
        dir.filePath(QStringLiteral("missing.jpg")),
    };
    for (const QString& path : cases) {
        QImage out(5, 5, QImage::Format_RGB32);
        QString error;
        EXPECT_FALSE(LoadPicture(path, out, &error)) << path.toStdString();
        EXPECT_TRUE(out.isNull());
        EXPECT_TRUE(error.contains(QFileInfo(path).fileName())) << error.toStdString();
    }
    QString error;
    QImage out;
    LoadPicture(imagingData("truncated.jpg"), out, &error);
    EXPECT_EQ(error, QStringLiteral("Plik %1 jest uszkodzony lub niekompletny - nie można odczytać obrazu")
                         .arg(QDir::toNativeSeparators(imagingData("truncated.jpg"))));
    LoadPicture(writeFile(dir, "empty2.bmp", QByteArray()), out, &error);
    EXPECT_TRUE(error.contains(QStringLiteral("jest pusty")));
    LoadPicture(imagingData("not-a-picture.bmp"), out, &error);
    EXPECT_TRUE(error.contains(QStringLiteral("nie zawiera obrazu")));
    EXPECT_FALSE(LoadPicture(dir.path(), out, nullptr)); // a folder
}

namespace {

QByteArray encoded(const QImage& img, const char* format, int compression = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (compression >= 0) writer.setCompression(compression);
    writer.write(img);
    return bytes;
}

// Every picture of the test data, and the depths and compressions Qt's
// writers make of it.
QList<QPair<QString, QByteArray>> goodFiles() {
    QList<QPair<QString, QByteArray>> files;
    for (const char* name : {"card.bmp", "card.jpg", "card.gif", "card.tif", "card.png", "card.pcx", "card-1bit.pcx"})
        files.append({QString::fromLatin1(name), readAll(imagingData(name))});
    const QImage card(imagingData("card.png"));
    files.append({QStringLiteral("indexed.bmp"), encoded(card.convertToFormat(QImage::Format_Indexed8), "bmp")});
    files.append({QStringLiteral("mono.bmp"), encoded(card.convertToFormat(QImage::Format_Mono), "bmp")});
    files.append({QStringLiteral("lzw.tif"), encoded(card, "tiff", 1)});
    files.append({QStringLiteral("grey.png"), encoded(card.convertToFormat(QImage::Format_Grayscale8), "png")});
    // Run-length 8-bit bitmap, black left, white right, the bottom row with
    // literal pixels, the top row ended by the end of the bitmap.
    QByteArray rle;
    for (int y = 0; y < 16; ++y) {
        rle += y == 0 ? QByteArray("\0\x03\x01\0\x01\0\x15\0", 8) : QByteArray("\x0c\0\x0c\x01", 4);
        rle += QByteArray(y == 15 ? "\0\x01" : "\0\0", 2);
    }
    QByteArray bmp(62, 0);
    uchar* h = reinterpret_cast<uchar*>(bmp.data());
    h[0] = 'B', h[1] = 'M';
    qToLittleEndian<quint32>(quint32(62 + rle.size()), h + 2);
    qToLittleEndian<quint32>(62, h + 10);
    qToLittleEndian<quint32>(40, h + 14);
    qToLittleEndian<quint32>(24, h + 18);
    qToLittleEndian<quint32>(16, h + 22);
    qToLittleEndian<quint16>(1, h + 26);
    qToLittleEndian<quint16>(8, h + 28);
    qToLittleEndian<quint32>(1, h + 30); // RLE8
    qToLittleEndian<quint32>(quint32(rle.size()), h + 34);
    qToLittleEndian<quint32>(2, h + 46); // two colours: black, white
    h[58] = h[59] = h[60] = 255;
    files.append({QStringLiteral("rle8.bmp"), bmp + rle});
    return files;
}

} // namespace

// Qt's readers build a cut-off BMP from memory never written and a cut-off
// GIF or TIFF half blank; every cut of every format is refused, the same
// way on every run. (A 24-bit or 1-bit PCX does not use the palette
// GraphicsMagick writes after its pixels: cut there, it is still whole.)
TEST(ImageFile, EveryCutOfEveryFormatIsRefusedTheSameEveryTime) {
    for (const auto& [name, bytes] : goodFiles()) {
        ASSERT_GT(bytes.size(), 100) << name.toStdString();
        QImage whole;
        ASSERT_TRUE(LoadPictureData(bytes, name, whole));
        const qsizetype pixelsEnd = name.endsWith(QLatin1String(".pcx")) ? bytes.size() - 769 : bytes.size();
        for (qsizetype cut = 1; cut < bytes.size(); ++cut) {
            QImage first, second;
            QString why1, why2;
            const bool loaded = LoadPictureData(bytes.left(cut), name, first, &why1);
            EXPECT_EQ(loaded, LoadPictureData(bytes.left(cut), name, second, &why2));
            EXPECT_EQ(why1, why2);
            EXPECT_EQ(first, second);
            if (cut >= pixelsEnd) {
                EXPECT_EQ(first, whole) << name.toStdString() << " " << cut;
                continue;
            }
            EXPECT_FALSE(loaded) << name.toStdString() << " " << cut;
            EXPECT_TRUE(first.isNull());
            if (cut >= 128) {
                EXPECT_TRUE(why1.contains(QStringLiteral("uszkodzony lub niekompletny"))) << why1.toStdString();
            }
        }
    }
}

// Good files give exactly the pixels Qt's own readers give (PCX: the drawn areas above).
TEST(ImageFile, GoodFilesLoadAsQtsReadersDecodeThem) {
    for (const auto& [name, bytes] : goodFiles()) {
        if (name.endsWith(QLatin1String(".pcx"))) continue;
        QImage ours, qts;
        QString why;
        ASSERT_TRUE(LoadPictureData(bytes, name, ours, &why)) << name.toStdString() << " " << why.toStdString();
        ASSERT_TRUE(qts.loadFromData(bytes));
        EXPECT_EQ(ours, qts.convertToFormat(QImage::Format_RGB32)) << name.toStdString();
    }
    // The largest side let through is read.
    QImage wide(int(kMaxPictureSide), 1, QImage::Format_RGB32);
    wide.fill(qRgb(1, 2, 3));
    QImage out;
    EXPECT_TRUE(LoadPictureData(encoded(wide, "bmp"), QStringLiteral("wide.bmp"), out));
    EXPECT_EQ(out, wide);
}

// The size comes from the header: a header alone is enough to refuse, and
// the text says why (not "damaged").
TEST(ImageFile, TooLargePicturesAreRefusedFromTheirHeader) {
    const auto le16 = [](QByteArray& d, int at, quint32 v) { qToLittleEndian<quint16>(quint16(v), d.data() + at); };
    const auto le32 = [](QByteArray& d, int at, quint32 v) { qToLittleEndian<quint32>(v, d.data() + at); };
    const auto be32 = [](QByteArray& d, int at, quint32 v) { qToBigEndian<quint32>(v, d.data() + at); };
    const auto patched = [](const char* name, int keep, const std::function<void(QByteArray&)>& patch) {
        QByteArray d = readAll(imagingData(name)).left(keep);
        patch(d);
        return d;
    };
    const QByteArray jpeg = readAll(imagingData("card.jpg"));
    const int sof = int(jpeg.indexOf("\xff\xc0"));
    QByteArray tiff("II*\0\x08\0\0\0\x02\0", 10); // a directory of width and height only
    tiff += QByteArray("\0\x01\x04\0\x01\0\0\0", 8) + QByteArray(4, 0) + QByteArray("\x01\x01\x04\0\x01\0\0\0", 8) +
            QByteArray(4, 0) + QByteArray(4, 0);
    le32(tiff, 18, 100000);
    le32(tiff, 30, 10);
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"side.bmp", patched("card.bmp", 54, [&](QByteArray& d) { le32(d, 18, 16001); })},
        {"area.bmp", patched("card.bmp", 54, [&](QByteArray& d) { le32(d, 18, 8001), le32(d, 22, 8000); })},
        {"top-down.bmp", patched("card.bmp", 54, [&](QByteArray& d) { le32(d, 18, 9920), le32(d, 22, quint32(-14032)); })},
        {"a.png", patched("card.png", 33, [&](QByteArray& d) { be32(d, 16, 20000); })},
        {"a.jpg", patched("card.jpg", sof + 10, [&](QByteArray& d) { qToBigEndian<quint16>(12000, d.data() + sof + 5), qToBigEndian<quint16>(12000, d.data() + sof + 7); })},
        {"a.gif", patched("card.gif", 13, [&](QByteArray& d) { le16(d, 6, 65535); })},
        {"a.tif", tiff},
        {"a.pcx", patched("card.pcx", 128, [&](QByteArray& d) { le16(d, 8, 40000), le16(d, 66, 40002); })},
    };
    for (const auto& c : cases) {
        QImage out;
        QString why;
        EXPECT_FALSE(LoadPictureData(c.bytes, QString::fromLatin1(c.name), out, &why)) << c.name;
        EXPECT_TRUE(why.contains(QStringLiteral("jest zbyt duży"))) << c.name << " " << why.toStdString();
        EXPECT_TRUE(why.contains(QString::fromLatin1(c.name))) << why.toStdString();
    }
}

// A name that is not a regular file is refused at once, a fifo without
// waiting for a writer.
TEST(ImageFile, FoldersAndFifosAreNotRegularFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("karta.jpg")), fifo = dir.filePath(QStringLiteral("karta.bmp"));
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {folder, fifo, QStringLiteral("/dev/zero")}) {
        QImage out;
        QString why;
        EXPECT_FALSE(LoadPicture(path, out, &why));
        EXPECT_EQ(why, QStringLiteral("%1 nie jest zwykłym plikiem (to folder, kolejka lub urządzenie) - nie można "
                                      "odczytać obrazu")
                           .arg(QDir::toNativeSeparators(path)));
    }
    QImage out;
    QString why;
    EXPECT_FALSE(LoadPicture(dir.filePath(QStringLiteral("brak.png")), out, &why));
    EXPECT_TRUE(why.startsWith(QStringLiteral("Nie znaleziono pliku"))) << why.toStdString();
}

// Everything the fuzzer ever found, and damaged cards met elsewhere: no
// crash, the same outcome twice, and either a refusal or the card it is.
// Files under pending/ still fail and are not replayed.
TEST(ImageFile, FuzzRegressionsGiveTheSameRefusalOrTheRightCardTwice) {
    QDirIterator it(QStringLiteral(KARTOVO_TEST_DATA "/fuzz-regressions"), QDir::Files);
    int replayed = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String(".md"))) continue;
        const QByteArray bytes = readAll(path);
        const test::RoadOutcome first = test::RunPictureRoad(bytes, true), second = test::RunPictureRoad(bytes, true);
        EXPECT_EQ(first, second) << path.toStdString() << "\n" << first.describe() << "\n" << second.describe();
        if (first.codeRead && first.refusal.isEmpty()) {
            EXPECT_EQ(first.parameter, 19) << path.toStdString();
        }
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

// A JPEG is whole when no scan follows its last end of image: a thumbnail
// (a whole small JPEG in an APP1 segment) must not make a cut main image look
// whole; several scans (progressive) and bytes after the end are fine.
TEST(ImageFile, JpegIsWholeWhenItsLastScanIsEnded) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto jpeg = [](const QImage& img, bool progressive) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(progressive);
        writer.write(img);
        return bytes;
    };
    QImage card(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < card.height(); ++y)
        for (int x = 0; x < card.width(); ++x) card.setPixel(x, y, qRgb(x % 256, (x * y) % 256, y % 256));
    const QByteArray main = jpeg(card, false), thumb = jpeg(card.scaled(30, 20), false);
    QByteArray app1 = QByteArray("\xff\xe1", 2);
    const int length = 2 + 6 + int(thumb.size());
    app1 += char(length >> 8);
    app1 += char(length & 0xff);
    app1 += QByteArray("Exif\0\0", 6) + thumb;
    const QByteArray withThumb = main.left(2) + app1 + main.mid(2);

    QImage out;
    EXPECT_TRUE(LoadPicture(writeFile(dir, "thumb.jpg", withThumb), out));
    EXPECT_TRUE(LoadPicture(writeFile(dir, "progressive.jpg", jpeg(card, true)), out));
    EXPECT_TRUE(LoadPicture(writeFile(dir, "trailer.jpg", main + QByteArray(100, 'x')), out));
    QString error;
    EXPECT_FALSE(LoadPicture(writeFile(dir, "thumb-cut.jpg", withThumb.left(withThumb.size() - 200)), out, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("uszkodzony"))) << error.toStdString();
}

TEST(ImageFile, SavesA24BitBitmapOverTheFileItCameFrom) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writeFile(dir, "card.png", readAll(imagingData("card.png")));
    QImage card;
    ASSERT_TRUE(LoadPicture(path, card));
    ConvertToBW(card);
    QString error;
    ASSERT_TRUE(SavePictureBitmap(card, path, &error)) << error.toStdString();

    const QByteArray saved = readAll(path);
    ASSERT_GT(saved.size(), 54);
    EXPECT_TRUE(saved.startsWith("BM"));
    EXPECT_EQ(static_cast<unsigned char>(saved[28]), 24); // bits per pixel
    EXPECT_EQ(QImageReader(path).format(), QByteArray("bmp"));
    QImage back;
    ASSERT_TRUE(LoadPicture(path, back));
    EXPECT_EQ(back, card);

    QImage indexed = card.convertToFormat(QImage::Format_Indexed8);
    ASSERT_TRUE(SavePictureBitmap(indexed, path));
    EXPECT_EQ(static_cast<unsigned char>(readAll(path)[28]), 24);

    EXPECT_FALSE(SavePictureBitmap(card, dir.filePath(QStringLiteral("no/such/folder/x.bmp")), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Nie można zapisać obrazu")));
    EXPECT_FALSE(SavePictureBitmap(QImage(), path));
    ASSERT_TRUE(LoadPicture(path, back)); // the failed saves left the file alone
    EXPECT_EQ(back, card);
}

TEST(ImageFile, SavedBitmapIsByteForByteWhatQtsWriterMakes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Odd widths need row padding; rows are packed four pixels at a time with
    // the rest one by one (widths 5 to 9); a block of rows is 1 MB, so 700
    // rows of a 1001-pixel picture span several blocks and a short last one.
    // The last, small picture is written over the big one's file.
    for (const QSize size :
         {QSize(1, 1), QSize(5, 3), QSize(6, 2), QSize(7, 2), QSize(9, 2), QSize(1001, 700), QSize(3, 2)}) {
        QImage picture(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) picture.setPixel(x, y, qRgb(x * 7 % 256, y * 3 % 256, (x ^ y) % 256));
        if (size.width() == 5) picture.setDotsPerMeterX(11811);
        const QString ours = dir.filePath(QStringLiteral("ours.bmp")), qts = dir.filePath(QStringLiteral("qt.bmp"));
        ASSERT_TRUE(SavePictureBitmap(picture, ours));
        ASSERT_TRUE(picture.save(qts, "BMP"));
        EXPECT_EQ(readAll(ours), readAll(qts)) << size.width() << "x" << size.height();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("ours.bmp.part"))));
}

// The old file's storage is reused, but never where another name shares it.
TEST(ImageFile, SavingReplacesTheNameNotFilesLinkedToIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(qRgb(10, 200, 30));
    const QByteArray old("not a picture, kept");
    const QString path = dir.filePath(QStringLiteral("Markery.bmp")), part = path + QStringLiteral(".part");
    const QString other = writeFile(dir, "other.txt", old);

    ASSERT_TRUE(QFile::link(other, path)); // a symbolic link in the name's place
    ASSERT_TRUE(SavePictureBitmap(picture, path));
    EXPECT_EQ(readAll(other), old);
    EXPECT_FALSE(QFileInfo(path).isSymLink());

    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(::link(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0); // a hard link
    ASSERT_TRUE(SavePictureBitmap(picture, path));
    EXPECT_EQ(readAll(other), old);

    ASSERT_TRUE(QFile::link(other, part)); // a leftover of an interrupted save
    ASSERT_TRUE(SavePictureBitmap(picture, path));
    EXPECT_EQ(readAll(other), old);
    EXPECT_FALSE(QFile::exists(part));
    QImage back;
    ASSERT_TRUE(LoadPicture(path, back));
    EXPECT_EQ(back, picture);
}
