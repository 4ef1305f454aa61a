#include "reading/GridGeometry.h"

#include "platform/Messages.h"
#include "platform/Numbers.h"

#include <QPainter>
#include <cmath>

namespace kartovo {

namespace {

using Number = std::optional<double>;

int ToPixel(float v) { return static_cast<int>(std::nearbyint(v)); }

// A number column, or nothing when it is null or not a finite number.
bool NumberOf(const Number& v, double& out) {
    if (!v) return false;
    out = *v;
    return std::isfinite(out);
}

// A present limit column that is no finite 32-bit number, or empty.
QString NonFiniteLimit(const ParameterRow& p) {
    const std::pair<const char*, const Number*> limits[] = {{"OG", &p.OG},   {"OD", &p.OD}, {"GLK", &p.GLK},
                                                            {"DLK", &p.DLK}, {"LS", &p.LS}, {"WN", &p.WN},
                                                            {"GL", &p.GL},   {"DL", &p.DL}};
    for (const auto& [column, v] : limits) {
        if (!*v) continue;
        const double d = **v;
        if (!std::isfinite(d) || !std::isfinite(static_cast<float>(d))) return QLatin1String(column);
    }
    return {};
}

Refusal NonFiniteText(const QString& columns) {
    return Refuse(RefusalKind::BadInput,
                  QStringLiteral("Wartość %1 parametru skanowanej karty nie jest skończoną liczbą.").arg(columns) +
                      kLineBreak + QStringLiteral("Nie można wyznaczyć wartości pomiarów z siatki karty."));
}

// The larger / smaller of two values; a missing one never wins (as MaxOf2).
Number Larger(const Number& a, const Number& b) { return a && b && *b > *a ? b : a; }
Number Smaller(const Number& a, const Number& b) { return a && b && *b < *a ? b : a; }

} // namespace

std::int16_t ValueDecimalsOf(const QString& format) {
    const int p = format.indexOf(u'.') + 1; // 1-based, 0 when there is no point
    return static_cast<std::int16_t>(format.size() - p + 1);
}

bool IsExtendedRange(const ParameterRow& parameter) {
    return (parameter.Skala && *parameter.Skala == 1.0) || parameter.CzyArch;
}

Result<void> UstawZakresyP(const ParameterRow& parameter, GridGeometry& grid) {
    grid.ValueDecimals = ValueDecimalsOf(parameter.Format);
    // Infinite limits would be stored as values and drawn at no row.
    if (const QString column = NonFiniteLimit(parameter); !column.isEmpty()) return NonFiniteText(column);
    const Number& og = parameter.OG;
    const Number& od = parameter.OD;
    Number top, bottom;
    if (og && od) {
        top = og;
        bottom = od;
    } else if (!og && !od) {
        return Refuse(RefusalKind::BadInput,
                      QStringLiteral("Parametr skanowanej karty nie ma określonej górnej ani dolnej granicy (OG, OD).") +
                          kLineBreak + QStringLiteral("Nie można wyznaczyć wartości pomiarów z siatki karty."));
    } else if (!og) {
        bottom = od;
        top = parameter.GLK ? parameter.GLK : parameter.WN;
    } else {
        top = og;
        bottom = parameter.DLK ? parameter.DLK : parameter.WN;
    }
    if (!top || !bottom) {
        // Without a stand-in (GLK/DLK or WN) one edge of the grid has no value.
        return Refuse(RefusalKind::BadInput,
                      QStringLiteral("Parametr skanowanej karty nie ma określonego zakresu wartości siatki.") +
                          kLineBreak +
                          QStringLiteral("Brak granicy %1 oraz wartości zastępczych (%2, WN).")
                              .arg(og ? QStringLiteral("OD") : QStringLiteral("OG"),
                                   og ? QStringLiteral("DLK") : QStringLiteral("GLK")));
    }
    if (IsExtendedRange(parameter)) {
        top = Larger(top, parameter.GL);
        bottom = Smaller(bottom, parameter.DL);
    }
    grid.RangeTop = static_cast<float>(*top);
    grid.RangeBottom = static_cast<float>(*bottom);
    if (!std::isfinite(grid.RangeTop - grid.RangeBottom)) return NonFiniteText(QStringLiteral("OG - OD"));
    return {};
}

void SetGridEdges(GridGeometry& grid, const QImage& picture) {
    grid.GridTop = 0;
    grid.GridBottom = picture.height() - 1;
    grid.GridLeft = 0;
    grid.GridRight = picture.width() - 1;
}

void RysSiatka(QImage& picture, const ParameterRow& parameter, GridGeometry& grid) {
    if (picture.isNull()) return;
    if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&picture);
    auto hline = [&](int x1, int x2, int y, QRgb c) {
        if (x2 < x1) std::swap(x1, x2);
        painter.fillRect(QRect(QPoint(x1, y), QPoint(x2, y)), QColor::fromRgb(c));
    };
    auto vline = [&](int x, int y1, int y2, QRgb c) {
        if (y2 < y1) std::swap(y1, y2);
        painter.fillRect(QRect(QPoint(x, y1), QPoint(x, y2)), QColor::fromRgb(c));
    };

