#include "reading/CountStrip.h"

#include "platform/Numbers.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

namespace kartovo {

namespace {
constexpr QRgb kCountRed = 0xffff0000u; // palette 12
constexpr int kCountPixelSize = 11;

bool CanDrawText() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

void DrawCount(QPainter& painter, float x, int found, const ParameterRow& parameter) {
    const bool standsOut = CountStandsOut(found, parameter);
    const QFont font = CountFont(standsOut);
    painter.setFont(font);
    painter.setPen(standsOut ? QColor::fromRgb(kCountRed) : QColor(Qt::black));
    const QString text = QString::number(found);
    const double cx = static_cast<double>(CInt(x));
    const QFontMetricsF fm(font, painter.device());
    painter.drawText(QPointF(cx - fm.horizontalAdvance(text) / 2.0, kCountTextTop + fm.ascent()), text);
}
} // namespace

std::optional<double> ExpectedCount(const ParameterRow& parameter) {
    if (parameter.is(CardType::Individual)) return 1.0;
    return parameter.Probka;
}

bool CountStandsOut(int found, const ParameterRow& parameter) {
    if (found == 0) return false;
    const std::optional<double> expected = ExpectedCount(parameter);
    // A missing sample size compares as unknown: nothing stands out.
    return expected && static_cast<double>(found) != *expected;
}

QImage BlankCountStrip(int width) {
    QImage strip(width, kCountStripPixels, QImage::Format_RGB32);
    strip.fill(Qt::white);
    return strip;
}

QFont CountFont(bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(kCountPixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

void PrintCount(QImage& strip, float x, int found, const ParameterRow& parameter) {
    if (strip.isNull() || !CanDrawText()) return;
    QPainter painter(&strip);
    DrawCount(painter, x, found, parameter);
}

void RedrawCountStrip(QImage& strip, const std::vector<float>& centres, const std::vector<int>& counts,
                      const ParameterRow& parameter) {
    if (strip.isNull()) return;
    strip.fill(Qt::white);
    if (!CanDrawText()) return;
    QPainter painter(&strip);
    for (std::size_t i = 0; i < centres.size() && i < counts.size(); ++i)
        DrawCount(painter, centres[i], counts[i], parameter);
}

} // namespace kartovo
