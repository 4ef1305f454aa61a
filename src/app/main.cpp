#include "app/DemoSetup.h"
#include "app/HeadlessAuto.h"
#include "app/HeadlessRead.h"
#include "app/ui/CardController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/Translations.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <cstdio>
#include <malloc.h>
#include <memory>

#ifndef KARTOVO_VERSION
#define KARTOVO_VERSION "0"
#endif

namespace {

// Exit statuses of the command line as a whole (sysexits.h's EX_USAGE for a
// wrong call); --read and --auto add their own 2 and 3.
constexpr int kExitOk = 0;
constexpr int kExitStartRefused = 1;
constexpr int kExitUsage = 64;

void PrintHelp() {
    const QString text = QStringLiteral(
        "Użycie: kartovo [--settings PLIK | --demo] [PLIK_KARTY]\n"
        "  albo: kartovo [--settings PLIK | --demo] --read OBRAZ...\n"
        "  albo: kartovo [--settings PLIK | --demo] --auto [KATALOG] [--once] [--interval SEKUNDY] [--settle SEKUNDY]\n"
        "  albo: kartovo --demo [FOLDER]\n"
        "\n"
        "Kartovo odczytuje wypełnione karty danych (skaner, plik obrazu, katalog wymiany)\n"
        "i zapisuje próbki w bazie SPC (SPC_Baza). Bez opcji otwiera okno programu;\n"
        "PLIK_KARTY zostaje od razu wczytany jak przez \"&Plik\".\n"
        "\n"
        "Opcje:\n"
        "  --settings PLIK      Plik ustawień INI zamiast ~/.config/NORV_SPC.ini (albo zmienna\n"
        "                       KARTOVO_SETTINGS).\n"
        "  --demo [FOLDER]      Tworzy (albo używa) bazy Norv.mdb, ustawień NORV_SPC.ini\n"
        "                       i folderu roboczego praca/ w FOLDER (domyślnie\n"
        "                       ~/.local/share/kartovo-demo) i uruchamia na nich program.\n"
        "  --read OBRAZ...      Odczytuje podane pliki kart bez okna; jeden wiersz JSON na plik\n"
        "                       na standardowym wyjściu.\n"
        "  --auto [KATALOG]     Tryb automatyczny bez okna: odczytuje i zapisuje karty z katalogu\n"
        "                       wymiany (KATALOG albo Start/AutoDir z ustawień) do SIGINT/SIGTERM.\n"
        "  --once               Z --auto: jedno przejrzenie katalogu wymiany i koniec.\n"
        "  --interval SEKUNDY   Z --auto: przerwa między przejrzeniami katalogu (domyślnie 30).\n"
        "  --settle SEKUNDY     Z --auto: jak długo plik musi pozostać niezmieniony, zanim zostanie\n"
        "                       wzięty (domyślnie: ustawienie stanowiska).\n"
        "  -h, --help           Pokazuje tę pomoc i kończy.\n"
        "  -v, --version        Pokazuje wersję programu i kończy.\n"
        "\n"
        "Opcje --help, --version, --read i --auto nie potrzebują ekranu.\n"
        "\n"
        "Kody wyjścia:\n"
        "  0    zakończenie bez błędu (--read: każdy plik przetworzony, rozpoznany albo odrzucony)\n"
        "  1    okno nie wystartowało: odmowa przy starcie (komunikat pokazany) albo brak ekranu\n"
        "  2    --read: plik nie istnieje; --auto: brak katalogu wymiany\n"
        "  3    błąd ustawień albo bazy danych (--read, --auto, --demo)\n"
        "  64   błędne wywołanie (nieznana opcja, brak albo zła wartość opcji)\n"
        "\n"
        "Zmienne środowiska: KARTOVO_SETTINGS (plik ustawień), KARTOVO_WORKDIR (folder plików\n"
        "roboczych, domyślnie ~/.local/share/kartovo), QT_LOGGING_RULES=\"kartovo.*.debug=true\".\n");
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

int UsageError(const QString& text) {
    std::fprintf(stderr, "kartovo: %s\nWięcej informacji: kartovo --help\n", qPrintable(text));
    return kExitUsage;
}

// The parser's own complaint, said in Polish.
QString ParseError(const QCommandLineParser& parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty())
        return QStringLiteral("nieznana opcja „%1%2”.")
            .arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), unknown.first());
    static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
    const QString text = parser.errorText();
    const QString option = quoted.match(text).captured(1);
    if (text.startsWith(QLatin1String("Missing value"))) return QStringLiteral("brak wartości opcji „%1”.").arg(option);
    if (text.startsWith(QLatin1String("Unexpected value")))
        return QStringLiteral("opcja „%1” nie przyjmuje wartości.").arg(option);
    return QStringLiteral("błędne wywołanie (%1).").arg(text);
}

// Whole seconds from an option; false when the text is not one >= `minimum`.
bool Seconds(const QString& text, int minimum, int& out) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < minimum) return false;
    out = v;
    return true;
}

bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv) {
    // A card's pictures are tens of megabytes. Kept by the allocator when freed,
    // the next card reuses their pages instead of having the kernel unmap them
    // and fault them in again (two thirds of the processor time at 300 dpi).
    // One arena: a picture decoded ahead on the second thread is then freed
    // into the pool the next card draws from, not into a heap of its own.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_ARENA_MAX, 1);
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

    // Parsed before any application object: --help, --version and a wrong
    // call need no display.
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOpt(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOpt(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption settingsOpt(QStringLiteral("settings"), QString(), QStringLiteral("PLIK"));
    const QCommandLineOption readOpt(QStringLiteral("read"));
    const QCommandLineOption demoOpt(QStringLiteral("demo"));
    const QCommandLineOption autoOpt(QStringLiteral("auto"));
    const QCommandLineOption onceOpt(QStringLiteral("once"));
    const QCommandLineOption intervalOpt(QStringLiteral("interval"), QString(), QStringLiteral("SEKUNDY"));
    const QCommandLineOption settleOpt(QStringLiteral("settle"), QString(), QStringLiteral("SEKUNDY"));
    parser.addOptions({helpOpt, versionOpt, settingsOpt, readOpt, demoOpt, autoOpt, onceOpt, intervalOpt, settleOpt});
    if (!parser.parse(arguments)) return UsageError(ParseError(parser));
    if (parser.isSet(helpOpt)) {
        PrintHelp();
        return kExitOk;
    }
    if (parser.isSet(versionOpt)) {
        std::printf("kartovo %s\n", KARTOVO_VERSION);
        return kExitOk;
    }

    const QStringList positional = parser.positionalArguments();
    const bool autoRun = parser.isSet(autoOpt);
    const bool headless = parser.isSet(readOpt) || autoRun;
    if (parser.isSet(readOpt) && autoRun) return UsageError(QStringLiteral("--read i --auto wykluczają się."));
    if (parser.isSet(demoOpt) && parser.isSet(settingsOpt))
        return UsageError(QStringLiteral("--demo i --settings wykluczają się."));
    if (!autoRun) {
        for (const QCommandLineOption* o : {&onceOpt, &intervalOpt, &settleOpt})
            if (parser.isSet(*o))
                return UsageError(QStringLiteral("--%1 działa tylko z --auto.").arg(o->names().constFirst()));
    }
    if (autoRun && positional.size() > 1)
        return UsageError(QStringLiteral("--auto przyjmuje najwyżej jeden katalog wymiany."));
    if (parser.isSet(readOpt) && positional.isEmpty())
        return UsageError(QStringLiteral("--read wymaga co najmniej jednego pliku."));
    if (!headless && positional.size() > 1)
        return UsageError(parser.isSet(demoOpt) ? QStringLiteral("--demo przyjmuje tylko folder demonstracji.")
                                                : QStringLiteral("okno przyjmuje najwyżej jeden plik karty."));
    kartovo::AutoCommandOptions autoOptions;
    if (autoRun) {
        autoOptions.folder = positional.value(0);
        autoOptions.once = parser.isSet(onceOpt);
        if (parser.isSet(intervalOpt) && !Seconds(parser.value(intervalOpt), 1, autoOptions.intervalSeconds))
            return UsageError(QStringLiteral("--interval wymaga liczby całkowitej sekund ≥ 1."));
        if (parser.isSet(settleOpt) && !Seconds(parser.value(settleOpt), 0, autoOptions.settleSeconds))
            return UsageError(QStringLiteral("--settle wymaga liczby całkowitej sekund ≥ 0."));
    }

    // Reading cards needs pictures and text but no window: no display required.
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!headless && !HasDisplay()) {
        std::fprintf(stderr, "kartovo: brak ekranu (DISPLAY ani WAYLAND_DISPLAY nie są ustawione). Bez okna działają "
                             "--read i --auto; zobacz kartovo --help.\n");
        return kExitStartRefused;
    }
    std::unique_ptr<QGuiApplication> app;
    if (headless) app = std::make_unique<QGuiApplication>(argc, argv);
    else app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kartovo"));
    QCoreApplication::setOrganizationName(QStringLiteral("kartovo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KARTOVO_VERSION));

    QString cardFile;
    if (parser.isSet(demoOpt)) {
        QString error;
        // With --read the names are the cards; the demo is then the default one.
        const QString folder =
            positional.isEmpty() || headless ? kartovo::DefaultDemoFolder() : positional.first();
        if (kartovo::UseDemoSetup(folder, &error).isEmpty()) {
            std::fprintf(stderr, "kartovo: %s\n", qPrintable(error));
            return 3;
        }
    } else {
        if (parser.isSet(settingsOpt)) kartovo::SettingsStore::setOverridePath(parser.value(settingsOpt));
        if (!headless && !positional.isEmpty()) cardFile = QFileInfo(positional.first()).absoluteFilePath();
    }

    if (autoRun) return kartovo::RunAutoCommand(autoOptions);
    // No window: refusals of the start-up are only written to standard error.
    if (headless) return kartovo::RunReadCommand(positional);

    kartovo::InstallTranslations();
    // Every message and question of the program goes through its own window.
    kartovo::MessageWindow::install();

    kartovo::MainWindow window;
    // A refusal has already been shown; the program ends without its closing save.
    if (!window.start()) return kExitStartRefused;
    // A card named on the command line ("Open with") is loaded as "&Plik" loads one.
    if (!cardFile.isEmpty()) window.cards()->openFile(cardFile);
    return app->exec();
}
