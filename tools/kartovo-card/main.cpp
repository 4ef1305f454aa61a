// kartovo-card: draws the data card that recognition expects, as a scanned
// picture at a given resolution and/or as a printable PDF.
#include "CardRenderer.h"
#include "recognition/Recognition.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <cstdio>

#ifndef KARTOVO_VERSION
#define KARTOVO_VERSION "0"
#endif

using namespace kartovo;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 64; // sysexits.h's EX_USAGE

int Fail(const QString& text, int status = kExitFailed) {
    std::fprintf(stderr, "kartovo-card: %s\n", qPrintable(text));
    return status;
}

int Usage(const QString& text) {
    std::fprintf(stderr, "kartovo-card: %s\nWięcej informacji: kartovo-card --help\n", qPrintable(text));
    return kExitUsage;
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

QString HelpText(const QCommandLineParser& cli) {
    QString text = cli.helpText();
    // Qt's own headings, in the language of the rest of the text.
    text.replace(QStringLiteral("Usage:"), QStringLiteral("Użycie:"));
    text.replace(QStringLiteral("<executable_name>"), QStringLiteral("kartovo-card"));
    text.replace(QStringLiteral("[options]"), QStringLiteral("[opcje]"));
    text.replace(QStringLiteral("Options:"), QStringLiteral("Opcje:"));
    text += QStringLiteral(
        "\nPrzykład:\n"
        "  kartovo-card --id 19 --og 12 --od 10 --fill-random --noise 8 --dpi 200 --out skan.jpg\n"
        "\nKody wyjścia:\n"
        "  0    karta zapisana (z --verify: i odczytana z powrotem z tym samym numerem)\n"
        "  1    nie można narysować albo zapisać karty, albo --verify odczytało inny numer\n"
        "  64   błędne wywołanie (nieznana opcja, brak albo zła wartość opcji)\n");
    return text;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("kartovo-card"));
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser cli;
    cli.setApplicationDescription(
        QStringLiteral("Rysuje kartę danych Kartovo: obraz skanu w danej rozdzielczości i/lub PDF do druku\n"
                       "w rzeczywistym rozmiarze; tryb wypełniony dodaje znaki długopisu i wady skanu."));
    cli.addOption(QCommandLineOption(QStringList{"h", "help"}, "Pokazuje tę pomoc i kończy."));
    cli.addOption(QCommandLineOption(QStringList{"v", "version"}, "Pokazuje wersję programu i kończy."));
    const QStringList numeric = {"OG", "OD", "GLK", "DLK", "LS", "WN", "GL", "DL", "Skala"};
    cli.addOption({"id", "Numer parametru zapisany w polu kodu (> 0).", "n", "1"});
    cli.addOption({"gestosc", "Gestosc: siatka ma Gestosc + 1 kolumn.", "n", "9"});
    cli.addOption({"skala-siatki", "SkalaSiatki: liczba wierszy siatki.", "n", "20"});
    for (const QString& c : numeric) cli.addOption({c.toLower(), QStringLiteral("Kolumna %1.").arg(c), "liczba"});
    cli.addOption({"czy-arch", "CzyArch prawdziwe (rozszerzony zakres)."});
    cli.addOption({"format", "Format wartości.", "tekst", "0.00"});
    cli.addOption({"nazwa", "Nazwa parametru (Nazwa).", "tekst", ""});
    cli.addOption({"program", "Nazwa programu kontroli.", "tekst", ""});
    cli.addOption({"page", "Rozmiar strony: A5 albo A4.", "rozmiar", "A5"});
    cli.addOption({"marker-mm", "Grubość markera w mm.", "mm", "0.9"});
    cli.addOption({"dpi", "Rozdzielczość skanu (50..1200).", "dpi", "150"});
    cli.addOption({"out", "Plik obrazu (format z rozszerzenia: png, bmp, jpg, ...).", "plik"});
    cli.addOption({"quality", "Jakość JPEG (0..100).", "q", "85"});
    cli.addOption({"pdf", "PDF do druku w rzeczywistym rozmiarze.", "plik"});
    cli.addOption({"fill", "Zaczernia komórki: sekcja:wiersz,... (sekcje od 1, wiersz 0 na dole).", "lista"});
    cli.addOption({"fill-random", "Zaczernia jedną losową komórkę w każdej kolumnie."});
    cli.addOption({"seed", "Ziarno znaków i wad skanu.", "n", "1"});
    cli.addOption({"noise", "Szum skanera (odchylenie standardowe w skali 0..255).", "sigma", "0"});
    cli.addOption({"blur", "Rozmycie 0..1.", "ile", "0"});
    cli.addOption({"paper", "Kolor papieru, np. #f4efe2.", "kolor", "#ffffff"});
    cli.addOption({"rotate", "Skan obrócony: cw (w prawo) albo ccw (w lewo).", "kierunek"});
    cli.addOption({"verify", "Odczytuje zapisany obraz (obrócony z powrotem) i wypisuje, co znalazło rozpoznawanie."});
    // Parsed before the application object: help, version and a wrong call need no display.
    if (!cli.parse(arguments)) {
        const QStringList unknown = cli.unknownOptionNames();
        if (!unknown.isEmpty())
            return Usage(QStringLiteral("nieznana opcja „%1%2”.")
                             .arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"),
                                  unknown.first()));
        return Usage(QStringLiteral("brak wartości opcji albo zbędna wartość (%1).").arg(cli.errorText()));
    }
    if (cli.isSet("help")) {
        std::fputs(HelpText(cli).toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (cli.isSet("version")) {
        std::printf("kartovo-card %s\n", KARTOVO_VERSION);
        return 0;
    }
    if (!cli.positionalArguments().isEmpty())
        return Usage(QStringLiteral("zbędny argument „%1”.").arg(cli.positionalArguments().first()));

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    CardSpec cardSpec;
    bool ok = false;
    cardSpec.id = cli.value("id").toInt(&ok);
    if (!ok || cardSpec.id <= 0) return Usage(QStringLiteral("--id wymaga liczby całkowitej > 0."));
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
        if (!ok) return Usage(QStringLiteral("--%1 nie jest liczbą: %2").arg(c.toLower(), v));
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
    else if (page != "A5") return Usage(QStringLiteral("--page przyjmuje A5 albo A4."));
    style.markerMm = cli.value("marker-mm").toDouble();
    style.paper = QColor(cli.value("paper"));
    if (!style.paper.isValid()) return Usage(QStringLiteral("--paper nie jest kolorem."));

    const quint32 seed = cli.value("seed").toUInt();
    std::vector<CellMark> marks;
    if (cli.isSet("fill") && !ParseMarks(cli.value("fill"), marks))
        return Usage(QStringLiteral("--fill przyjmuje pary sekcja:wiersz rozdzielone przecinkami."));
    const CardLayout layout = LayoutCard(cardSpec, style);
    if (!layout.error.isEmpty()) return Fail(layout.error);
    if (cli.isSet("fill-random")) {
        const auto more = RandomMarks(layout.columns, layout.rows, seed);
        marks.insert(marks.end(), more.begin(), more.end());
    }

    if (!cli.isSet("out") && !cli.isSet("pdf")) return Usage(QStringLiteral("podaj --out i/lub --pdf."));
    QString error;
    if (cli.isSet("pdf") && !WriteCardPdf(cardSpec, style, cli.value("pdf"), marks, seed, &error)) return Fail(error);
    if (cli.isSet("out")) {
        const double dpi = cli.value("dpi").toDouble();
        if (dpi < 50 || dpi > 1200) return Usage(QStringLiteral("--dpi musi leżeć między 50 a 1200."));
        QImage card = RenderCard(cardSpec, style, dpi, marks, seed, &error);
        if (card.isNull()) return Fail(error);
        ScanDefects defects;
        defects.noise = cli.value("noise").toDouble();
        defects.blur = cli.value("blur").toDouble();
        defects.seed = seed;
        const QString rot = cli.value("rotate").toLower();
        if (rot == "cw") defects.rotation = 90;
        else if (rot == "ccw") defects.rotation = -90;
        else if (!rot.isEmpty()) return Usage(QStringLiteral("--rotate przyjmuje cw albo ccw."));
        card = ApplyScanDefects(card, defects);
        const QString out = cli.value("out");
        QImageWriter writer(out);
        writer.setQuality(cli.value("quality").toInt());
        if (!writer.write(card)) return Fail(QStringLiteral("nie można zapisać %1: %2").arg(out, writer.errorString()));
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
                return Fail(QStringLiteral("rozpoznawanie dało %1: %2").arg(r.code.id).arg(QString(r.refusal).replace(QChar(13), u'/')));
        }
    }
    return 0;
}
