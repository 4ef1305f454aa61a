#include "imaging/PicMod.h"

#include "imaging/BitmapHelpers.h"
#include "platform/Numbers.h"

#include <QList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace kartovo {

namespace {

// The operations walk the picture in vertical strips, rows inside a strip in
// memory order, and report the strip's columns when it is done: the results
// and the sequence of percentages are those of the column-by-column loop,
// while memory is read a cache line at a time.
constexpr int kPointStrip = 512;  // pixels; 2 KB of every row per strip
constexpr int kRotateStrip = 16;  // source columns = destination rows written together

constexpr std::uint32_t kWhite = 0xffffffffu;
constexpr std::uint32_t kBlack = 0xff000000u;

void reportColumns(const ProgressCallback& progress, int first, int last, int width) {
    if (!progress) return;
    for (int x = first; x <= last; ++x) progress(ColumnProgress(x, width));
}

// The picture as it comes out of a PixelBuffer store: opaque 32-bit RGB.
void makeRgb32(QImage& picture) {
    if (picture.format() != QImage::Format_RGB32) picture = picture.convertToFormat(QImage::Format_RGB32);
}

inline std::uint32_t* rowOf(uchar* bits, qsizetype stride, int row) {
    return reinterpret_cast<std::uint32_t*>(bits + row * stride);
}

// Runs op(row pointer, first column, end column) over every row of each strip
// of columns, then reports that strip's columns (1-based, as the loops count).
template <class RowOp>
void forEachStrip(QImage& picture, const ProgressCallback& progress, RowOp op) {
    const int w = picture.width(), h = picture.height();
    if (picture.isNull()) return;
    uchar* bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    for (int x0 = 0; x0 < w; x0 += kPointStrip) {
        const int x1 = std::min(w, x0 + kPointStrip);
        for (int row = 0; row < h; ++row) op(rowOf(bits, stride, row), x0, x1);
        reportColumns(progress, x0 + 1, x1, w);
    }
}

// --- rotation ---------------------------------------------------------------

struct Bytes3 {
    std::uint8_t b[3];
};

// Copies every source pixel to its rotated place, converting it with f, in
// strips of source columns so that a strip writes a few destination rows.
template <class T, class F>
void rotateUnits(const QImage& src, QImage& dst, int angle, F f, const ProgressCallback& progress) {
    const int w = src.width(), h = src.height();
    const uchar* sBits = src.constBits();
    const qsizetype sStride = src.bytesPerLine();
    uchar* dBits = dst.bits();
    const qsizetype dStride = dst.bytesPerLine();
    auto srcRow = [&](int y) { return reinterpret_cast<const T*>(sBits + y * sStride); };
    auto dstRow = [&](int y) { return reinterpret_cast<T*>(dBits + y * dStride); };
    const int strip = (angle == 90 || angle == 270) ? kRotateStrip : kPointStrip;
    for (int x0 = 0; x0 < w; x0 += strip) {
        const int x1 = std::min(w, x0 + strip);
        for (int y = 0; y < h; ++y) {
            const T* s = srcRow(y);
            switch (angle) {
            case 0: {
                T* d = dstRow(y);
                for (int x = x0; x < x1; ++x) d[x] = f(s[x]);
                break;
            }
            case 90: // dst(H - 1 - y, x) = src(x, y)
                for (int x = x0; x < x1; ++x) dstRow(x)[h - 1 - y] = f(s[x]);
                break;
            case 180: { // dst(W - 1 - x, H - 1 - y) = src(x, y)
                T* d = dstRow(h - 1 - y);
                for (int x = x0; x < x1; ++x) d[w - 1 - x] = f(s[x]);
                break;
            }
            default: // 270: dst(y, W - 1 - x) = src(x, y)
                for (int x = x0; x < x1; ++x) dstRow(w - 1 - x)[y] = f(s[x]);
                break;
            }
        }
        reportColumns(progress, x0, x1 - 1, w);
    }
}

} // namespace

int ColumnProgress(int x, int width) { return CLng(static_cast<double>(x) / width * 100); }

void RotatePicture(const QImage& source, QImage& destination, int angle, const ProgressCallback& progress) {
    const int bits = BitmapDepth(source);
    if (!IsBitmapDepth(bits)) throw InvalidBitsPerPixelError(bits);
    if (angle != 0 && angle != 90 && angle != 180 && angle != 270)
        throw std::invalid_argument("RotatePicture: angle must be 0, 90, 180 or 270");
    const QImage src = source.format() == QImage::Format_BGR888 ? source.convertToFormat(QImage::Format_RGB888)
                                                                 : source;
    const int w = src.width(), h = src.height();
    const bool turned = angle == 90 || angle == 270;
    QImage dst(turned ? h : w, turned ? w : h, BitmapFormat(bits));

    // Each pixel goes the way of GetBitmapPixels and SetBitmapPixels at the
    // same depth; these conversions give the same words without the triples.
    switch (bits) {
    case 8: {
        const QList<QRgb> table = src.colorTable();
        QList<QRgb> palette = table.isEmpty() ? QList<QRgb>() : table.mid(0, 256);
        if (palette.isEmpty())
            for (int i = 0; i < 256; ++i) palette.append(qRgb(i, i, i));
        std::array<std::uint8_t, 256> remap{};
        for (int i = 0; i < 256; ++i) {
            const QRgb c = i < table.size() ? table[i] : qRgb(0, 0, 0);
            remap[i] = static_cast<std::uint8_t>(NearestPaletteIndex(palette, qRed(c), qGreen(c), qBlue(c)));
        }
        dst.setColorTable(palette);
        rotateUnits<std::uint8_t>(src, dst, angle, [&remap](std::uint8_t v) { return remap[v]; }, progress);
        break;
    }
    case 15: // the unused top bit reads as part of red, which is then clamped to 31
        rotateUnits<std::uint16_t>(
            src, dst, angle,
            [](std::uint16_t v) { return static_cast<std::uint16_t>(v & 0x8000 ? (v & 0x3ff) | 0x7c00 : v); },
            progress);
        break;
    case 16: rotateUnits<std::uint16_t>(src, dst, angle, [](std::uint16_t v) { return v; }, progress); break;
    case 24: rotateUnits<Bytes3>(src, dst, angle, [](Bytes3 v) { return v; }, progress); break;
    default:
        rotateUnits<std::uint32_t>(src, dst, angle, [](std::uint32_t v) { return v | kBlack; }, progress);
        break;
    }
    destination = dst;
}

