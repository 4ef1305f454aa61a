#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

namespace kartovo {

// The largest picture the program decodes: a card needs 100-300 dpi, an A4
// page at 600 dpi is 35 million pixels. Larger ones are refused from their
// header, before decoding.
inline constexpr qint64 kMaxPictureSide = 16000;
inline constexpr qint64 kMaxPicturePixels = 64000000;
// The largest file read at all (an uncompressed 16-bit TIFF of the largest picture).
inline constexpr qint64 kMaxPictureFileBytes = qint64(768) * 1024 * 1024;

// Loads any picture the program accepts (BMP, JPEG, GIF, TIFF, PNG through
// Qt's readers, PCX through GraphicsMagick) as opaque 32-bit RGB, the way a
// picture box holds it. Each format is told by its signature and its header
// is checked before decoding: a file that does not hold its whole picture,
// or a picture above the limits, never reaches a decoder. Of a GIF or TIFF
// with several pictures the first is read (the file must still be whole).
// A missing, empty, too large, truncated or undecodable file, or a name that
// is not a regular file, gives false, an empty `out` and a Polish description
// in *error (when given). A fifo is never waited for.
bool LoadPicture(const QString& path, QImage& out, QString* error = nullptr);

// The bytes of a picture file, read as LoadPicture reads them: a regular file
// within the size limit, a fifo never waited for; false with the description.
bool ReadPictureFile(const QString& path, QByteArray& data, QString* error = nullptr);

// The same as LoadPicture for the bytes of a file; `name` is only used in the description.
bool LoadPictureData(const QByteArray& data, const QString& name, QImage& out, QString* error = nullptr);

// Writes the picture as a 24-bit Windows bitmap under `path`, replacing the
// file there: the name holds either a complete picture or, once a save has
// failed, nothing. False with a Polish description when it cannot be written.
// `overlay`, when given, draws on each row of the file (picture row, top = 0;
// blue, green, red bytes) before it is written: marks that the file shows but
// the picture does not.
using BitmapRowOverlay = std::function<void(int row, uchar* bgr)>;
bool SavePictureBitmap(const QImage& picture, const QString& path, QString* error = nullptr,
                       const BitmapRowOverlay& overlay = {});

} // namespace kartovo
