#include "ImagingTestSupport.h"
#include "imaging/BitmapHelpers.h"
#include "imaging/PicMod.h"
#include "imaging/PixelBuffer.h"
#include "platform/Numbers.h"

#include <gtest/gtest.h>
#include <cmath>

using namespace kartovo;
using kartovo::test::ProgressLog;
using kartovo::test::randomImage;

namespace {

// Straightforward versions: load the buffer, loop column by column with real
// arithmetic, store it back.

int percent(int x, int w) { return CLng(static_cast<double>(x) / w * 100); }

void referenceConvertToBW(QImage& img, std::vector<int>& progress) {
    PixelBuffer buf;
    LoadPixelBuffer(buf, img);
    const int w = buf.header.width, h = buf.header.height;
    for (int x = 1; x <= w; ++x) {
        for (int y = 1; y <= h; ++y) {
            const double m = (buf(3, x, y) + buf(2, x, y) + buf(1, x, y)) / 3.0;
            const std::uint8_t v = m > 125 ? 255 : 0;
            buf(1, x, y) = buf(2, x, y) = buf(3, x, y) = v;
        }
        progress.push_back(percent(x, w));
    }
    StorePixelBuffer(buf, img);
}

void referenceFilterColors(QImage& img, int c, int tR, int tG, int tB, std::vector<int>& progress) {
    PixelBuffer buf;
    LoadPixelBuffer(buf, img);
    const int w = buf.header.width, h = buf.header.height;
    for (int x = 1; x <= w; ++x) {
        for (int y = 1; y <= h; ++y) {
            const int r = buf(3, x, y), g = buf(2, x, y), b = buf(1, x, y);
            bool black = false;
            if (c == 0) black = r >= tR && g <= tG && b <= tB;
            else if (c == 1) black = r <= tR && g >= tG && b <= tB;
            else if (c == 2) black = r <= tR && g <= tG && b >= tB;
            const std::uint8_t v = black ? 0 : 255;
            buf(1, x, y) = buf(2, x, y) = buf(3, x, y) = v;
        }
        progress.push_back(percent(x, w));
    }
    StorePixelBuffer(buf, img);
}

void referenceRemoveNoise(QImage& img, int sensitivity, std::vector<int>& progress) {
    const double t = (sensitivity + 1) * 64;
    PixelBuffer buf;
    LoadPixelBuffer(buf, img);
    const int w = img.width(), h = img.height();
    for (int x = 1; x <= w - 1; ++x) {
        for (int y = 1; y <= h - 1; ++y) {
            double quarters = 0;
            for (int ch = 1; ch <= 3; ++ch) {
                const int s = buf(ch, x, y) + buf(ch, x + 1, y) + buf(ch, x, y + 1) + buf(ch, x + 1, y + 1);
                quarters += std::ceil(s / 4.0);
            }
            const std::uint8_t v = quarters / 3 > t ? 255 : 0;
            buf(1, x, y) = buf(2, x, y) = buf(3, x, y) = v;
        }
        progress.push_back(percent(x, w));
    }
    StorePixelBuffer(buf, img);
}

QImage referenceRotate(const QImage& source, int angle, std::vector<int>& progress) {
    ColorTripleArray src;
    int bits = 0;
    GetBitmapPixels(source, src, bits);
    const int w = src.width(), h = src.height();
    const bool turned = angle == 90 || angle == 270;
    ColorTripleArray dst(turned ? h : w, turned ? w : h);
    for (int x = 0; x <= w - 1; ++x) {
        for (int y = 0; y <= h - 1; ++y) {
            switch (angle) {
            case 0: dst(x, y) = src(x, y); break;
            case 90: dst(h - 1 - y, x) = src(x, y); break;
            case 180: dst(w - 1 - x, h - 1 - y) = src(x, y); break;
            case 270: dst(y, w - 1 - x) = src(x, y); break;
            }
        }
        progress.push_back(percent(x, w));
    }
    QImage out;
    if (bits == 8) out = source; // the destination's palette is the source's
    SetBitmapPixels(out, bits, dst);
    return out;
}

QImage grey(int w, int h, int level) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(qRgb(level, level, level));
    return img;
}

} // namespace

