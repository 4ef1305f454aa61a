#pragma once

#include <QString>

class QPainter;
class QPaintDevice;

namespace kartovo {

// Where PrintAt puts a text relative to x.
enum PrintAlignment { AlignStart = 0, AlignCentre = 1, AlignEnd = 2 };

// Prints `text` with the painter's font and pen so that its top lies at y and it
// starts at x (0), is centred on x (1) or ends at x (2). Coordinates and widths
// are in the painter's own units. A painter that is not active is ignored.
void PrintAt(QPainter& painter, double x, double y, const QString& text, int alignment);

// Width of `text` in the painter's font, in the painter's own units.
double PrintWidth(const QPainter& painter, const QString& text);

// Window layouts are designed in twips (1440 per inch) and shown at the
// device's logical resolution.
inline constexpr double kTwipsPerInch = 1440.0;
double TwipsToPixels(double twips, const QPaintDevice& device);
double PixelsToTwips(double pixels, const QPaintDevice& device);
int TwipsToPixelsRounded(double twips, const QPaintDevice& device);

} // namespace kartovo
