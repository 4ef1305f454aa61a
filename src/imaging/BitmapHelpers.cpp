#include "imaging/BitmapHelpers.h"

namespace kartovo {

BitmapError::BitmapError(std::int32_t number, const QString& source, const QString& description)
    : std::runtime_error((source + QStringLiteral(": ") + description).toStdString()),
      m_number(number),
      m_source(source),
      m_description(description) {}

BitmapError InvalidBitsPerPixelError(int bitsPerPixel) {
    return BitmapError(kErrInvalidBitsPerPixel, QStringLiteral("DDBHelper.GetBitmapPixels"),
                       QStringLiteral("Invalid number of bits per pixel: ") + QString::number(bitsPerPixel));
}

int BitmapDepth(const QImage& picture) {
    if (picture.isNull()) return 0;
    switch (picture.format()) {
    case QImage::Format_Indexed8: return 8;
    case QImage::Format_RGB555: return 15;
    case QImage::Format_RGB16: return 16;
    case QImage::Format_RGB888:
    case QImage::Format_BGR888: return 24;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied: return 32;
    default: return picture.depth();
    }
}

QImage::Format BitmapFormat(int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 8: return QImage::Format_Indexed8;
    case 15: return QImage::Format_RGB555;
    case 16: return QImage::Format_RGB16;
    case 24: return QImage::Format_RGB888;
    case 32: return QImage::Format_RGB32;
    default: return QImage::Format_Invalid;
    }
}

bool IsBitmapDepth(int bitsPerPixel) { return BitmapFormat(bitsPerPixel) != QImage::Format_Invalid; }

int NearestPaletteIndex(const QList<QRgb>& palette, int red, int green, int blue) {
    int best = 0;
    long long bestDistance = -1;
    for (int i = 0; const QRgb entry : palette) {
        const long long dr = qRed(entry) - red, dg = qGreen(entry) - green, db = qBlue(entry) - blue;
        const long long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
            if (d == 0) break;
        }
        ++i;
    }
    return best;
}

} // namespace kartovo
