#include "ImagingTestSupport.h"
#include "imaging/ImageFile.h"
#include "imaging/PicMod.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdlib>

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
