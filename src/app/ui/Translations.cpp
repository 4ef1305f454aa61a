#include "app/ui/Translations.h"

#include "platform/Logging.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace kartovo {

void InstallTranslations() {
    // The program speaks Polish whatever the user's locale; Qt's dialogs follow.
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        qCInfo(lcApp) << "Qt's Polish translation (qtbase_pl) is not installed";
}

} // namespace kartovo
