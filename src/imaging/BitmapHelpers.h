#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace kartovo {

// One pixel of a device-dependent bitmap in its native depth (not scaled to
// 0..255): 5 bits per channel at depth 15, 5-6-5 at depth 16, palette entry
// colours at depth 8, bytes at 24 and 32.
struct ColorTriple {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    friend bool operator==(const ColorTriple&, const ColorTriple&) = default;
};

// Triples indexed (x, y), x = 0..width - 1 from the left, y = 0..height - 1
// from the TOP, stored row by row.
class ColorTripleArray {
public:
    ColorTripleArray() = default;
    ColorTripleArray(int width, int height)
        : m_width(width), m_height(height), m_cells(static_cast<std::size_t>(width) * height) {}

    int width() const { return m_width; }
    int height() const { return m_height; }
    ColorTriple& operator()(int x, int y) { return m_cells[static_cast<std::size_t>(y) * m_width + x]; }
    const ColorTriple& operator()(int x, int y) const { return m_cells[static_cast<std::size_t>(y) * m_width + x]; }

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<ColorTriple> m_cells;
};

// Numbered errors of the bitmap helpers.
inline constexpr std::int32_t kErrInvalidBitsPerPixel = static_cast<std::int32_t>(0x800403E9u); // -2147220503
inline constexpr std::int32_t kErrMatchingPalette = static_cast<std::int32_t>(0x800403EAu);     // -2147220502

class BitmapError : public std::runtime_error {
public:
    BitmapError(std::int32_t number, const QString& source, const QString& description);
    std::int32_t number() const { return m_number; }
    const QString& source() const { return m_source; }
    const QString& description() const { return m_description; }

private:
    std::int32_t m_number;
    QString m_source;
    QString m_description;
};

// The error both GetBitmapPixels and SetBitmapPixels raise for an unsupported
// depth (both report the source "DDBHelper.GetBitmapPixels").
BitmapError InvalidBitsPerPixelError(int bitsPerPixel);
// The error of a refused palette resize. QImage colour tables never refuse,
// so nothing raises it here; kept so that callers can report it alike.
BitmapError MatchingPaletteError();

// Depth of a picture as a device-dependent bitmap: Indexed8 -> 8, RGB555 -> 15,
// RGB16 -> 16, RGB888 / BGR888 -> 24, RGB32 / ARGB32 (premultiplied or not)
// -> 32. Any other format reports its bit count (0 for a null picture), which
// the helpers refuse.
int BitmapDepth(const QImage& picture);
// The format SetBitmapPixels writes for a depth; Format_Invalid for others.
QImage::Format BitmapFormat(int bitsPerPixel);
bool IsBitmapDepth(int bitsPerPixel);

// Bytes of one bitmap row: rows are 2-byte aligned, so an odd count gains one.
// Throws the SetBitmapPixels error for an unsupported depth.
int BitmapRowBytes(int width, int bitsPerPixel);

// Packs the triples into top-down rows of BitmapRowBytes bytes. Out-of-range
// components at depths 15 and 16 are clamped in `pixels` itself. At depth 8
// every triple becomes the index of the nearest entry of `palette`.
std::vector<std::uint8_t> PackBitmapRows(int bitsPerPixel, ColorTripleArray& pixels, const QList<QRgb>& palette);

// The reverse: rows of `bytesPerRow` bytes, top row first. At depth 8 a byte
// is an index into `palette`; entries the palette lacks read as black.
ColorTripleArray UnpackBitmapRows(int bitsPerPixel, const std::uint8_t* bytes, int bytesPerRow, int width,
                                  int height, const QList<QRgb>& palette);

// Index of the palette entry nearest to (red, green, blue) by squared
// distance, the lowest index on a tie; 0 for an empty palette.
int NearestPaletteIndex(const QList<QRgb>& palette, int red, int green, int blue);

// Reads the picture's pixels in its native depth; throws BitmapError for a
// depth other than 8, 15, 16, 24, 32.
void GetBitmapPixels(const QImage& picture, ColorTripleArray& pixels, int& bitsPerPixel);

// Replaces the picture by the packed triples at the given depth (size from the
// array). At depth 8 the picture's colour table is kept as the palette; a
// picture without one gets a 256-level grey ramp. Throws BitmapError for an
// unsupported depth. The reserved byte of a 32-bit pixel is stored as 0xff,
// as opaque RGB32 pictures require.
void SetBitmapPixels(QImage& picture, int bitsPerPixel, ColorTripleArray& pixels);

// A QImage colour table holds exact colours and there is no system palette to
// share, so nothing needs matching: kept for the callers' sake, does nothing.
void MatchColorPalette(const QImage& picture);

} // namespace kartovo
