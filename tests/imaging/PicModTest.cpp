#include "imaging/BitmapHelpers.h"
#include "imaging/PicMod.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

using namespace kartovo;

namespace {

// Random bytes in every pixel (at depth 8 a random palette of 256 colours);
// 32-bit pixels opaque.
QImage randomImage(int w, int h, QImage::Format format, std::mt19937& rng) {
    QImage img(w, h, format);
    std::uniform_int_distribution<int> byte(0, 255);
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i) table.append(qRgb(byte(rng), byte(rng), byte(rng)));
    if (format == QImage::Format_Indexed8) img.setColorTable(table);
    const bool opaque = format == QImage::Format_RGB32;
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * img.depth() / 8; ++i) img.scanLine(y)[i] = uchar(byte(rng) | (opaque && i % 4 == 3 ? 0xff : 0));
    return img;
}

// The operations written plainly: pixel by pixel, column by column, with the
// percentage after each column; black or white by `white(picture, x, y)`.
using PixelRule = std::function<bool(const QImage& img, int x, int y)>;

QImage plainOperation(const QImage& source, std::vector<int>& progress, const PixelRule& white, bool lastColumnAndTopRow) {
    const QImage img = source.convertToFormat(QImage::Format_RGB32);
    QImage out = img;
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

// Every pixel's bytes moved to their turned place; 32-bit pixels made
// opaque, 15-bit ones with the top bit set given full red, palette indices
// the first of their colour.
QImage plainRotate(const QImage& src, int angle, std::vector<int>& progress) {
    const int w = src.width(), h = src.height(), bytes = src.depth() / 8;
    const QImage::Format f = BitmapFormat(BitmapDepth(src));
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

QImage filled(int w, int h, QRgb colour) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

} // namespace

// Random pixels meet every threshold at exactly its value; sizes around the
// strip widths, thin pictures and a single pixel.
TEST(PicModOperations, MatchThePlainLoopsOnRandomPictures) {
    std::mt19937 rng(2024);
    const int thresholds[][3] = {{128, 90, 160}, {-5, 300, 0}, {300, 255, 255}, {0, -1, 40}, {255, 0, 256}};
    for (auto [w, h] : {std::pair{1, 1}, {1, 5}, {5, 1}, {2, 2}, {37, 23}, {513, 3}, {1030, 4}, {600, 17}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const QImage original = randomImage(w, h, QImage::Format_RGB32, rng);
        const auto check = [&](const std::function<void(QImage&, const ProgressCallback&)>& operation,
                               const PixelRule& white, bool wholePicture) {
            QImage mine = original;
            std::vector<int> progress, expectedProgress;
            operation(mine, [&](int p) { progress.push_back(p); });
            EXPECT_EQ(mine, plainOperation(original, expectedProgress, white, wholePicture));
            EXPECT_EQ(progress, expectedProgress);
        };
        const auto rgb = [](const QImage& img, int x, int y) {
            const QRgb p = img.pixel(x, y);
            return std::array<int, 3>{qRed(p), qGreen(p), qBlue(p)};
        };
        check([](QImage& i, const ProgressCallback& p) { ConvertToBW(i, p); },
              [&](const QImage& img, int x, int y) { const auto [r, g, b] = rgb(img, x, y); return (r + g + b) / 3.0 > 125; }, true);
        for (int colour : {-1, 0, 1, 2, 3})
            for (const auto& t : thresholds) {
                SCOPED_TRACE(testing::Message() << colour << " " << t[0] << " " << t[1] << " " << t[2]);
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
    EXPECT_EQ(mine.format(), QImage::Format_RGB32);
    EXPECT_EQ(mine, plainOperation(indexed, ignored, noiseRule(1), false));
    ConvertToBW(empty);
    RemoveNoise(empty, 1);
    EXPECT_TRUE(empty.isNull());
}

TEST(RotatePicture, MatchesThePlainLoopAtEveryDepthAndAngle) {
    // 270 is a counter-clockwise turn: the top-left pixel ends bottom-left.
    QImage corner = filled(4, 3, qRgb(255, 255, 255)), turned;
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
                table[200] = table[3];
                source.setColorTable(table);
            }
            for (int angle : {0, 90, 180, 270}) {
                SCOPED_TRACE(testing::Message() << "format " << int(f) << " " << w << "x" << h << " angle " << angle);
                std::vector<int> progress, expectedProgress;
                QImage mine;
                RotatePicture(source, mine, angle, [&](int p) { progress.push_back(p); });
                EXPECT_EQ(mine, plainRotate(source, angle, expectedProgress));
                EXPECT_EQ(progress, expectedProgress);
            }
        }
    }
}

TEST(RotatePicture, IntoItselfOrIntoAReusedPictureAndRefusals) {
    std::mt19937 rng(3);
    const QImage source = randomImage(300, 300, QImage::Format_RGB32, rng), sourceCopy = source.copy();
    std::vector<int> ignored;
    const QImage expected = plainRotate(source, 90, ignored);
    QImage same = source; // shares its pixels with the source until written
    RotatePicture(same, same, 90);
    EXPECT_EQ(same, expected);
    EXPECT_EQ(source, sourceCopy);
    QImage reused = filled(300, 300, qRgb(0, 255, 0)); // right size, its own memory
    const uchar* memory = reused.constBits();
    RotatePicture(source, reused, 90);
    EXPECT_EQ(reused, expected);
    EXPECT_EQ(reused.constBits(), memory);

    QImage mono(4, 4, QImage::Format_Mono), dst = filled(2, 2, qRgb(0, 0, 255));
    mono.fill(0);
    const QImage before = dst;
    try {
        RotatePicture(mono, dst, 90);
        FAIL() << "no error";
    } catch (const BitmapError& e) {
        EXPECT_EQ(e.number(), kErrInvalidBitsPerPixel);
    }
    EXPECT_EQ(dst, before);
    EXPECT_THROW(RotatePicture(filled(2, 2, 0), dst, 45), std::invalid_argument);
}