void ConvertToBW(QImage& picture, const ProgressCallback& progress) {
    makeRgb32(picture);
    // (red + green + blue) / 3 > 125 as a real number <=> red + green + blue > 375
    forEachStrip(picture, progress, [](std::uint32_t* p, int x0, int x1) {
        for (int x = x0; x < x1; ++x) {
            const std::uint32_t v = p[x];
            const unsigned sum = (v & 0xff) + ((v >> 8) & 0xff) + ((v >> 16) & 0xff);
            p[x] = sum > 375 ? kWhite : kBlack;
        }
    });
}

void FilterColors(QImage& picture, int filterColour, int tRed, int tGreen, int tBlue,
                  const ProgressCallback& progress) {
    makeRgb32(picture);
    // One table per channel: bit 0 set when the channel value passes its test.
    std::array<std::uint8_t, 256> red{}, green{}, blue{};
    if (filterColour >= 0 && filterColour <= 2) {
        for (int v = 0; v < 256; ++v) {
            red[v] = filterColour == 0 ? v >= tRed : v <= tRed;
            green[v] = filterColour == 1 ? v >= tGreen : v <= tGreen;
            blue[v] = filterColour == 2 ? v >= tBlue : v <= tBlue;
        }
    }
    forEachStrip(picture, progress, [&](std::uint32_t* p, int x0, int x1) {
        for (int x = x0; x < x1; ++x) {
            const std::uint32_t v = p[x];
            const unsigned keep = blue[v & 0xff] & green[(v >> 8) & 0xff] & red[(v >> 16) & 0xff];
            p[x] = keep ? kBlack : kWhite;
        }
    });
}

void RemoveNoise(QImage& picture, int filterSensitivity, const ProgressCallback& progress) {
    makeRgb32(picture);
    if (picture.isNull()) return;
    const int w = picture.width(), h = picture.height();
    // b = (qBlue + qGreen + qRed) / 3 > T as a real number <=> the sum of quarters > 3T
    const long long limit = 3LL * (static_cast<long long>(filterSensitivity) + 1) * 64;
    uchar* bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    // The last column and the top row keep their colour; they are only made opaque.
    for (int row = 0; row < h; ++row) rowOf(bits, stride, row)[w - 1] |= kBlack;
    for (int x = 0; x < w - 1; ++x) rowOf(bits, stride, 0)[x] |= kBlack;

    // Buffer pixel (x, y) is screen pixel (x - 1, H - y); its block reaches the
    // right neighbour and the row above. Going up from the bottom row, left to
    // right, a block only reads pixels not yet rewritten, so this in-place walk
    // (strips left to right, rows bottom to top inside each) gives the result
    // of the column-by-column loop.
    constexpr std::uint32_t kLowLanes = 0x00ff00ffu; // blue and red, 16 bits each
    const int last = w - 1;                          // columns 0 .. w - 2 change
    for (int x0 = 0; x0 < last; x0 += kPointStrip) {
        const int x1 = std::min(last, x0 + kPointStrip);
        for (int row = h - 1; row >= 1; --row) {
            std::uint32_t* cur = rowOf(bits, stride, row);
            const std::uint32_t* up = rowOf(bits, stride, row - 1);
            // Vertical pair sums of column c: blue/red in two 16-bit lanes, green apart.
            std::uint32_t a = cur[x0], u = up[x0];
            std::uint32_t leftBR = (a & kLowLanes) + (u & kLowLanes);
            std::uint32_t leftG = ((a >> 8) & 0xff) + ((u >> 8) & 0xff);
            for (int c = x0; c < x1; ++c) {
                const std::uint32_t b = cur[c + 1], v = up[c + 1];
                const std::uint32_t rightBR = (b & kLowLanes) + (v & kLowLanes);
                const std::uint32_t rightG = ((b >> 8) & 0xff) + ((v >> 8) & 0xff);
                // Block sums <= 1020 per lane; ceil(s / 4) = (s + 3) >> 2 <= 255.
                const std::uint32_t q = ((leftBR + rightBR + 0x00030003u) >> 2) & kLowLanes;
                const std::uint32_t quarters = (q & 0xffff) + (q >> 16) + ((leftG + rightG + 3) >> 2);
                cur[c] = quarters > limit ? kWhite : kBlack;
                leftBR = rightBR;
                leftG = rightG;
            }
        }
        reportColumns(progress, x0 + 1, x1, w);
    }
}

} // namespace kartovo
