#include "ImagingTestSupport.h"
#include "imaging/BitmapHelpers.h"

#include <gtest/gtest.h>

using namespace kartovo;
using kartovo::test::randomImage;

TEST(BitmapRows, AreRoundedUpToAnEvenByteCount) {
    EXPECT_EQ(BitmapRowBytes(3, 8), 4);
    EXPECT_EQ(BitmapRowBytes(4, 8), 4);
    EXPECT_EQ(BitmapRowBytes(3, 15), 6);
    EXPECT_EQ(BitmapRowBytes(3, 16), 6);
    EXPECT_EQ(BitmapRowBytes(3, 24), 10);
    EXPECT_EQ(BitmapRowBytes(2, 24), 6);
    EXPECT_EQ(BitmapRowBytes(3, 32), 12);

    ColorTripleArray pixels(3, 2);
    const std::vector<std::uint8_t> rows = PackBitmapRows(8, pixels, {qRgb(0, 0, 0)});
    EXPECT_EQ(rows.size(), 8u);
}

TEST(BitmapRows, Depth15ClampsInTheCallersArray) {
    ColorTripleArray pixels(1, 1);
    pixels(0, 0) = {200, 10, 40}; // blue, green, red
    const std::vector<std::uint8_t> rows = PackBitmapRows(15, pixels, {});
    EXPECT_EQ(pixels(0, 0), (ColorTriple{31, 10, 31}));
    const unsigned word = rows[0] | (rows[1] << 8);
    EXPECT_EQ(word, (31u * 32 + 10) * 32 + 31);
}

TEST(BitmapRows, Depth16ClampsGreenAt63) {
    ColorTripleArray pixels(2, 1);
    pixels(0, 0) = {40, 70, 40};
    pixels(1, 0) = {1, 2, 3};
    const std::vector<std::uint8_t> rows = PackBitmapRows(16, pixels, {});
    EXPECT_EQ(pixels(0, 0), (ColorTriple{31, 63, 31}));
    EXPECT_EQ(rows[0] | (rows[1] << 8), 0xffff);
    EXPECT_EQ(rows[2] | (rows[3] << 8), (3 * 64 + 2) * 32 + 1);
}