TEST(ColumnProgress, IsTheRoundedPercentageHalvesToEven) {
    EXPECT_EQ(ColumnProgress(1, 8), 12); // 12.5
    EXPECT_EQ(ColumnProgress(3, 8), 38); // 37.5
    EXPECT_EQ(ColumnProgress(2, 3), 67);
    EXPECT_EQ(ColumnProgress(0, 5), 0);
    EXPECT_EQ(ColumnProgress(5, 5), 100);
}

TEST(ConvertToBW, MeanAbove125IsWhite) {
    QImage img(2, 1, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(125, 125, 126)); // mean 125.33
    img.setPixel(1, 0, qRgb(125, 125, 125));
    ConvertToBW(img);
    EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(1, 0), qRgb(0, 0, 0));
}

TEST(FilterColors, RedThresholdsAreInclusive) {
    QImage img(3, 1, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(150, 100, 100));
    img.setPixel(1, 0, qRgb(149, 0, 0));
    img.setPixel(2, 0, qRgb(255, 101, 0));
    FilterColors(img, 0, 150, 100, 100);
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(2, 0), qRgb(255, 255, 255));
}

TEST(FilterColors, GreenAndBlueKeepTheirOwnChannel) {
    QImage img(2, 1, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(100, 150, 100));
    img.setPixel(1, 0, qRgb(101, 150, 100));
    QImage green = img;
    FilterColors(green, 1, 100, 150, 100);
    EXPECT_EQ(green.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(green.pixel(1, 0), qRgb(255, 255, 255));

    img.setPixel(0, 0, qRgb(100, 100, 150));
    img.setPixel(1, 0, qRgb(100, 100, 149));
    FilterColors(img, 2, 100, 100, 150);
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(1, 0), qRgb(255, 255, 255));
}

TEST(FilterColors, UnknownColourLeavesEverythingWhite) {
    for (int colour : {-1, 3}) {
        QImage img(2, 2, QImage::Format_RGB32);
        img.fill(qRgb(0, 0, 0)); // passes every test with thresholds 0
        FilterColors(img, colour, 0, 0, 0);
        EXPECT_EQ(img, grey(2, 2, 255)) << colour;
    }
}

TEST(RemoveNoise, BlockSum513IsWhiteAnd512IsBlackAtMediumSensitivity) {
    // 2 x 2: only the bottom-left pixel has a whole block.
    QImage img = grey(2, 2, 128);
    img.setPixel(1, 1, qRgb(129, 129, 129)); // sums 513 -> quarters 129, b = 129 > 128
    RemoveNoise(img, 1);
    EXPECT_EQ(img.pixel(0, 1), qRgb(255, 255, 255));
    // The last column and the top row keep their grey.
    EXPECT_EQ(img.pixel(1, 1), qRgb(129, 129, 129));
    EXPECT_EQ(img.pixel(0, 0), qRgb(128, 128, 128));
    EXPECT_EQ(img.pixel(1, 0), qRgb(128, 128, 128));

    img = grey(2, 2, 128); // sums 512 -> b = 128
    RemoveNoise(img, 1);
    EXPECT_EQ(img.pixel(0, 1), qRgb(0, 0, 0));
}

TEST(RemoveNoise, SensitivitySetsTheThreshold) {
    QImage low = grey(2, 2, 65), high = grey(2, 2, 193);
    QImage lowAtHigh = low;
    RemoveNoise(low, 0); // 65 > 64
    RemoveNoise(lowAtHigh, 2);
    RemoveNoise(high, 2); // 193 > 192
    EXPECT_EQ(low.pixel(0, 1), qRgb(255, 255, 255));
    EXPECT_EQ(lowAtHigh.pixel(0, 1), qRgb(0, 0, 0));
    EXPECT_EQ(high.pixel(0, 1), qRgb(255, 255, 255));

    // No sensitivity chosen (-1) gives T = 0: only a black block stays black.
    // A smaller value would make even black blocks white.
    QImage black = grey(6, 2, 0), blackBelowZero = grey(6, 2, 0);
    RemoveNoise(black, -1);
    RemoveNoise(blackBelowZero, -2);
    EXPECT_EQ(black, grey(6, 2, 0));
    for (int x = 0; x < 5; ++x) EXPECT_EQ(blackBelowZero.pixel(x, 1), qRgb(255, 255, 255)) << x;
}

