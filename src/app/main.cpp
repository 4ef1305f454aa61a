#include "app/DemoSetup.h"
#include "app/HeadlessAuto.h"
#include "app/HeadlessRead.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/Translations.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool HasArgument(int argc, char** argv, const char* name) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // Reading cards needs pictures and text but no window: no display required.
    const bool autoRun = HasArgument(argc, argv, "--auto");
    const bool headless = HasArgument(argc, argv, "--read") || autoRun;
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QGuiApplication> app;
    if (headless) app = std::make_unique<QGuiApplication>(argc, argv);
    else app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kartovo"));
    QCoreApplication::setOrganizationName(QStringLiteral("kartovo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kartovo - odczyt kart danych SPC"));
    parser.addHelpOption();
    QCommandLineOption settingsOpt(QStringLiteral("settings"), QStringLiteral("Plik ustawień (INI)."),
                                   QStringLiteral("FILE"));
    QCommandLineOption readOpt(QStringLiteral("read"),
                               QStringLiteral("Odczytuje podane pliki kart bez okna i wypisuje wyniki (JSON, "
                                              "jeden wiersz na plik)."));
    QCommandLineOption demoOpt(QStringLiteral("demo"),
                               QStringLiteral("Tworzy bazę i ustawienia demonstracyjne w FOLDER (domyślnie %1) i "
                                              "uruchamia na nich program.")
                                   .arg(kartovo::DefaultDemoFolder()));
    QCommandLineOption autoOpt(QStringLiteral("auto"),
                               QStringLiteral("Tryb automatyczny bez okna: co 30 s odczytuje i zapisuje karty z "
                                              "katalogu wymiany (KATALOG albo Start/AutoDir z ustawień), do "
                                              "SIGINT/SIGTERM."));
    QCommandLineOption onceOpt(QStringLiteral("once"),
                               QStringLiteral("Z --auto: jedno przejrzenie katalogu wymiany i koniec."));
    parser.addOption(settingsOpt);
    parser.addOption(readOpt);
    parser.addOption(autoOpt);
    parser.addOption(onceOpt);
    parser.addOption(demoOpt);
    parser.addPositionalArgument(QStringLiteral("IMAGE|FOLDER"),
                                 QStringLiteral("Pliki kart (--read), katalog wymiany (--auto) albo folder "
                                                "demonstracji (--demo)."));
    parser.process(*app);
    const QStringList positional = parser.positionalArguments();

    if (parser.isSet(demoOpt)) {
        if (parser.isSet(settingsOpt) || (!headless && positional.size() > 1)) {
            std::fprintf(stderr, "kartovo: --demo przyjmuje tylko folder demonstracji.\n");
            return 2;
        }
        QString error;
        // With --read the names are the cards; the demo is then the default one.
        const QString folder =
            positional.isEmpty() || headless ? kartovo::DefaultDemoFolder() : positional.first();
        if (kartovo::UseDemoSetup(folder, &error).isEmpty()) {
            std::fprintf(stderr, "kartovo: %s\n", qPrintable(error));
            return 3;
        }
    } else if (parser.isSet(settingsOpt)) {
        kartovo::SettingsStore::SetOverridePath(parser.value(settingsOpt));
    }

    if (autoRun) {
        if (parser.isSet(readOpt) || positional.size() > 1) {
            std::fprintf(stderr, "kartovo: --auto przyjmuje najwyżej jeden katalog wymiany.\n");
            return 2;
        }
        kartovo::AutoCommandOptions autoOptions;
        autoOptions.folder = positional.value(0);
        autoOptions.once = parser.isSet(onceOpt);
        return kartovo::RunAutoCommand(autoOptions);
    }
    if (parser.isSet(onceOpt)) {
        std::fprintf(stderr, "kartovo: --once działa tylko z --auto.\n");
        return 2;
    }

    if (headless) {
        if (positional.isEmpty()) {
            std::fprintf(stderr, "kartovo: --read wymaga co najmniej jednego pliku.\n");
            return 2;
        }
        // No window: refusals of the start-up are only written to standard error.
        return kartovo::RunReadCommand(positional);
    }

    kartovo::InstallTranslations();
    // Every message and question of the program goes through its own window.
    kartovo::MessageWindow::Install();

    kartovo::MainWindow window;
    // A refusal has already been shown; the program ends without its closing save.
    if (!window.start()) return 1;
    return app->exec();
}