TEST(BitmapRows, PackingLayouts) {
    ColorTripleArray pixels(1, 2);
    pixels(0, 0) = {1, 2, 3};
    pixels(0, 1) = {4, 5, 6};
    EXPECT_EQ(PackBitmapRows(24, pixels, {}), (std::vector<std::uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_EQ(PackBitmapRows(32, pixels, {}), (std::vector<std::uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
    const QList<QRgb> palette{qRgb(0, 0, 0), qRgb(6, 5, 4), qRgb(3, 2, 1), qRgb(3, 2, 1)};
    EXPECT_EQ(PackBitmapRows(8, pixels, palette), (std::vector<std::uint8_t>{2, 0, 1, 0}));
}

TEST(BitmapRows, UnpackReadsNativeDepths) {
    const std::uint8_t rows15[] = {0x43, 0x04, 0xff, 0x7f}; // (1, 2, 3) and white, 2 pixels of one row
    ColorTripleArray p = UnpackBitmapRows(15, rows15, 4, 2, 1, {});
    EXPECT_EQ(p(0, 0), (ColorTriple{3, 2, 1}));
    EXPECT_EQ(p(1, 0), (ColorTriple{31, 31, 31}));

    const std::uint8_t rows16[] = {0xff, 0xff};
    EXPECT_EQ(UnpackBitmapRows(16, rows16, 2, 1, 1, {})(0, 0), (ColorTriple{31, 63, 31}));

    // Depth 8: palette colours; an index past the palette reads black. Rows of 3 bytes padded to 4.
    const std::uint8_t rows8[] = {1, 0, 7, 99, 0, 0, 1, 99};
    p = UnpackBitmapRows(8, rows8, 4, 3, 2, {qRgb(10, 20, 30), qRgb(40, 50, 60)});
    EXPECT_EQ(p(0, 0), (ColorTriple{60, 50, 40}));
    EXPECT_EQ(p(1, 0), (ColorTriple{30, 20, 10}));
    EXPECT_EQ(p(2, 0), (ColorTriple{0, 0, 0}));
    EXPECT_EQ(p(2, 1), (ColorTriple{60, 50, 40}));
}

TEST(BitmapRows, NearestPaletteIndexTakesTheFirstOfEqualDistances) {
    const QList<QRgb> palette{qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(250, 0, 0), qRgb(250, 0, 0)};
    EXPECT_EQ(NearestPaletteIndex(palette, 255, 10, 10), 2);
    EXPECT_EQ(NearestPaletteIndex(palette, 200, 200, 190), 1);
    EXPECT_EQ(NearestPaletteIndex(palette, 10, 0, 0), 0);
    EXPECT_EQ(NearestPaletteIndex({}, 10, 0, 0), 0);
}

TEST(BitmapPixels, DepthsOfQImageFormats) {
    EXPECT_EQ(BitmapDepth(QImage(1, 1, QImage::Format_Indexed8)), 8);
    EXPECT_EQ(BitmapDepth(QImage(1, 1, QImage::Format_RGB555)), 15);
    EXPECT_EQ(BitmapDepth(QImage(1, 1, QImage::Format_RGB16)), 16);
    EXPECT_EQ(BitmapDepth(QImage(1, 1, QImage::Format_RGB888)), 24);
    EXPECT_EQ(BitmapDepth(QImage(1, 1, QImage::Format_RGB32)), 32);
    EXPECT_EQ(BitmapDepth(QImage(1, 1, QImage::Format_ARGB32_Premultiplied)), 32);
    EXPECT_EQ(BitmapDepth(QImage(1, 1, QImage::Format_Mono)), 1);
    EXPECT_EQ(BitmapDepth(QImage()), 0);
}

TEST(BitmapPixels, ReadsEachDepthInItsOwnUnits) {
    QImage img15(2, 1, QImage::Format_RGB555);
    img15.setPixel(0, 0, qRgb(255, 0, 8));
    img15.setPixel(1, 0, qRgb(0, 255, 0));
    ColorTripleArray pixels;
    int bits = 0;
    GetBitmapPixels(img15, pixels, bits);
    EXPECT_EQ(bits, 15);
    EXPECT_EQ(pixels(0, 0), (ColorTriple{1, 0, 31}));
    EXPECT_EQ(pixels(1, 0), (ColorTriple{0, 31, 0}));

    QImage img16(1, 1, QImage::Format_RGB16);
    img16.setPixel(0, 0, qRgb(0, 255, 255));
    GetBitmapPixels(img16, pixels, bits);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(pixels(0, 0), (ColorTriple{31, 63, 0}));

    QImage img24(2, 2, QImage::Format_RGB888);
    img24.fill(qRgb(1, 2, 3));
    img24.setPixel(1, 0, qRgb(250, 5, 6)); // top row: y = 0
    GetBitmapPixels(img24, pixels, bits);
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(pixels(1, 0), (ColorTriple{6, 5, 250}));
    EXPECT_EQ(pixels(1, 1), (ColorTriple{3, 2, 1}));

    QImage img8(3, 1, QImage::Format_Indexed8);
    img8.setColorTable({qRgb(0, 0, 0), qRgb(100, 150, 200)});
    img8.fill(1);
    GetBitmapPixels(img8, pixels, bits);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(pixels(2, 0), (ColorTriple{200, 150, 100}));
}

TEST(BitmapPixels, WriteThenReadGivesTheSamePictureAtEveryDepth) {
    std::mt19937 rng(11);
    for (QImage::Format f : {QImage::Format_Indexed8, QImage::Format_RGB16, QImage::Format_RGB888, QImage::Format_RGB32}) {
        SCOPED_TRACE(int(f));
        const QImage original = randomImage(7, 5, f, rng);
        ColorTripleArray pixels;
        int bits = 0;
        GetBitmapPixels(original, pixels, bits);
        ASSERT_EQ(pixels.width(), 7);
        ASSERT_EQ(pixels.height(), 5);
        QImage written = f == QImage::Format_Indexed8 ? original : QImage();
        SetBitmapPixels(written, bits, pixels);
        EXPECT_EQ(written.format(), f);
        EXPECT_EQ(written.size(), original.size());
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) EXPECT_EQ(written.pixel(x, y), original.pixel(x, y)) << x << "," << y;
    }
}

TEST(BitmapPixels, Depth8WithoutAColourTableUsesAGreyRamp) {
    ColorTripleArray pixels(2, 1);
    pixels(0, 0) = {100, 100, 100};
    pixels(1, 0) = {255, 0, 0}; // pure blue: nearest grey is 85
    QImage picture;
    SetBitmapPixels(picture, 8, pixels);
    ASSERT_EQ(picture.format(), QImage::Format_Indexed8);
    EXPECT_EQ(picture.pixelIndex(0, 0), 100);
    EXPECT_EQ(picture.pixelIndex(1, 0), 85);
}

TEST(BitmapErrors, UnsupportedDepthsCarryNumberSourceAndDescription) {
    ColorTripleArray pixels;
    int bits = -5;
    try {
        GetBitmapPixels(QImage(4, 4, QImage::Format_Mono), pixels, bits);
        FAIL() << "no error";
    } catch (const BitmapError& e) {
        EXPECT_EQ(e.number(), -2147220503);
        EXPECT_EQ(e.source(), QStringLiteral("DDBHelper.GetBitmapPixels"));
        EXPECT_EQ(e.description(), QStringLiteral("Invalid number of bits per pixel: 1"));
    }
    EXPECT_EQ(bits, -5);

    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QImage before = picture;
    ColorTripleArray some(2, 2);
    try {
        SetBitmapPixels(picture, 12, some);
        FAIL() << "no error";
    } catch (const BitmapError& e) {
        EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x800403E9u));
        EXPECT_EQ(e.source(), QStringLiteral("DDBHelper.GetBitmapPixels"));
        EXPECT_EQ(e.description(), QStringLiteral("Invalid number of bits per pixel: 12"));
    }
    EXPECT_EQ(picture, before);
    EXPECT_THROW(BitmapRowBytes(3, 4), BitmapError);

    const BitmapError palette = MatchingPaletteError();
    EXPECT_EQ(palette.number(), -2147220502);
    EXPECT_EQ(palette.source(), QStringLiteral("DDBHelper.MatchColorPalette"));
    EXPECT_EQ(palette.description(), QStringLiteral("Error matching bitmap palette"));
}
