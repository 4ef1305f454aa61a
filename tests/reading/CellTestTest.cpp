#include "reading/MarkReading.h"
#include "recognition/CheckPoint.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace kartovo;

// The reading's cell test must decide every cell as CheckPoint does: windows
// at fractional centres and sizes, half-pixel positions, cells hanging over
// the picture's edges, black counts right at the threshold.
TEST(CellTest, DecidesEveryCellAsCheckPoint) {
    QRandomGenerator random(20261206);
    QImage picture(173, 121, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const quint32 r = random.bounded(10);
            picture.setPixel(x, y, r < 3 ? 0xff000000u : r < 4 ? 0xff010000u : 0xffffffffu);
        }
    int marked = 0, empty = 0;
    for (int n = 0; n < 20000; ++n) {
        const float cw = 3.0f + static_cast<float>(random.bounded(400)) / 8.0f;
        const float rh = 2.5f + static_cast<float>(random.bounded(300)) / 8.0f;
        const float x = static_cast<float>(random.bounded(-200, 1600)) / 8.0f;
        const float y = static_cast<float>(random.bounded(-200, 1200)) / 8.0f;
        const double threshold = random.bounded(4) * 0.2;
        const auto expected = CheckPoint(picture, x, y, cw, rh, threshold);
        ASSERT_EQ(CheckCell(picture, x, y, cw, rh, threshold), expected)
            << "x " << x << " y " << y << " cw " << cw << " rh " << rh << " p " << threshold;
        (expected == 0 ? marked : empty)++;
    }
    EXPECT_GT(marked, 1000);
    EXPECT_GT(empty, 1000);
}

TEST(CellTest, ThresholdIsStrict) {
    // A 12 x 11 window (cw 13, rh 12) holds 132 pixels: 22 black against 110
    // others is exactly 0.2 and not marked; 23 is.
    QImage picture(40, 40, QImage::Format_RGB32);
    picture.fill(Qt::white);
    const float x = 20.25f, y = 20.0f;
    // The window: columns 13..24, rows 25 up to 15.
    for (int k = 0; k < 22; ++k) picture.setPixel(13 + k % 11, 25 - k / 11, 0xff000000u);
    EXPECT_EQ(CheckCell(picture, x, y, 13.0f, 12.0f, 0.2), 1);
    EXPECT_EQ(CheckPoint(picture, x, y, 13.0f, 12.0f, 0.2), 1);
    picture.setPixel(14, 23, 0xff000000u);
    EXPECT_EQ(CheckCell(picture, x, y, 13.0f, 12.0f, 0.2), 0);
    EXPECT_EQ(CheckPoint(picture, x, y, 13.0f, 12.0f, 0.2), 0);
}
