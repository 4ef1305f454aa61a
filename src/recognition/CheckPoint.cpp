#include "recognition/CheckPoint.h"

#include <cmath>

namespace kartovo {

std::int16_t CheckPoint(const QImage& picture, float x, float y, float cw, float rh, double threshold) {
    const QImage img = (picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32)
                           ? picture
                           : picture.convertToFormat(QImage::Format_RGB32);
    const int w = img.width(), h = img.height();
    const float x0 = x - cw / 2.0f - 1.0f;
    const float y0 = rh / 2.0f + y - 1.0f;
    long black = 0, other = 0;
    for (int i = 0; static_cast<float>(i) <= cw - 2.0f; ++i) {
        // Halves go to the even pixel, as the whole-pixel conversion of the picture does.
        const int px = static_cast<int>(std::nearbyint(x0 + static_cast<float>(i)));
        for (int j = 0; static_cast<float>(j) <= rh - 2.0f; ++j) {
            const int py = static_cast<int>(std::nearbyint(y0 - static_cast<float>(j)));
            if (px < 0 || py < 0 || px >= w || py >= h) {
                ++other;
                continue;
            }
            const QRgb c = reinterpret_cast<const QRgb*>(img.constScanLine(py))[px];
            if ((c & 0x00ffffffu) == 0)
                ++black;
            else
                ++other;
        }
    }
    return black > static_cast<double>(other) * threshold ? 0 : 1;
}

} // namespace kartovo
