#include "ImagingTestSupport.h"
#include "imaging/PixelBuffer.h"

#include <gtest/gtest.h>

using namespace kartovo;
using kartovo::test::randomImage;

TEST(PixelBuffer, TopLeftPixelIsColumnOneOfTheTopRow) {
    QImage img(3, 2, QImage::Format_RGB32);
    img.fill(qRgb(10, 20, 30));
    img.setPixel(0, 0, qRgb(255, 0, 0));
    PixelBuffer buf;
    LoadPixelBuffer(buf, img);

    EXPECT_EQ(buf(3, 1, 2), 255);
    EXPECT_EQ(buf(1, 1, 2), 0);
    EXPECT_EQ(buf(2, 1, 2), 0);
    // The bottom-right pixel is (W, 1), blue first, reserved channel 0.
    const std::uint8_t* p = buf.pixel(3, 1);
    EXPECT_EQ(p[0], 30);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 10);
    EXPECT_EQ(p[3], 0);
    EXPECT_EQ(buf(4, 1, 2), 0);
}

TEST(PixelBuffer, HeaderDescribesABottomUp32BitBitmap) {
    QImage img(7, 5, QImage::Format_RGB888);
    img.fill(Qt::gray);
    PixelBuffer buf;
    LoadPixelBuffer(buf, img);
    EXPECT_EQ(buf.header.size, 40);
    EXPECT_EQ(buf.header.width, 7);
    EXPECT_EQ(buf.header.height, 5);
    EXPECT_EQ(buf.header.planes, 1);
    EXPECT_EQ(buf.header.bitCount, 32);
    EXPECT_EQ(buf.header.compression, 0);
    EXPECT_EQ(buf.header.sizeImage, 0);
    EXPECT_EQ(buf.byteCount(), 7u * 5 * 4);
    EXPECT_EQ(buf.pixel(1, 2) - buf.data(), 7 * 4); // rows follow each other without padding
}

TEST(PixelBuffer, SecondSmallerLoadLeavesNothingOfTheFirst) {
    QImage big(5, 4, QImage::Format_RGB32);
    big.fill(qRgb(255, 255, 255));
    QImage small(2, 3, QImage::Format_RGB32);
    small.fill(qRgb(1, 2, 3));
    PixelBuffer buf;
    LoadPixelBuffer(buf, big);
    LoadPixelBuffer(buf, small);

    ASSERT_EQ(buf.width(), 2);
    ASSERT_EQ(buf.height(), 3);
    ASSERT_EQ(buf.byteCount(), 2u * 3 * 4);
    for (std::size_t i = 0; i < buf.byteCount(); i += 4) {
        EXPECT_EQ(buf.data()[i], 3);
        EXPECT_EQ(buf.data()[i + 1], 2);
        EXPECT_EQ(buf.data()[i + 2], 1);
        EXPECT_EQ(buf.data()[i + 3], 0);
    }
    QImage stored;
    StorePixelBuffer(buf, stored);
    EXPECT_EQ(stored, small);
}

TEST(PixelBuffer, StoringAnUnchangedBufferLeavesThePictureAsItWas) {
    std::mt19937 rng(7);
    const QImage original = randomImage(13, 9, QImage::Format_RGB32, rng);
    QImage picture = original;
    PixelBuffer buf;
    LoadPixelBuffer(buf, picture);
    StorePixelBuffer(buf, picture);
    EXPECT_EQ(picture, original);

    // A 24-bit picture keeps its colours (it is held as 32-bit RGB afterwards).
    const QImage rgb888 = randomImage(5, 4, QImage::Format_RGB888, rng);
    picture = rgb888;
    LoadPixelBuffer(buf, picture);
    StorePixelBuffer(buf, picture);
    EXPECT_EQ(picture.format(), QImage::Format_RGB32);
    EXPECT_EQ(picture, rgb888.convertToFormat(QImage::Format_RGB32));
}

TEST(PixelBuffer, StoreWritesBufferRowOneAtTheBottom) {
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 0));
    PixelBuffer buf;
    LoadPixelBuffer(buf, picture);
    buf(3, 1, 1) = 255; // red, bottom-left
    buf(1, 4, 3) = 200; // blue, top-right
    buf(4, 2, 2) = 77;  // reserved byte: never shows
    StorePixelBuffer(buf, picture);
    EXPECT_EQ(picture.pixel(0, 2), qRgb(255, 0, 0));
    EXPECT_EQ(picture.pixel(3, 0), qRgb(0, 0, 200));
    EXPECT_EQ(picture.pixel(1, 1), qRgb(0, 0, 0));
    EXPECT_EQ(qAlpha(picture.pixel(1, 1)), 255);
}

TEST(PixelBuffer, StoreIntoAPictureOfAnotherSizeReplacesIt) {
    QImage source(3, 2, QImage::Format_RGB32);
    source.fill(qRgb(9, 8, 7));
    PixelBuffer buf;
    LoadPixelBuffer(buf, source);
    QImage other(40, 30, QImage::Format_Indexed8);
    StorePixelBuffer(buf, other);
    EXPECT_EQ(other, source);

    LoadPixelBuffer(buf, QImage());
    EXPECT_EQ(buf.width(), 0);
    EXPECT_EQ(buf.byteCount(), 0u);
    StorePixelBuffer(buf, other);
    EXPECT_TRUE(other.isNull());
}