TEST(RemoveNoise, UsesOnlyPixelsNotYetRewritten) {
    // A white dot above a dark area: the block of the pixel below it must see
    // the dot, not a result already written over it.
    QImage img = grey(3, 3, 0);
    img.setPixel(0, 1, qRgb(255, 255, 255));
    img.setPixel(1, 1, qRgb(255, 255, 255));
    img.setPixel(0, 0, qRgb(255, 255, 255));
    img.setPixel(1, 0, qRgb(255, 255, 255));
    std::vector<int> expected;
    QImage reference = img;
    referenceRemoveNoise(reference, 0, expected);
    RemoveNoise(img, 0);
    EXPECT_EQ(img, reference);
    EXPECT_EQ(img.pixel(0, 2), qRgb(255, 255, 255)); // block (0..1, 1..2): two white pixels, mean 127.5 > 64
    EXPECT_EQ(img.pixel(0, 1), qRgb(255, 255, 255));
}

TEST(PicModOperations, MatchTheColumnByColumnLoopsOnRandomPictures) {
    std::mt19937 rng(2024);
    // Sizes around the strip widths, thin pictures and a single pixel.
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 5}, {5, 1}, {2, 2}, {37, 23}, {513, 3}, {1030, 4}, {600, 17}};
    for (auto [w, h] : sizes) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const QImage original = randomImage(w, h, QImage::Format_RGB32, rng);
        {
            QImage mine = original, ref = original;
            ProgressLog log;
            std::vector<int> refProgress;
            ConvertToBW(mine, log.callback());
            referenceConvertToBW(ref, refProgress);
            EXPECT_EQ(mine, ref);
            EXPECT_EQ(log.values, refProgress);
        }
        // Thresholds inside the channel range and beyond both of its ends.
        const int thresholds[][3] = {{128, 90, 160}, {-5, 300, 0}, {300, 255, 255}, {0, -1, 40}, {255, 0, 256}};
        for (int colour : {0, 1, 2, 5}) {
            for (const auto& t : thresholds) {
                QImage mine = original, ref = original;
                ProgressLog log;
                std::vector<int> refProgress;
                FilterColors(mine, colour, t[0], t[1], t[2], log.callback());
                referenceFilterColors(ref, colour, t[0], t[1], t[2], refProgress);
                EXPECT_EQ(mine, ref) << colour << " " << t[0] << " " << t[1] << " " << t[2];
                EXPECT_EQ(log.values, refProgress);
            }
        }
        for (int sensitivity : {0, 1, 2}) {
            QImage mine = original, ref = original;
            ProgressLog log;
            std::vector<int> refProgress;
            RemoveNoise(mine, sensitivity, log.callback());
            referenceRemoveNoise(ref, sensitivity, refProgress);
            EXPECT_EQ(mine, ref) << sensitivity;
            EXPECT_EQ(log.values, refProgress);
        }
    }
}

TEST(PicModOperations, OtherFormatsEndAsOpaque32BitPictures) {
    std::mt19937 rng(5);
    const QImage indexed = randomImage(9, 7, QImage::Format_Indexed8, rng);
    QImage mine = indexed, ref = indexed;
    std::vector<int> ignored;
    RemoveNoise(mine, 1);
    referenceRemoveNoise(ref, 1, ignored);
    EXPECT_EQ(mine.format(), QImage::Format_RGB32);
    EXPECT_EQ(mine, ref);

    QImage mono(8, 4, QImage::Format_Mono);
    mono.fill(1);
    ConvertToBW(mono);
    EXPECT_EQ(mono.format(), QImage::Format_RGB32);

    QImage empty;
    ConvertToBW(empty);
    RemoveNoise(empty, 1);
    EXPECT_TRUE(empty.isNull());
}

