#pragma once

#include <QImage>
#include <QObject>
#include <array>

namespace kartovo {

// The pictures of the main window: P1 card view, P2 working picture, P3 count
// strip, P4 code field. The images live here; the widgets only show them.
enum class Picture { P1 = 0, P2 = 1, P3 = 2, P4 = 3 };

class CardPictures : public QObject {
    Q_OBJECT
public:
    explicit CardPictures(QObject* parent = nullptr);

    const QImage& image(Picture p) const { return m_images[index(p)]; }
    void setImage(Picture p, QImage image);
    void clear(Picture p);

    // For drawing in place; call changed() when done so the views repaint.
    QImage& edit(Picture p) { return m_images[index(p)]; }
    void changed(Picture p) { emit pictureChanged(p); }

signals:
    void pictureChanged(kartovo::Picture picture);

private:
    static std::size_t index(Picture p) { return static_cast<std::size_t>(p); }
    std::array<QImage, 4> m_images;
};

// Card view scrolling: the top of P1 rests at y = 80 with the 19 pixels high
// count strip P3 just above it.
inline constexpr int kCardViewTop = 80;
inline constexpr int kCountStripTop = 58;
inline constexpr int kCountStripHeight = 19;

// Maximum of the horizontal bar for a picture `pictureWidth` wide in a client
// area `clientWidth` wide: the overhang plus 20, or 0 when nothing overhangs.
int HorizontalScrollMaximum(int pictureWidth, int clientWidth);
// Maximum of the vertical bar: the overhang plus 100 once the picture comes
// within 60 pixels of the client height, else 0.
int VerticalScrollMaximum(int pictureHeight, int clientHeight);

} // namespace kartovo
