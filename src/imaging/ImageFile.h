#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

namespace kartovo {

// Loads any picture the program accepts (BMP, JPEG, GIF, TIFF, PNG through
// Qt's readers, PCX through GraphicsMagick) as opaque 32-bit RGB, the way a
// picture box holds it. A missing, empty, truncated or undecodable file gives
// false, an empty `out` and a Polish description in *error (when given).
bool LoadPicture(const QString& path, QImage& out, QString* error = nullptr);

// The same for the bytes of a file; `name` is only used in the description.
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
