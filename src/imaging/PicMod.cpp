#include "imaging/PicMod.h"

#include "imaging/BitmapHelpers.h"
#include "platform/Numbers.h"

#include <QList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kartovo {

namespace {

// The operations walk the picture in memory order, row after row, and then
// report every column's percentage in column order: the results and the
// sequence of percentages are those of the column-by-column loop. A whole A4
// page takes a few milliseconds this way, while walking it column-wise (or
// even in vertical strips) defeats the prefetcher and is several times slower.
constexpr int kTile = 128; // pixels per side of a rotation tile

constexpr std::uint32_t kWhite = 0xffffffffu;
constexpr std::uint32_t kBlack = 0xff000000u;

// x / width * 100 as a real number, rounded half to even: the percentage shown
// after column x.
int ColumnProgress(int x, int width) { return CLng(static_cast<double>(x) / width * 100); }

void reportColumns(const ProgressCallback& progress, int first, int last, int width) {
    if (!progress) return;
    for (int x = first; x <= last; ++x) progress(ColumnProgress(x, width));
}

// The operations leave the picture opaque 32-bit RGB.
void makeRgb32(QImage& picture) {
    if (picture.format() != QImage::Format_RGB32) picture = picture.convertToFormat(QImage::Format_RGB32);
}

inline std::uint32_t* rowOf(uchar* bits, qsizetype stride, int row) {
    return reinterpret_cast<std::uint32_t*>(bits + row * stride);
}

// Runs op(row pointer, first column, end column) over every row, then reports
// the columns (1-based, as the loops count them).
template <class RowOp>
void forEachRow(QImage& picture, const ProgressCallback& progress, RowOp op) {
    if (picture.isNull()) return;
    const int w = picture.width(), h = picture.height();
    uchar* bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    for (int row = 0; row < h; ++row) op(rowOf(bits, stride, row), 0, w);
    reportColumns(progress, 1, w, w);
}

// --- rotation ---------------------------------------------------------------

struct Bytes3 {
    std::uint8_t b[3];
};

// Copies every source pixel to its rotated place, converting it with f. A
// quarter turn goes tile by tile (kTile x kTile pixels, source and destination
// tiles both in the first-level cache), tiles in memory order of the source.
template <class T, class F>
void rotateUnits(const QImage& src, QImage& dst, int angle, F f, const ProgressCallback& progress) {
    const int w = src.width(), h = src.height();
    const uchar* sBits = src.constBits();
    const qsizetype sStride = src.bytesPerLine();
    uchar* dBits = dst.bits();
    const qsizetype dStride = dst.bytesPerLine();
    auto srcRow = [&](int y) { return reinterpret_cast<const T*>(sBits + y * sStride); };
    auto dstRow = [&](int y) { return reinterpret_cast<T*>(dBits + y * dStride); };
    if (angle == 0 || angle == 180) {
        for (int y = 0; y < h; ++y) {
            const T* s = srcRow(y);
            if (angle == 0) {
                T* d = dstRow(y);
                for (int x = 0; x < w; ++x) d[x] = f(s[x]);
            } else { // dst(W - 1 - x, H - 1 - y) = src(x, y)
                T* d = dstRow(h - 1 - y) + (w - 1);
                for (int x = 0; x < w; ++x) d[-x] = f(s[x]);
            }
        }
    } else {
        for (int y0 = 0; y0 < h; y0 += kTile) {
            const int y1 = std::min(h, y0 + kTile);
            for (int x0 = 0; x0 < w; x0 += kTile) {
                const int x1 = std::min(w, x0 + kTile);
                for (int x = x0; x < x1; ++x) {
                    if (angle == 90) { // dst(H - 1 - y, x) = src(x, y)
                        T* d = dstRow(x) + (h - 1);
                        for (int y = y0; y < y1; ++y) d[-y] = f(srcRow(y)[x]);
                    } else { // 270: dst(y, W - 1 - x) = src(x, y)
                        T* d = dstRow(w - 1 - x);
                        for (int y = y0; y < y1; ++y) d[y] = f(srcRow(y)[x]);
                    }
                }
            }
        }
    }
    reportColumns(progress, 0, w - 1, w);
}

} // namespace