TEST(RotatePicture, CounterClockwiseTakesTopLeftToBottomLeft) {
    QImage img(4, 3, QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    img.setPixel(0, 0, qRgb(255, 0, 0));
    img.setPixel(3, 0, qRgb(0, 255, 0)); // top-right
    QImage rotated;
    RotatePicture(img, rotated, 270);
    ASSERT_EQ(rotated.size(), QSize(3, 4));
    EXPECT_EQ(rotated.pixel(0, 3), qRgb(255, 0, 0));
    EXPECT_EQ(rotated.pixel(0, 0), qRgb(0, 255, 0));

    RotatePicture(img, rotated, 90); // clockwise: top-left to top-right
    ASSERT_EQ(rotated.size(), QSize(3, 4));
    EXPECT_EQ(rotated.pixel(2, 0), qRgb(255, 0, 0));
    EXPECT_EQ(rotated.pixel(2, 3), qRgb(0, 255, 0));
}

TEST(RotatePicture, MatchesTheTripleLoopAtEveryDepthAndAngle) {
    std::mt19937 rng(99);
    const QImage::Format formats[] = {QImage::Format_Indexed8, QImage::Format_RGB555, QImage::Format_RGB16,
                                      QImage::Format_RGB888, QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied};
    for (QImage::Format f : formats) {
        for (auto [w, h] : {std::pair{37, 23}, std::pair{1, 6}, std::pair{530, 3}, std::pair{200, 150}}) {
            QImage source = randomImage(w, h, f, rng);
            if (f == QImage::Format_Indexed8) { // duplicate colours in the palette
                QList<QRgb> table = source.colorTable();
                table[200] = table[3];
                source.setColorTable(table);
            }
            for (int angle : {0, 90, 180, 270}) {
                SCOPED_TRACE(testing::Message() << "format " << int(f) << " " << w << "x" << h << " angle " << angle);
                ProgressLog log;
                std::vector<int> refProgress;
                QImage mine;
                RotatePicture(source, mine, angle, log.callback());
                const QImage ref = referenceRotate(source, angle, refProgress);
                EXPECT_EQ(mine, ref);
                EXPECT_EQ(log.values, refProgress);
            }
        }
    }
}

TEST(RotatePicture, IntoItselfOrIntoAReusedPicture) {
    std::mt19937 rng(3);
    const QImage source = randomImage(300, 300, QImage::Format_RGB32, rng);
    std::vector<int> ignored;
    const QImage expected = referenceRotate(source, 90, ignored);
    const QImage sourceCopy = source.copy();

    QImage same = source; // shares its pixels with the source until written
    RotatePicture(same, same, 90);
    EXPECT_EQ(same, expected);
    EXPECT_EQ(source, sourceCopy);

    QImage reused(300, 300, QImage::Format_RGB32); // right size, its own memory
    reused.fill(Qt::green);
    const uchar* memory = reused.constBits();
    RotatePicture(source, reused, 90);
    EXPECT_EQ(reused, expected);
    EXPECT_EQ(reused.constBits(), memory);

    QImage other = source;
    RotatePicture(source, other, 270); // shared with the source: never written over
    EXPECT_EQ(other, referenceRotate(source, 270, ignored));
    EXPECT_EQ(source, sourceCopy);
}

TEST(RotatePicture, RefusesUnsupportedDepthsAndAngles) {
    QImage mono(4, 4, QImage::Format_Mono);
    mono.fill(0);
    QImage dst(2, 2, QImage::Format_RGB32);
    dst.fill(Qt::blue);
    const QImage before = dst;
    try {
        RotatePicture(mono, dst, 90);
        FAIL() << "no error";
    } catch (const BitmapError& e) {
        EXPECT_EQ(e.number(), kErrInvalidBitsPerPixel);
        EXPECT_EQ(e.description(), QStringLiteral("Invalid number of bits per pixel: 1"));
    }
    EXPECT_EQ(dst, before);
    EXPECT_THROW(RotatePicture(grey(2, 2, 0), dst, 45), std::invalid_argument);
}
