#include "app/CardPictures.h"

#include "platform/Numbers.h"

namespace kartovo {

CardPictures::CardPictures(QObject* parent) : QObject(parent) {}

void CardPictures::setImage(Picture p, QImage image) {
    m_images[index(p)] = std::move(image);
    emit pictureChanged(p);
}

void CardPictures::clear(Picture p) { setImage(p, QImage()); }

int HorizontalScrollMaximum(int pictureWidth, int clientWidth) {
    const double w = double(pictureWidth) - clientWidth;
    return w > 0 ? CInt16(w + 20) : 0;
}

int VerticalScrollMaximum(int pictureHeight, int clientHeight) {
    const double h = double(pictureHeight) - clientHeight;
    return h + 60 > 0 ? CInt16(h + 100) : 0;
}

} // namespace kartovo
