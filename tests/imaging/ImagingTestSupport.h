#pragma once

#include <QImage>
#include <QString>
#include <random>

namespace kartovo::test {

inline QString imagingData(const char* name) {
    return QStringLiteral(KARTOVO_TEST_DATA "/imaging/") + QString::fromLatin1(name);
}

// A picture of the given format with random bytes in every pixel (all 256
// palette indices used at depth 8, so the colour table is random too).
inline QImage randomImage(int w, int h, QImage::Format format, std::mt19937& rng) {
    QImage img(w, h, format);
    std::uniform_int_distribution<int> byte(0, 255);
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> table;
        for (int i = 0; i < 256; ++i) table.append(qRgb(byte(rng), byte(rng), byte(rng)));
        img.setColorTable(table);
    }
    const int rowBytes = w * img.depth() / 8;
    for (int y = 0; y < h; ++y) {
        uchar* line = img.scanLine(y);
        for (int i = 0; i < rowBytes; ++i) line[i] = static_cast<uchar>(byte(rng));
    }
    if (format == QImage::Format_RGB32) { // valid RGB32 pixels are opaque
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < w; ++x) line[x] |= 0xff000000u;
        }
    }
    return img;
}

} // namespace kartovo::test
