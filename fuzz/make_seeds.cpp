// Writes the seed corpus of the fuzzing target: real cards from the card
// renderer (100 dpi, marked, the parameter of PictureRoad.h) in every format
// the program reads, in the variants scanners and editors make.
#include "CardRenderer.h"

#include <Magick++.h>

#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <cstdio>

using namespace kartovo;

namespace {

bool writeQt(const QImage& img, const QString& path, const char* format, int quality = -1, int compression = -1) {
    QImageWriter w(path, format);
    if (quality >= 0) w.setQuality(quality);
    if (compression >= 0) w.setCompression(compression);
    return w.write(img);
}

bool writeMagick(const QImage& img, const QString& path, const char* format, bool bilevel = false) {
    const QImage rgb = img.convertToFormat(QImage::Format_RGB32);
    try {
        Magick::Image m(unsigned(rgb.width()), unsigned(rgb.height()), "BGRA", Magick::CharPixel, rgb.constBits());
        m.matte(false);
        if (bilevel) m.type(Magick::BilevelType);
        else if (QByteArray(format) == "GIF") m.quantizeColors(64), m.quantize();
        m.magick(format);
        m.write(QFile::encodeName(path).toStdString());
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), e.what());
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Magick::InitializeMagick(*argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());

    CardSpec cardSpec;
    cardSpec.id = 19;
    const char* numeric[][2] = {{"OG", "12"}, {"OD", "10"}, {"GLK", "11.6"}, {"DLK", "10.4"}, {"LS", "11"}, {"WN", "11"}};
    cardSpec.parameter.set(QStringLiteral("ID"), 19);
    cardSpec.parameter.set(QStringLiteral("Gestosc"), 9);
    cardSpec.parameter.set(QStringLiteral("SkalaSiatki"), 20);
    for (const auto& c : numeric) cardSpec.parameter.set(QString::fromLatin1(c[0]), QString::fromLatin1(c[1]).toDouble());
    cardSpec.parameter.set(QStringLiteral("GL"), QVariant());
    cardSpec.parameter.set(QStringLiteral("DL"), QVariant());
    cardSpec.parameter.set(QStringLiteral("Skala"), 0);
    cardSpec.parameter.set(QStringLiteral("CzyArch"), false);
    cardSpec.parameter.set(QStringLiteral("Format"), QStringLiteral("0.00"));
    cardSpec.name = QStringLiteral("Średnica");
    cardSpec.program = QStringLiteral("Wałek 12");

    QString error;
    const QImage card = RenderCard(cardSpec, CardStyle{}, 100, RandomMarks(10, 20, 7), 7, &error);
    if (card.isNull()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QImage grey = card.convertToFormat(QImage::Format_Grayscale8);
    const QImage mono = card.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    const auto at = [&](const char* name) { return out.filePath(QString::fromLatin1(name)); };
    bool ok = writeQt(card, at("card.png"), "png") && writeQt(grey, at("card-grey.png"), "png") &&
              writeQt(card, at("card.jpg"), "jpeg", 80) && writeQt(grey, at("card-grey.jpg"), "jpeg", 60) &&
              writeQt(card, at("card.bmp"), "bmp") && writeQt(mono, at("card-mono.bmp"), "bmp") &&
              writeQt(grey.convertToFormat(QImage::Format_Indexed8), at("card-8bit.bmp"), "bmp") &&
              writeQt(card, at("card-lzw.tif"), "tiff", -1, 1) && writeQt(mono, at("card-mono.tif"), "tiff") &&
              writeMagick(card, at("card.gif"), "GIF") && writeMagick(card, at("card.pcx"), "PCX") &&
              writeMagick(card, at("card-mono.pcx"), "PCX", true);
    return ok ? 0 : 1;
}