    grid.GridOriginY = static_cast<float>(grid.GridBottom);
    grid.GridOriginX = static_cast<float>(grid.GridLeft);

    const int h = picture.height(), w = picture.width();
    const float span = grid.RangeTop - grid.RangeBottom;
    if (span != 0.0f) {
        const float k = static_cast<float>(h) / span;
        auto limitLine = [&](const Number& column, QRgb colour) {
            double v = 0.0;
            if (!NumberOf(column, v)) return;
            const float y = static_cast<float>(h - (v - grid.RangeBottom) * k);
            // A line off the picture draws nothing; far off, its row has no whole number.
            if (!std::isfinite(y) || y < -2.0f || y > static_cast<float>(h) + 2.0f) return;
            const int y1 = ToPixel(y - 1.0f), y2 = ToPixel(y + 1.0f);
            painter.fillRect(QRect(QPoint(0, y1), QPoint(w, y2)), QColor::fromRgb(colour));
        };
        if (IsExtendedRange(parameter)) {
            limitLine(parameter.OG, kOuterLimitColour);
            limitLine(parameter.OD, kOuterLimitColour);
        }
        limitLine(parameter.GLK, kControlLineColour);
        limitLine(parameter.LS, kCentreLineColour);
        limitLine(parameter.DLK, kControlLineColour);
    }

    hline(grid.GridLeft, grid.GridRight, grid.GridTop, kGridLineColour);
    hline(grid.GridLeft, grid.GridRight, grid.GridBottom, kGridLineColour);
    vline(grid.GridLeft, grid.GridTop, grid.GridBottom, kGridLineColour);
    vline(grid.GridRight, grid.GridTop, grid.GridBottom, kGridLineColour);

    double gestosc = 0.0, rows = 0.0;
    const bool haveColumns = NumberOf(parameter.Gestosc, gestosc) && gestosc + 1.0 != 0.0;
    const bool haveRows = NumberOf(parameter.SkalaSiatki, rows) && rows != 0.0;
    if (haveColumns)
        grid.ColumnWidth = static_cast<float>((grid.GridRight - grid.GridLeft) / (gestosc + 1.0));
    if (haveRows) grid.RowHeight = static_cast<float>((grid.GridBottom - grid.GridTop) / rows);

    // Lines closer than a pixel cover every pixel between the edges: one
    // fill then, so a huge Gestosc or SkalaSiatki costs no more than the picture.
    if (haveColumns && std::abs(grid.ColumnWidth) < 1.0f && gestosc >= 1.0) {
        painter.fillRect(QRect(QPoint(grid.GridLeft, grid.GridTop), QPoint(grid.GridRight, grid.GridBottom)),
                         QColor::fromRgb(kGridLineColour));
    } else if (haveColumns) {
        for (int i = 1; i <= gestosc + 1.0; ++i) {
            const int x = ToPixel(static_cast<float>(grid.GridLeft) + static_cast<float>(i) * grid.ColumnWidth);
            vline(x, grid.GridTop, grid.GridBottom, kGridLineColour);
        }
    }
    if (haveRows && std::abs(grid.RowHeight) < 1.0f && rows >= 2.0) {
        painter.fillRect(QRect(QPoint(grid.GridLeft, grid.GridTop), QPoint(grid.GridRight, grid.GridBottom)),
                         QColor::fromRgb(kGridLineColour));
    } else if (haveRows) {
        for (int j = 1; j <= rows - 1.0; ++j) {
            const int y = ToPixel(static_cast<float>(grid.GridTop) + static_cast<float>(j) * grid.RowHeight);
            hline(grid.GridLeft, grid.GridRight, y, kGridLineColour);
        }
    }
}

QVariant RowValue(const ParameterRow& parameter, const GridGeometry& grid, int row) {
    double s = 0.0;
    if (!NumberOf(parameter.SkalaSiatki, s) || s == 0.0) return {};
    // The difference is taken in the 32-bit precision of the range.
    const float span = grid.RangeTop - grid.RangeBottom;
    const double step = static_cast<double>(span) / s;
    Number odv = parameter.OD, ogv = parameter.OG;
    if (IsExtendedRange(parameter)) {
        odv = Smaller(odv, parameter.DL);
        ogv = Larger(ogv, parameter.GL);
    }
    double value = 0.0;
    if (odv)
        value = *odv + row * step + step / 2.0;
    else if (ogv)
        value = *ogv - (s - row) * step + step / 2.0;
    else
        return {};
    return RoundHalfEven(value, grid.ValueDecimals);
}

} // namespace kartovo
