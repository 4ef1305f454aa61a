// kartovo-demo FOLDER: creates the demonstration database Norv.mdb and the
// settings file NORV_SPC.ini in FOLDER (kept when they already exist) and
// prints the settings file's path.
#include "db/DemoDatabase.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 || args[1] == u"-h" || args[1] == u"--help") {
        std::fprintf(stderr, "Użycie: kartovo-demo FOLDER\n"
                             "Tworzy w FOLDER bazę demonstracyjną Norv.mdb i plik ustawień NORV_SPC.ini.\n");
        return 2;
    }
    QString error;
    const QString ini = kartovo::CreateDemoDatabase(args[1], &error);
    if (ini.isEmpty()) {
        std::fprintf(stderr, "kartovo-demo: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(ini));
    return 0;
}
