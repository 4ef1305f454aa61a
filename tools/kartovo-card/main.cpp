// kartovo-card: draws the data card that recognition expects, as a scanned
// picture at a given resolution and/or as a printable PDF.
#include "CardRenderer.h"
#include "recognition/Recognition.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <cstdio>

using namespace kartovo;

namespace {

int Fail(const QString& text) {
    std::fprintf(stderr, "kartovo-card: %s\n", qPrintable(text));
    return 1;
}

bool ParseMarks(const QString& text, std::vector<CellMark>& marks) {
    for (const QString& item : text.split(u',', Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(u':');
        bool ok1 = false, ok2 = false;
        if (parts.size() != 2) return false;
        const int s = parts[0].trimmed().toInt(&ok1), r = parts[1].trimmed().toInt(&ok2);
        if (!ok1 || !ok2) return false;
        marks.push_back({s, r});
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kartovo-card"));

    QCommandLineParser cli;
    cli.setApplicationDescription(QStringLiteral("Draws a Kartovo data card (see tools/kartovo-card/README.md)."));
    cli.addHelpOption();
    const QStringList numeric = {"OG", "OD", "GLK", "DLK", "LS", "WN", "GL", "DL", "Skala"};
    cli.addOption({"id", "Parameter id encoded in the code field (> 0).", "n", "1"});
    cli.addOption({"gestosc", "Gestosc: the grid has Gestosc + 1 columns.", "n", "9"});
    cli.addOption({"skala-siatki", "SkalaSiatki: number of grid rows.", "n", "20"});
    for (const QString& c : numeric) cli.addOption({c.toLower(), QStringLiteral("Column %1.").arg(c), "value"});
    cli.addOption({"czy-arch", "CzyArch is true (extended range)."});
    cli.addOption({"format", "Format of values.", "text", "0.00"});
    cli.addOption({"nazwa", "Parameter name (Nazwa).", "text", ""});
    cli.addOption({"program", "Control program name.", "text", ""});
    cli.addOption({"page", "Page size: A5 or A4.", "size", "A5"});
    cli.addOption({"marker-mm", "Marker thickness in mm.", "mm", "0.9"});
    cli.addOption({"dpi", "Scan resolution of the picture.", "dpi", "150"});
    cli.addOption({"out", "Picture file (format by extension: png, bmp, jpg, ...).", "file"});
    cli.addOption({"quality", "JPEG quality (0..100).", "q", "85"});
    cli.addOption({"pdf", "Printable PDF at true size.", "file"});
    cli.addOption({"fill", "Blacken cells: section:row,... (section from 1, row 0 at the bottom).", "list"});
    cli.addOption({"fill-random", "Blacken one random cell in every column."});
    cli.addOption({"seed", "Seed of marks and defects.", "n", "1"});
    cli.addOption({"noise", "Scanner noise (standard deviation, 0..255 scale).", "sigma", "0"});
    cli.addOption({"blur", "Blur strength 0..1.", "amount", "0"});
    cli.addOption({"paper", "Paper colour, e.g. #f4efe2.", "colour", "#ffffff"});
    cli.addOption({"rotate", "Deliver the scan turned: cw or ccw.", "dir"});
    cli.addOption({"verify", "Read the written picture back (turned back first) and print what recognition finds."});
    cli.process(app);

    CardSpec cardSpec;
    bool ok = false;
    cardSpec.id = cli.value("id").toInt(&ok);
    if (!ok || cardSpec.id <= 0) return Fail(QStringLiteral("--id must be a whole number > 0"));
    cardSpec.parameter.set("ID", cardSpec.id);
    cardSpec.parameter.set("Gestosc", cli.value("gestosc").toInt());
    cardSpec.parameter.set("SkalaSiatki", cli.value("skala-siatki").toInt());
    for (const QString& c : numeric) {
        const QString v = cli.value(c.toLower());
        if (v.isEmpty()) {
            cardSpec.parameter.set(c, QVariant());
            continue;
        }
        const double d = v.toDouble(&ok);
        if (!ok) return Fail(QStringLiteral("--%1 is not a number: %2").arg(c.toLower(), v));
        cardSpec.parameter.set(c, d);
    }
    cardSpec.parameter.set("CzyArch", cli.isSet("czy-arch"));
    cardSpec.parameter.set("Format", cli.value("format"));
    cardSpec.parameter.set("Nazwa", cli.value("nazwa"));
    cardSpec.name = cli.value("nazwa");
    cardSpec.program = cli.value("program");

    CardStyle style;
    const QString page = cli.value("page").toUpper();
    if (page == "A4") style.page = QPageSize::A4;
    else if (page != "A5") return Fail(QStringLiteral("--page must be A5 or A4"));
    style.markerMm = cli.value("marker-mm").toDouble();
    style.paper = QColor(cli.value("paper"));
    if (!style.paper.isValid()) return Fail(QStringLiteral("--paper is not a colour"));

    const quint32 seed = cli.value("seed").toUInt();
    std::vector<CellMark> marks;
    if (cli.isSet("fill") && !ParseMarks(cli.value("fill"), marks))
        return Fail(QStringLiteral("--fill expects section:row pairs separated by commas"));
    const CardLayout layout = LayoutCard(cardSpec, style);
    if (!layout.error.isEmpty()) return Fail(layout.error);
    if (cli.isSet("fill-random")) {
        const auto more = RandomMarks(layout.columns, layout.rows, seed);
        marks.insert(marks.end(), more.begin(), more.end());
    }

    if (!cli.isSet("out") && !cli.isSet("pdf")) return Fail(QStringLiteral("give --out and/or --pdf"));
    QString error;
    if (cli.isSet("pdf") && !WriteCardPdf(cardSpec, style, cli.value("pdf"), marks, seed, &error)) return Fail(error);
    if (cli.isSet("out")) {
        const double dpi = cli.value("dpi").toDouble();
        if (dpi < 50 || dpi > 1200) return Fail(QStringLiteral("--dpi must be between 50 and 1200"));
        QImage card = RenderCard(cardSpec, style, dpi, marks, seed, &error);
        if (card.isNull()) return Fail(error);
        ScanDefects defects;
        defects.noise = cli.value("noise").toDouble();
        defects.blur = cli.value("blur").toDouble();
        defects.seed = seed;
        const QString rot = cli.value("rotate").toLower();
        if (rot == "cw") defects.rotation = 90;
        else if (rot == "ccw") defects.rotation = -90;
        else if (!rot.isEmpty()) return Fail(QStringLiteral("--rotate must be cw or ccw"));
        card = ApplyScanDefects(card, defects);
        const QString out = cli.value("out");
        QImageWriter writer(out);
        writer.setQuality(cli.value("quality").toInt());
        if (!writer.write(card)) return Fail(QStringLiteral("cannot write %1: %2").arg(out, writer.errorString()));
        if (cli.isSet("verify")) {
            QImage scan(out);
            if (defects.rotation != 0) scan = scan.transformed(QTransform().rotate(-defects.rotation));
            const RecognitionResult r = RecogniseCard(scan);
            const MarkerResult& m = r.markers;
            std::printf("markers: top %d %d %d, side %d %d %d %d\n", m.topMarker1X, m.topMarker2X, m.topMarker3X,
                        m.sideMarker1Y, m.sideMarker2Y, m.sideMarker3Y, m.sideMarker4Y);
            std::printf("grid %dx%d, code bits %s -> id %d\n", r.grid.width(), r.grid.height(),
                        qPrintable(r.code.bits), r.code.id);
            if (!r.codeRead || r.code.id != cardSpec.id)
                return Fail(QStringLiteral("recognition gave %1: %2").arg(r.code.id).arg(QString(r.refusal).replace(QChar(13), u'/')));
        }
    }
    return 0;
}