void RotatePicture(const QImage& source, QImage& destination, int angle, const ProgressCallback& progress) {
    const int bits = BitmapDepth(source);
    if (!IsBitmapDepth(bits)) throw InvalidBitsPerPixelError(bits);
    if (angle != 0 && angle != 90 && angle != 180 && angle != 270)
        throw std::invalid_argument("RotatePicture: angle must be 0, 90, 180 or 270");
    const QImage src = source.format() == QImage::Format_BGR888 ? source.convertToFormat(QImage::Format_RGB888)
                                                                 : source;
    const int w = src.width(), h = src.height();
    const bool turned = angle == 90 || angle == 270;
    const QSize size(turned ? h : w, turned ? w : h);
    // A destination of the right size that shares its pixels with nothing
    // (the source included) is written over; a fresh 35 MB picture costs
    // thousands of page faults.
    QImage dst;
    if (destination.size() == size && destination.format() == BitmapFormat(bits) && destination.isDetached())
        dst = std::move(destination);
    else
        dst = QImage(size, BitmapFormat(bits));

    // Pixels move as native words; only these conversions touch them.
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
    destination = std::move(dst);
}

void ConvertToBW(QImage& picture, const ProgressCallback& progress) {
    makeRgb32(picture);
    // (red + green + blue) / 3 > 125 as a real number <=> red + green + blue > 375
    forEachRow(picture, progress, [](std::uint32_t* p, int x0, int x1) {
        int x = x0;
#if defined(__SSE2__)
        const __m128i lowLanes = _mm_set1_epi32(0x00ff00ff), byte = _mm_set1_epi32(0xff);
        const __m128i ones = _mm_set1_epi16(1), limit = _mm_set1_epi32(375), alpha = _mm_set1_epi32(int(kBlack));
        for (; x + 4 <= x1; x += 4) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
            const __m128i blueRed = _mm_madd_epi16(_mm_and_si128(v, lowLanes), ones);
            const __m128i sum = _mm_add_epi32(blueRed, _mm_and_si128(_mm_srli_epi32(v, 8), byte));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + x), _mm_or_si128(_mm_cmpgt_epi32(sum, limit), alpha));
        }
#endif
        for (; x < x1; ++x) {
            const std::uint32_t v = p[x];
            const unsigned sum = (v & 0xff) + ((v >> 8) & 0xff) + ((v >> 16) & 0xff);
            p[x] = sum > 375 ? kWhite : kBlack;
        }
    });
}

void FilterColors(QImage& picture, int filterColour, int tRed, int tGreen, int tBlue,
                  const ProgressCallback& progress) {
    makeRgb32(picture);
    // Each channel passes when lowest <= value <= highest; the kept colour's
    // channel has an upper end of 255, the others a lower end of 0.
    const int t[3] = {tBlue, tGreen, tRed};
    const int kept = 2 - filterColour; // channel index of the kept colour: blue 0, green 1, red 2
    bool never = filterColour < 0 || filterColour > 2;
    std::uint8_t lowest[4] = {0, 0, 0, 0}, highest[4] = {255, 255, 255, 255};
    for (int ch = 0; ch < 3 && !never; ++ch) {
        if (ch == kept) {
            if (t[ch] > 255) never = true;
            else lowest[ch] = static_cast<std::uint8_t>(std::max(t[ch], 0));
        } else {
            if (t[ch] < 0) never = true;
            else highest[ch] = static_cast<std::uint8_t>(std::min(t[ch], 255));
        }
    }
    if (never) { // no pixel can pass: all white
        forEachRow(picture, progress, [](std::uint32_t* p, int x0, int x1) { std::fill(p + x0, p + x1, kWhite); });
        return;
    }
    std::uint32_t low, high;
    std::memcpy(&low, lowest, 4);
    std::memcpy(&high, highest, 4);
    forEachRow(picture, progress, [&](std::uint32_t* p, int x0, int x1) {
        int x = x0;
#if defined(__SSE2__)
        const __m128i lo = _mm_set1_epi32(int(low)), hi = _mm_set1_epi32(int(high));
        const __m128i allOnes = _mm_set1_epi32(-1), alpha = _mm_set1_epi32(int(kBlack));
        for (; x + 4 <= x1; x += 4) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
            const __m128i inRange = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, lo), v),
                                                  _mm_cmpeq_epi8(_mm_min_epu8(v, hi), v));
            const __m128i pass = _mm_cmpeq_epi32(inRange, allOnes);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + x), _mm_or_si128(_mm_andnot_si128(pass, allOnes), alpha));
        }
