#pragma once

#include <QImage>
#include <cstdint>
#include <vector>

namespace kartovo {

// The bitmap header that describes the buffer (40-byte BITMAPINFOHEADER fields).
struct PixelBufferHeader {
    std::int32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0; // positive: rows stored bottom-up
    std::int16_t planes = 1;
    std::int16_t bitCount = 32;
    std::int32_t compression = 0;
};

// 32-bit copy of a picture in the layout of a bottom-up 32-bit DIB: indices
// (channel, x, y) are 1-based, channel 1 blue, 2 green, 3 red, 4 reserved;
// x = 1 is the leftmost column, y = 1 the bottom row. Buffer column x is
// screen column x - 1, buffer row y is screen row H - y.
class PixelBuffer {
public:
    PixelBufferHeader header;

    int width() const { return header.width; }
    int height() const { return header.height; }

    std::uint8_t& operator()(int channel, int x, int y) { return m_data[offset(channel, x, y)]; }
    std::uint8_t operator()(int channel, int x, int y) const { return m_data[offset(channel, x, y)]; }

    // Pointer to pixel (x, y): bytes blue, green, red, reserved.
    std::uint8_t* pixel(int x, int y) { return m_data.data() + offset(1, x, y); }
    const std::uint8_t* pixel(int x, int y) const { return m_data.data() + offset(1, x, y); }
    // Bottom row first, 4 * width * height bytes, no padding.
    std::uint8_t* data() { return m_data.data(); }
    const std::uint8_t* data() const { return m_data.data(); }
    std::size_t byteCount() const { return m_data.size(); }

    static std::size_t offset(int channel, int x, int y, int width) {
        return (static_cast<std::size_t>(y - 1) * width + (x - 1)) * 4 + (channel - 1);
    }

private:
    friend void LoadPixelBuffer(PixelBuffer&, const QImage&);
    std::size_t offset(int channel, int x, int y) const { return offset(channel, x, y, header.width); }
    std::vector<std::uint8_t> m_data;
};

// Re-creates the buffer with the picture's size and copies all its rows in,
// bottom row first; channel 4 is 0 afterwards.
void LoadPixelBuffer(PixelBuffer& buffer, const QImage& picture);

// Writes the buffer back into a picture of the same size (32-bit RGB).
void StorePixelBuffer(const PixelBuffer& buffer, QImage& picture);

} // namespace kartovo
