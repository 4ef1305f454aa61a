#include "app/ui/PictureView.h"

#include <QPainter>

namespace kartovo {

PictureView::PictureView(const QString& objectName, CardPictures& pictures, Picture picture, Fit fit,
                         QSize emptySize, QWidget* parent)
    : QWidget(parent), m_pictures(pictures), m_picture(picture), m_fit(fit),
      m_emptySize(emptySize) {
    setObjectName(objectName);
    resize(emptySize);
    connect(&pictures, &CardPictures::pictureChanged, this, &PictureView::onPictureChanged);
}

void PictureView::onPictureChanged(Picture p) {
    if (p != m_picture) return;
    if (m_fit == Fit::FollowImage) {
        const QImage& img = m_pictures.image(p);
        resize(img.isNull() ? m_emptySize : img.size());
    }
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(255, 255, 255));
    const QImage& img = m_pictures.image(m_picture);
    if (!img.isNull()) {
        if (m_fit != Fit::Scaled) {
            p.drawImage(0, 0, img);
        } else {
            const QSize s = img.size().scaled(size(), Qt::KeepAspectRatio);
            p.drawImage(QRect(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s), img);
        }
    }
    if (img.isNull() || m_fit == Fit::Scaled) {
        p.setPen(QColor(160, 160, 160));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace kartovo
