#pragma once

#include "app/CardPictures.h"

#include <QWidget>

namespace kartovo {

// Shows one picture of CardPictures.
class PictureView : public QWidget {
    Q_OBJECT
public:
    enum class Fit {
        FollowImage, // the view takes the image's size (one image pixel per screen pixel)
        Unscaled,    // the view keeps its size, the image is drawn from its top-left corner
        Scaled,      // the image is scaled into the view's box
    };
    PictureView(const QString& objectName, CardPictures& pictures, Picture picture, Fit fit, QSize emptySize,
                QWidget* parent);

    Picture picture() const { return m_picture; }
    // Screen pixels per image pixel (1: the picture as it is). A view that
    // follows its image takes the scaled size; the others draw the picture
    // scaled across, at its own height.
    void setScale(double scale);
    double scale() const { return m_scale; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void onPictureChanged(Picture p);
    void followImage();

    CardPictures& m_pictures;
    Picture m_picture;
    Fit m_fit;
    QSize m_emptySize;
    double m_scale = 1.0;
};

} // namespace kartovo
