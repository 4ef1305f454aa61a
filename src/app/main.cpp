#include "app/ui/MainWindow.h"
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

    kartovo::MainWindow window;
    window.show();
    return app.exec();
}
