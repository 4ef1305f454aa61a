#include "recognition/ui/PrintAt.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <cmath>

namespace kartovo {

double PrintWidth(const QPainter& painter, const QString& text) {
    if (!painter.isActive()) return 0.0;
    const QFontMetricsF fm(painter.font(), painter.device());
    // The font scales with the painter, so its metrics are already in painter units.
    return fm.horizontalAdvance(text);
}

void PrintAt(QPainter& painter, double x, double y, const QString& text, int alignment) {
    if (!painter.isActive() || text.isEmpty()) return;
    double offset = 0.0;
    if (alignment == AlignCentre)
        offset = PrintWidth(painter, text) / 2.0;
    else if (alignment == AlignEnd)
        offset = PrintWidth(painter, text);
    const QFontMetricsF fm(painter.font(), painter.device());
    painter.drawText(QPointF(x - offset, y + fm.ascent()), text);
}

double TwipsToPixels(double twips, const QPaintDevice& device) {
    return twips * device.logicalDpiX() / kTwipsPerInch;
}

double PixelsToTwips(double pixels, const QPaintDevice& device) {
    const int dpi = device.logicalDpiX();
    return dpi > 0 ? pixels * kTwipsPerInch / dpi : 0.0;
}

int TwipsToPixelsRounded(double twips, const QPaintDevice& device) {
    return static_cast<int>(std::lround(TwipsToPixels(twips, device)));
}

} // namespace kartovo
