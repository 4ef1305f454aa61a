#include "app/DemoSetup.h"

#include "db/DemoDatabase.h"
#include "platform/SettingsStore.h"
#include "platform/WorkingFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace kartovo {

QString DefaultDemoFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/kartovo-demo");
}

QString UseDemoSetup(const QString& folder, QString* error) {
    const QString ini = CreateDemoDatabase(folder, error);
    if (ini.isEmpty()) return {};
    SettingsStore::setOverridePath(ini);
    const QString work = QDir(folder).absoluteFilePath(QStringLiteral("praca"));
    QDir().mkpath(work);
    SetProgramFolder(work);
    return ini;
}

} // namespace kartovo