#endif
        for (; x < x1; ++x) {
            bool pass = true;
            for (int ch = 0; ch < 3; ++ch) {
                const unsigned value = (p[x] >> (8 * ch)) & 0xff;
                pass = pass && value >= lowest[ch] && value <= highest[ch];
            }
            p[x] = pass ? kBlack : kWhite;
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
    // right neighbour and the row above. In the column-by-column loop a block
    // only reads pixels not yet rewritten, so the result is a function of the
    // input alone. Here the rows go top to bottom in memory order, each block
    // reading the row above from a copy taken before that row was rewritten.
    constexpr std::uint32_t kLowLanes = 0x00ff00ffu; // blue and red, 16 bits each
    const int x1 = w - 1;                            // columns 0 .. w - 2 change
    std::vector<std::uint32_t> above(static_cast<std::size_t>(w)), here(static_cast<std::size_t>(w));
    std::memcpy(above.data(), rowOf(bits, stride, 0), static_cast<std::size_t>(w) * 4);
    for (int row = 1; row < h && x1 > 0; ++row) {
        std::uint32_t* out = rowOf(bits, stride, row);
        std::memcpy(here.data(), out, static_cast<std::size_t>(w) * 4);
        const std::uint32_t* cur = here.data();
        const std::uint32_t* up = above.data();
        int c = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128(), three = _mm_set1_epi16(3), ones = _mm_set1_epi16(1);
        const __m128i colourOnly = _mm_set_epi16(0, 1, 1, 1, 0, 1, 1, 1); // weights that drop the reserved byte
        const __m128i limit32 = _mm_set1_epi32(static_cast<int>(std::clamp<long long>(limit, -1, 765)));
        const __m128i alpha = _mm_set1_epi32(int(kBlack));
        for (; c + 4 <= x1; c += 4) { // reads columns c .. c + 4 < w
            const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + c));
            const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + c + 1));
            const __m128i u0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(up + c));
            const __m128i u1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(up + c + 1));
            __m128i sumLo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a0, zero), _mm_unpacklo_epi8(a1, zero)),
                                          _mm_add_epi16(_mm_unpacklo_epi8(u0, zero), _mm_unpacklo_epi8(u1, zero)));
            __m128i sumHi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a0, zero), _mm_unpackhi_epi8(a1, zero)),
                                          _mm_add_epi16(_mm_unpackhi_epi8(u0, zero), _mm_unpackhi_epi8(u1, zero)));
            sumLo = _mm_srli_epi16(_mm_add_epi16(sumLo, three), 2);
            sumHi = _mm_srli_epi16(_mm_add_epi16(sumHi, three), 2);
            const __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(sumLo, colourOnly), _mm_madd_epi16(sumHi, colourOnly));
            const __m128i quarters = _mm_madd_epi16(pairs, ones);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), _mm_or_si128(_mm_cmpgt_epi32(quarters, limit32), alpha));
        }
#endif
        // Vertical pair sums of column c: blue/red in two 16-bit lanes, green apart.
        std::uint32_t leftBR = 0, leftG = 0;
        if (c < x1) {
            leftBR = (cur[c] & kLowLanes) + (up[c] & kLowLanes);
            leftG = ((cur[c] >> 8) & 0xff) + ((up[c] >> 8) & 0xff);
        }
        for (; c < x1; ++c) {
            const std::uint32_t b = cur[c + 1], v = up[c + 1];
            const std::uint32_t rightBR = (b & kLowLanes) + (v & kLowLanes);
            const std::uint32_t rightG = ((b >> 8) & 0xff) + ((v >> 8) & 0xff);
            // Block sums <= 1020 per lane; ceil(s / 4) = (s + 3) >> 2 <= 255.
            const std::uint32_t q = ((leftBR + rightBR + 0x00030003u) >> 2) & kLowLanes;
            const std::uint32_t quarters = (q & 0xffff) + (q >> 16) + ((leftG + rightG + 3) >> 2);
            out[c] = quarters > limit ? kWhite : kBlack;
            leftBR = rightBR;
            leftG = rightG;
        }
        above.swap(here);
    }
    reportColumns(progress, 1, x1, w);
}

} // namespace kartovo
