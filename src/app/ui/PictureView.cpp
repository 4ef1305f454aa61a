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
    followImage();
    update();
}

void PictureView::followImage() {
    if (m_fit != Fit::FollowImage) return;
    const QImage& img = m_pictures.image(m_picture);
    resize(img.isNull() ? m_emptySize : QSize(qRound(img.width() * m_scale), qRound(img.height() * m_scale)));
}

void PictureView::setScale(double scale) {
    if (scale <= 0.0 || scale == m_scale) return;
    m_scale = scale;
    followImage();
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(255, 255, 255));
    const QImage& img = m_pictures.image(m_picture);
    if (!img.isNull()) {
        if (m_fit == Fit::Scaled) {
            const QSize s = img.size().scaled(size(), Qt::KeepAspectRatio);
            p.drawImage(QRect(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s), img);
        } else if (m_scale == 1.0) {
            p.drawImage(0, 0, img);
        } else {
            // Shrunk, thin marks and lines must not drop out between pixels.
            p.setRenderHint(QPainter::SmoothPixmapTransform, m_scale < 1.0);
            const int h = m_fit == Fit::FollowImage ? qRound(img.height() * m_scale) : img.height();
            p.drawImage(QRect(0, 0, qRound(img.width() * m_scale), h), img);
        }
    }
    if (img.isNull() || m_fit == Fit::Scaled) {
        p.setPen(QColor(160, 160, 160));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace kartovo
