// kartovo-demo FOLDER: creates the demonstration database Norv.mdb and the
// settings file NORV_SPC.ini in FOLDER (kept when they already exist), the
// demo cards in FOLDER/karty, and prints the settings file's path.
#include "DemoCards.h"
#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    // The cards carry printed captions: fonts, but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 || args[1] == u"-h" || args[1] == u"--help") {
        std::fprintf(stderr, "Użycie: kartovo-demo FOLDER\n"
                             "Tworzy w FOLDER bazę demonstracyjną Norv.mdb, plik ustawień NORV_SPC.ini\n"
                             "i przykładowe wypełnione karty w FOLDER/karty.\n");
        return 2;
    }
    QString error;
    const QString ini = kartovo::CreateDemoDatabase(args[1], &error);
    if (ini.isEmpty()) {
        std::fprintf(stderr, "kartovo-demo: %s\n", qPrintable(error));
        return 1;
    }
    const QDir dir(args[1]);
    const QString cards = dir.absoluteFilePath(QStringLiteral("karty"));
    {
        kartovo::DbConnection conn;
        if (!conn.openSqliteFile(dir.absoluteFilePath(QStringLiteral("Norv.mdb"))) ||
            (kartovo::WriteDemoCards(conn, cards, &error).isEmpty() && !error.isEmpty())) {
            std::fprintf(stderr, "kartovo-demo: %s\n",
                         qPrintable(error.isEmpty() ? conn.lastError().description : error));
            return 1;
        }
    }
    // The image-file dialog of the demo opens at its cards.
    kartovo::SettingsStore settings(ini);
    if (settings.read(QStringLiteral("Start"), QStringLiteral("InitDir")).isEmpty()) {
        settings.write(QStringLiteral("Start"), QStringLiteral("InitDir"), cards + QDir::separator());
        settings.sync();
    }
    std::printf("%s\n", qPrintable(ini));
    return 0;
}
