#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <cstdint>
#include <stdexcept>

namespace kartovo {

// The native colour depths a picture is rotated in: 8 (palette), 15 (5-5-5),
// 16 (5-6-5), 24 and 32 bits per pixel.

// Numbered error of an unsupported depth.
inline constexpr std::int32_t kErrInvalidBitsPerPixel = static_cast<std::int32_t>(0x800403E9u); // -2147220503

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

// The error for an unsupported depth (source "DDBHelper.GetBitmapPixels").
BitmapError InvalidBitsPerPixelError(int bitsPerPixel);

// Depth of a picture as a device-dependent bitmap: Indexed8 -> 8, RGB555 -> 15,
// RGB16 -> 16, RGB888 / BGR888 -> 24, RGB32 / ARGB32 (premultiplied or not)
// -> 32. Any other format reports its bit count (0 for a null picture), which
// rotation refuses.
int BitmapDepth(const QImage& picture);
// The format a rotated picture of that depth has; Format_Invalid for others.
QImage::Format BitmapFormat(int bitsPerPixel);
bool IsBitmapDepth(int bitsPerPixel);

// Index of the palette entry nearest to (red, green, blue) by squared
// distance, the lowest index on a tie; 0 for an empty palette.
int NearestPaletteIndex(const QList<QRgb>& palette, int red, int green, int blue);

} // namespace kartovo
