#include "reading/MarkReading.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <cmath>

using namespace kartovo;

namespace {

constexpr QRgb kInk = 0xff000000u;

// The rule, pixel by pixel: the window's columns x - cw/2 - 1 + i and rows
// y + rh/2 - 1 - j (i <= cw - 2, j <= rh - 2), rounded half to even; a sample
// is ink when its pixel is exactly black, paper otherwise (off the picture
// too); marked (0) when ink > threshold x paper.
int Expected(const QImage& img, float x, float y, float cw, float rh, double threshold) {
    long ink = 0, paper = 0;
    for (int i = 0; float(i) <= cw - 2.0f; ++i)
        for (int j = 0; float(j) <= rh - 2.0f; ++j) {
            const int px = int(std::nearbyint(x - cw / 2.0f - 1.0f + float(i)));
            const int py = int(std::nearbyint(rh / 2.0f + y - 1.0f - float(j)));
            const bool black = img.valid(px, py) && (img.pixel(px, py) & 0xffffffu) == 0;
            (black ? ink : paper)++;
        }
    return ink > double(paper) * threshold ? 0 : 1;
}

} // namespace

// Small pictures where every sample is known: runs of whole pixels (counted
// four at a time), halves that repeat a column, windows over the edges.
TEST(CheckCell, DecidesEveryCellByTheRule) {
    QRandomGenerator random(20261206);
    int marked = 0, empty = 0;
    for (int n = 0; n < 3000; ++n) {
        QImage img(int(random.bounded(6, 30)), int(random.bounded(6, 30)), QImage::Format_RGB32);
        const quint32 share = random.bounded(1, 8);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                img.setPixel(x, y, random.bounded(10u) < share ? kInk : random.bounded(2) ? 0xff010101u : 0xffffffffu);
        const float cw = 2.0f + float(random.bounded(64)) / 4.0f, rh = 2.0f + float(random.bounded(64)) / 4.0f;
        const float x = float(random.bounded(-16, 140)) / 4.0f, y = float(random.bounded(-16, 140)) / 4.0f;
        const double threshold = random.bounded(5) * 0.1;
        const int expected = Expected(img, x, y, cw, rh, threshold);
        ASSERT_EQ(CheckCell(img, x, y, cw, rh, threshold), expected)
            << "x " << x << " y " << y << " cw " << cw << " rh " << rh << " t " << threshold;
        (expected == 0 ? marked : empty)++;
    }
    EXPECT_GT(marked, 500);
    EXPECT_GT(empty, 500);
}

// A 12 x 11 window (cw 13, rh 12 at 20.25, 20): columns 13..24, rows 15..25,
// 132 samples. At 20 % 22 black ones against 110 are not more than the
// threshold; 23 are. Only exact black is ink: a pixel one step off black in
// any channel is paper, whatever its alpha.
TEST(CheckCell, ThresholdAndInkAtExactlyTheirValues) {
    QImage img(40, 40, QImage::Format_ARGB32);
    img.fill(Qt::white);
    for (int k = 0; k < 22; ++k) img.setPixel(13 + k % 12, 25 - k / 12, kInk);
    EXPECT_EQ(CheckCell(img, 20.25f, 20.0f, 13.0f, 12.0f, 0.2), 1);
    for (const QRgb almost : {0xff010000u, 0xff000100u, 0xff000001u}) {
        img.setPixel(24, 15, almost);
        EXPECT_EQ(CheckCell(img, 20.25f, 20.0f, 13.0f, 12.0f, 0.2), 1) << std::hex << almost;
    }
    img.setPixel(24, 15, 0x00000000u); // transparent black is still black
    EXPECT_EQ(CheckCell(img, 20.25f, 20.0f, 13.0f, 12.0f, 0.2), 0);
    img.setPixel(24, 15, 0xffffffffu);
    img.setPixel(12, 15, kInk); // just outside the window
    img.setPixel(24, 26, kInk);
    EXPECT_EQ(CheckCell(img, 20.25f, 20.0f, 13.0f, 12.0f, 0.2), 1);
    // At threshold 0 one black sample marks the cell; none leaves it empty.
    img.fill(Qt::white);
    EXPECT_EQ(CheckCell(img, 20.25f, 20.0f, 13.0f, 12.0f, 0.0), 1);
    img.setPixel(13, 15, kInk);
    EXPECT_EQ(CheckCell(img, 20.25f, 20.0f, 13.0f, 12.0f, 0.0), 0);
}
