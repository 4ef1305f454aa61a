#include "reading/MarkReading.h"

#include "recognition/CheckPoint.h"

#include <QPainter>
#include <cmath>

namespace kartovo {

std::vector<MarkedCell> ReadMarks(const QImage& source, const GridGeometry& g, double threshold,
                                  const std::function<void(float, int)>& afterColumn) {
    ScanCallbacks callbacks;
    callbacks.column = afterColumn;
    return ReadMarks(source, g, threshold, callbacks);
}

std::vector<MarkedCell> ReadMarks(const QImage& source, const GridGeometry& g, double threshold,
                                  const ScanCallbacks& callbacks) {
    std::vector<MarkedCell> marks;
    if (g.ColumnWidth <= 0.0f || g.RowHeight <= 0.0f) return marks;
    const QImage picture = (source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32)
                               ? source
                               : source.convertToFormat(QImage::Format_RGB32);
    int section = 1;
    float x = g.GridOriginX - g.ColumnWidth / 2.0f;
    while (x < static_cast<float>(g.GridRight) - g.ColumnWidth) {
        x += g.ColumnWidth;
        float y = g.GridOriginY + g.RowHeight / 2.0f;
        int row = 0, found = 0;
        while (y > static_cast<float>(g.GridTop) + g.RowHeight) {
            y -= g.RowHeight;
            const float cx = std::floor(x), cy = std::floor(y);
            const MarkedCell cell{static_cast<int>(cx), static_cast<int>(cy), row, section};
            const bool marked = CheckPoint(picture, cx, cy, g.ColumnWidth, g.RowHeight, threshold) == 0;
            if (marked) {
                ++found;
                marks.push_back(cell);
            }
            if (callbacks.cell) callbacks.cell(cell, x, y, marked);
            if (marked && callbacks.stop && callbacks.stop(marks.size())) return marks;
            ++row;
        }
        if (callbacks.column) callbacks.column(x, found);
        ++section;
    }
    return marks;
}

QRect MarkBoxRect(const GridGeometry& g, float x, float y) {
    const int x1 = static_cast<int>(std::floor(x - g.ColumnWidth / 4.0f));
    const int y1 = static_cast<int>(std::floor(y - g.RowHeight / 4.0f));
    const int x2 = static_cast<int>(std::floor(x + g.ColumnWidth / 4.0f));
    const int y2 = static_cast<int>(std::floor(y + g.RowHeight / 4.0f));
    return QRect(QPoint(x1, y1), QPoint(x2, y2));
}

void DrawMarkBox(QImage& picture, const GridGeometry& g, float x, float y) {
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(MarkBoxRect(g, x, y), QColor(255, 0, 0));
}

} // namespace kartovo
