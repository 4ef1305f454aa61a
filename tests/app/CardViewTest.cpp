#include "app/CardPictures.h"

#include <gtest/gtest.h>

using namespace kartovo;

TEST(CardViewScrolling, HorizontalRangeOnlyForAnOverhang) {
    EXPECT_EQ(HorizontalScrollMaximum(500, 800), 0);
    EXPECT_EQ(HorizontalScrollMaximum(800, 800), 0);
    EXPECT_EQ(HorizontalScrollMaximum(801, 800), 21);
    EXPECT_EQ(HorizontalScrollMaximum(100000, 800), 32767);
}

TEST(CardViewScrolling, VerticalRangeStartsSixtyPixelsBeforeTheEdge) {
    EXPECT_EQ(VerticalScrollMaximum(560, 600), 60);
    EXPECT_EQ(VerticalScrollMaximum(530, 600), 0);
    EXPECT_EQ(VerticalScrollMaximum(540, 600), 0);
    EXPECT_EQ(VerticalScrollMaximum(541, 600), 41);
}

TEST(CardPictures, ViewsHearOfEveryChange) {
    CardPictures pictures;
    std::vector<Picture> heard;
    QObject::connect(&pictures, &CardPictures::pictureChanged, [&](Picture p) { heard.push_back(p); });
    pictures.setImage(Picture::P4, QImage(3, 2, QImage::Format_RGB32));
    pictures.edit(Picture::P4).fill(Qt::black);
    pictures.changed(Picture::P4);
    pictures.clear(Picture::P1);
    EXPECT_EQ(heard, (std::vector<Picture>{Picture::P4, Picture::P4, Picture::P1}));
    EXPECT_EQ(pictures.image(Picture::P4).pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_TRUE(pictures.image(Picture::P1).isNull());
}
