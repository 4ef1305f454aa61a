// Renders the program's SVG icon into one square PNG per size for the hicolor theme.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "użycie: render-icon IKONA.svg ROZMIAR WYJŚCIE.png\n");
        return 64;
    }
    QSvgRenderer svg(args[1]);
    const int size = args[2].toInt();
    if (!svg.isValid() || size <= 0) {
        std::fprintf(stderr, "render-icon: nie można odczytać %s\n", qPrintable(args[1]));
        return 1;
    }
    QImage png(size, size, QImage::Format_ARGB32_Premultiplied);
    png.fill(Qt::transparent);
    QPainter painter(&png);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    if (!png.save(args[3])) {
        std::fprintf(stderr, "render-icon: nie można zapisać %s\n", qPrintable(args[3]));
        return 1;
    }
    return 0;
}
