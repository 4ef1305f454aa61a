#include "imaging/BitmapHelpers.h"

#include <QHash>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace kartovo {

namespace {

const QString kGetSource = QStringLiteral("DDBHelper.GetBitmapPixels");

[[noreturn]] void throwInvalidDepth(int bits) { throw InvalidBitsPerPixelError(bits); }

QList<QRgb> greyRamp() {
    QList<QRgb> ramp;
    ramp.reserve(256);
    for (int i = 0; i < 256; ++i) ramp.append(qRgb(i, i, i));
    return ramp;
}

// Entry i of a 256-entry palette read from a colour table; missing entries are black.
QRgb paletteEntry(const QList<QRgb>& palette, int i) { return i < palette.size() ? palette[i] : qRgb(0, 0, 0); }

} // namespace

BitmapError::BitmapError(std::int32_t number, const QString& source, const QString& description)
    : std::runtime_error((source + QStringLiteral(": ") + description).toStdString()),
      m_number(number),
      m_source(source),
      m_description(description) {}

BitmapError InvalidBitsPerPixelError(int bitsPerPixel) {
    return BitmapError(kErrInvalidBitsPerPixel, kGetSource,
                       QStringLiteral("Invalid number of bits per pixel: ") + QString::number(bitsPerPixel));
}

BitmapError MatchingPaletteError() {
    return BitmapError(kErrMatchingPalette, QStringLiteral("DDBHelper.MatchColorPalette"),
                       QStringLiteral("Error matching bitmap palette"));
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

int BitmapRowBytes(int width, int bitsPerPixel) {
    int bytes = 0;
    switch (bitsPerPixel) {
    case 8: bytes = width; break;
    case 15:
    case 16: bytes = 2 * width; break;
    case 24: bytes = 3 * width; break;
    case 32: bytes = 4 * width; break;
    default: throwInvalidDepth(bitsPerPixel);
    }
    return bytes + (bytes & 1);
}

int NearestPaletteIndex(const QList<QRgb>& palette, int red, int green, int blue) {
    int best = 0;
    long long bestDistance = -1;
    const int n = std::min<int>(palette.size(), 256);
    for (int i = 0; i < n; ++i) {
        const long long dr = qRed(palette[i]) - red, dg = qGreen(palette[i]) - green, db = qBlue(palette[i]) - blue;
        const long long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
            if (d == 0) break;
        }
    }
    return best;
}

std::vector<std::uint8_t> PackBitmapRows(int bits, ColorTripleArray& pixels, const QList<QRgb>& palette) {
    const int w = pixels.width(), h = pixels.height();
    const int rowBytes = BitmapRowBytes(w, bits);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rowBytes) * h, 0);
    QHash<QRgb, std::uint8_t> nearest; // depth 8: a card has few distinct colours
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = out.data() + static_cast<std::size_t>(y) * rowBytes;
        for (int x = 0; x < w; ++x) {
            ColorTriple& t = pixels(x, y);
            switch (bits) {
            case 8: {
                const QRgb key = qRgb(t.red, t.green, t.blue);
                auto it = nearest.constFind(key);
                if (it == nearest.cend())
                    it = nearest.insert(key, static_cast<std::uint8_t>(NearestPaletteIndex(palette, t.red, t.green, t.blue)));
                row[x] = *it;
                break;
            }
            case 15:
            case 16: {
                const int greenMax = bits == 15 ? 31 : 63;
                t.red = std::min<std::uint8_t>(t.red, 31);
                t.green = std::min<std::uint8_t>(t.green, greenMax);
                t.blue = std::min<std::uint8_t>(t.blue, 31);
                const unsigned word = ((t.red * (greenMax + 1u)) + t.green) * 32u + t.blue;
                row[2 * x] = static_cast<std::uint8_t>(word & 0xff);
                row[2 * x + 1] = static_cast<std::uint8_t>(word >> 8);
                break;
            }
            case 24:
                row[3 * x] = t.blue;
                row[3 * x + 1] = t.green;
                row[3 * x + 2] = t.red;
                break;
            case 32:
                row[4 * x] = t.blue;
                row[4 * x + 1] = t.green;
                row[4 * x + 2] = t.red;
                row[4 * x + 3] = 0;
                break;
            }
        }
    }
    return out;
}

