#include "imaging/PixelBuffer.h"

#include <cstring>

namespace kartovo {

void LoadPixelBuffer(PixelBuffer& buffer, const QImage& picture) {
    const QImage src = picture.format() == QImage::Format_RGB32 ? picture
                                                                 : picture.convertToFormat(QImage::Format_RGB32);
    const int w = src.width(), h = src.height();
    buffer.header = PixelBufferHeader{};
    buffer.header.width = w;
    buffer.header.height = h;
    buffer.m_data.assign(static_cast<std::size_t>(w) * h * 4, 0);
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 4;
    // RGB32 stores 0xffRRGGBB, i.e. bytes blue, green, red, 0xff on little-endian hosts.
    for (int row = 0; row < h; ++row) {
        std::uint8_t* dst = buffer.m_data.data() + static_cast<std::size_t>(h - 1 - row) * rowBytes;
        std::memcpy(dst, src.constScanLine(row), rowBytes);
        for (std::size_t i = 3; i < rowBytes; i += 4) dst[i] = 0;
    }
}

void StorePixelBuffer(const PixelBuffer& buffer, QImage& picture) {
    const int w = buffer.width(), h = buffer.height();
    if (picture.width() != w || picture.height() != h || picture.format() != QImage::Format_RGB32)
        picture = QImage(w, h, QImage::Format_RGB32);
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 4;
    for (int row = 0; row < h; ++row) {
        auto* dst = reinterpret_cast<std::uint32_t*>(picture.scanLine(row));
        const auto* src = buffer.data() + static_cast<std::size_t>(h - 1 - row) * rowBytes;
        std::memcpy(dst, src, rowBytes);
        for (int x = 0; x < w; ++x) dst[x] |= 0xff000000u;
    }
}

} // namespace kartovo
