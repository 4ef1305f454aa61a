#include "app/ui/MainWindow.h"
#include "app/ui/MessageWindow.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kartovo"));
    QApplication::setOrganizationName(QStringLiteral("kartovo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kartovo - odczyt kart danych SPC"));
    parser.addHelpOption();
    QCommandLineOption settingsOpt(QStringLiteral("settings"), QStringLiteral("Plik ustawień (INI)."),
                                   QStringLiteral("FILE"));
    parser.addOption(settingsOpt);
    parser.process(app);
    if (parser.isSet(settingsOpt)) kartovo::SettingsStore::SetOverridePath(parser.value(settingsOpt));

    // Every message and question of the program goes through its own window.
    kartovo::MessageWindow::Install();

    kartovo::MainWindow window;
    // A refusal has already been shown; the program ends without its closing save.
    if (!window.start()) return 1;
    return app.exec();
}