ColorTripleArray UnpackBitmapRows(int bits, const std::uint8_t* bytes, int bytesPerRow, int width, int height,
                                  const QList<QRgb>& palette) {
    if (!IsBitmapDepth(bits)) throwInvalidDepth(bits);
    ColorTripleArray pixels(width, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bytes + static_cast<std::size_t>(y) * bytesPerRow;
        for (int x = 0; x < width; ++x) {
            ColorTriple& t = pixels(x, y);
            switch (bits) {
            case 8: {
                const QRgb c = paletteEntry(palette, row[x]);
                t = {static_cast<std::uint8_t>(qBlue(c)), static_cast<std::uint8_t>(qGreen(c)),
                     static_cast<std::uint8_t>(qRed(c))};
                break;
            }
            case 15:
            case 16: {
                const unsigned word = row[2 * x] | (row[2 * x + 1] << 8);
                t.blue = word & 31;
                if (bits == 15) {
                    t.green = (word >> 5) & 31;
                    t.red = static_cast<std::uint8_t>(word >> 10); // the unused top bit stays, as read
                } else {
                    t.green = (word >> 5) & 63;
                    t.red = static_cast<std::uint8_t>(word >> 11);
                }
                break;
            }
            case 24: t = {row[3 * x], row[3 * x + 1], row[3 * x + 2]}; break;
            case 32: t = {row[4 * x], row[4 * x + 1], row[4 * x + 2]}; break;
            }
        }
    }
    return pixels;
}

void GetBitmapPixels(const QImage& picture, ColorTripleArray& pixels, int& bitsPerPixel) {
    const int bits = BitmapDepth(picture);
    if (!IsBitmapDepth(bits)) throwInvalidDepth(bits);
    const int w = picture.width(), h = picture.height();
    QList<QRgb> palette;
    if (bits == 8) {
        MatchColorPalette(picture);
        palette = picture.colorTable();
    }
    // Lay the picture out as device-dependent rows: little-endian words at
    // depths 15 and 16, bytes blue, green, red at 24 and 32.
    const int rowBytes = BitmapRowBytes(w, bits);
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(rowBytes) * h, 0);
    const bool bgr888 = picture.format() == QImage::Format_BGR888;
    for (int y = 0; y < h; ++y) {
        const uchar* s = picture.constScanLine(y);
        std::uint8_t* d = rows.data() + static_cast<std::size_t>(y) * rowBytes;
        switch (bits) {
        case 8: std::memcpy(d, s, static_cast<std::size_t>(w)); break;
        case 15:
        case 16:
            for (int x = 0; x < w; ++x)
                qToLittleEndian(reinterpret_cast<const quint16*>(s)[x], d + 2 * x);
            break;
        case 24:
            for (int x = 0; x < w; ++x) {
                d[3 * x] = s[3 * x + (bgr888 ? 0 : 2)];
                d[3 * x + 1] = s[3 * x + 1];
                d[3 * x + 2] = s[3 * x + (bgr888 ? 2 : 0)];
            }
            break;
        case 32:
            for (int x = 0; x < w; ++x) qToLittleEndian(reinterpret_cast<const quint32*>(s)[x], d + 4 * x);
            break;
        }
    }
    pixels = UnpackBitmapRows(bits, rows.data(), rowBytes, w, h, palette);
    bitsPerPixel = bits;
}

void SetBitmapPixels(QImage& picture, int bitsPerPixel, ColorTripleArray& pixels) {
    const int bits = bitsPerPixel;
    if (!IsBitmapDepth(bits)) throwInvalidDepth(bits);
    QList<QRgb> palette;
    if (bits == 8) {
        palette = picture.format() == QImage::Format_Indexed8 ? picture.colorTable() : QList<QRgb>();
        if (palette.isEmpty()) palette = greyRamp();
        if (palette.size() > 256) palette.resize(256);
    }
    const std::vector<std::uint8_t> rows = PackBitmapRows(bits, pixels, palette);
    const int w = pixels.width(), h = pixels.height();
    if (w <= 0 || h <= 0) {
        picture = QImage();
        return;
    }
    QImage out(w, h, BitmapFormat(bits));
    if (bits == 8) out.setColorTable(palette);
    const int rowBytes = BitmapRowBytes(w, bits);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* s = rows.data() + static_cast<std::size_t>(y) * rowBytes;
        uchar* d = out.scanLine(y);
        switch (bits) {
        case 8: std::memcpy(d, s, static_cast<std::size_t>(w)); break;
        case 15:
        case 16:
            for (int x = 0; x < w; ++x) reinterpret_cast<quint16*>(d)[x] = qFromLittleEndian<quint16>(s + 2 * x);
            break;
        case 24:
            for (int x = 0; x < w; ++x) {
                d[3 * x] = s[3 * x + 2];
                d[3 * x + 1] = s[3 * x + 1];
                d[3 * x + 2] = s[3 * x];
            }
            break;
        case 32:
            for (int x = 0; x < w; ++x)
                reinterpret_cast<quint32*>(d)[x] = qFromLittleEndian<quint32>(s + 4 * x) | 0xff000000u;
            break;
        }
    }
    picture = out;
}

void MatchColorPalette(const QImage&) {}

} // namespace kartovo
