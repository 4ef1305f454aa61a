#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kartovo {

// The bitmap header that describes the buffer (the 40-byte BITMAPINFOHEADER
// fields). Rewritten by every load, used unchanged by every store.
struct PixelBufferHeader {
    std::int32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0; // positive: rows stored bottom-up
    std::int16_t planes = 1;
    std::int16_t bitCount = 32;
    std::int32_t compression = 0; // uncompressed
    std::int32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::int32_t clrUsed = 0;
    std::int32_t clrImportant = 0;
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

    std::uint8_t& operator()(int channel, int x, int y) { return data()[offset(channel, x, y)]; }
    std::uint8_t operator()(int channel, int x, int y) const { return data()[offset(channel, x, y)]; }

    // Pointer to pixel (x, y): bytes blue, green, red, reserved.
    std::uint8_t* pixel(int x, int y) { return data() + offset(1, x, y); }
    const std::uint8_t* pixel(int x, int y) const { return data() + offset(1, x, y); }
    // Bottom row first, 4 * width * height bytes, no padding.
    std::uint8_t* data() { return reinterpret_cast<std::uint8_t*>(m_words.data()); }
    const std::uint8_t* data() const { return reinterpret_cast<const std::uint8_t*>(m_words.data()); }
    std::size_t byteCount() const { return m_words.size() * 4; }

    static std::size_t offset(int channel, int x, int y, int width) {
        return (static_cast<std::size_t>(y - 1) * width + (x - 1)) * 4 + (channel - 1);
    }

private:
    // Leaves new words uninitialised: every load overwrites all of them, and
    // zero-filling 35 MB first would double the cost of a load.
    template <class T>
    struct UninitAllocator : std::allocator<T> {
        template <class U>
        struct rebind {
            using other = UninitAllocator<U>;
        };
        UninitAllocator() = default;
        template <class U>
        UninitAllocator(const UninitAllocator<U>&) noexcept {}
        template <class U>
        void construct(U* p) noexcept {
            ::new (static_cast<void*>(p)) U;
        }
        template <class U, class... A>
        void construct(U* p, A&&... a) {
            ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
        }
    };

    friend void LoadPixelBuffer(PixelBuffer&, const QImage&);
    std::size_t offset(int channel, int x, int y) const { return offset(channel, x, y, header.width); }
    // One word per pixel; bytes are reached through data() (byte access may alias).
    std::vector<std::uint32_t, UninitAllocator<std::uint32_t>> m_words;
};

// Re-creates the buffer with the picture's size and copies all its rows in,
// bottom row first; channel 4 is 0 afterwards. Pictures that are not 32-bit
// RGB are converted first (as a 32-bit screen bitmap would show them).
void LoadPixelBuffer(PixelBuffer& buffer, const QImage& picture);

// Writes the buffer back into the picture as 32-bit RGB. A picture of another
// size or format is replaced by one of the buffer's size, so a store never
// writes outside the picture.
void StorePixelBuffer(const PixelBuffer& buffer, QImage& picture);

} // namespace kartovo
