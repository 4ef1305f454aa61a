#include "imaging/PixelBuffer.h"

#include <QtEndian>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kartovo {

// A QImage RGB32 pixel is the native word 0xffRRGGBB; a buffer pixel is the
// bytes blue, green, red, reserved, i.e. the little-endian word 0x00RRGGBB.

namespace {

// d[x] = s[x] with the top byte cleared (load) or set (store), per pixel word.
void copyRow(std::uint32_t* d, const std::uint32_t* s, int w, bool load) {
    int x = 0;
#if defined(__SSE2__) // x86 is little-endian: no byte swapping needed
    const __m128i mask = _mm_set1_epi32(int(0x00ffffffu)), alpha = _mm_set1_epi32(int(0xff000000u));
    for (; x + 4 <= w; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), load ? _mm_and_si128(v, mask) : _mm_or_si128(v, alpha));
    }
#endif
    if (load)
        for (; x < w; ++x) d[x] = qToLittleEndian(s[x] & 0x00ffffffu);
    else
        for (; x < w; ++x) d[x] = qFromLittleEndian(s[x]) | 0xff000000u;
}

} // namespace

void LoadPixelBuffer(PixelBuffer& buffer, const QImage& picture) {
    const QImage src = picture.format() == QImage::Format_RGB32 ? picture
                                                                 : picture.convertToFormat(QImage::Format_RGB32);
    const int w = src.isNull() ? 0 : src.width();
    const int h = src.isNull() ? 0 : src.height();
    buffer.header = PixelBufferHeader{};
    buffer.header.width = w;
    buffer.header.height = h;
    buffer.m_words.resize(static_cast<std::size_t>(w) * h);
    std::uint32_t* words = buffer.m_words.data();
    for (int row = 0; row < h; ++row) {
        const auto* s = reinterpret_cast<const std::uint32_t*>(src.constScanLine(row));
        std::uint32_t* d = words + static_cast<std::size_t>(h - 1 - row) * w;
        copyRow(d, s, w, true);
    }
}

void StorePixelBuffer(const PixelBuffer& buffer, QImage& picture) {
    const int w = buffer.width(), h = buffer.height();
    if (w <= 0 || h <= 0) {
        picture = QImage();
        return;
    }
    if (picture.width() != w || picture.height() != h || picture.format() != QImage::Format_RGB32)
        picture = QImage(w, h, QImage::Format_RGB32);
    const auto* words = reinterpret_cast<const std::uint32_t*>(buffer.data());
    uchar* bits = picture.bits(); // detaches once
    const qsizetype stride = picture.bytesPerLine();
    for (int row = 0; row < h; ++row) {
        auto* d = reinterpret_cast<std::uint32_t*>(bits + row * stride);
        const std::uint32_t* s = words + static_cast<std::size_t>(h - 1 - row) * w;
        copyRow(d, s, w, false);
    }
}

} // namespace kartovo
