#include "platform/WorkingFolder.h"

#include "platform/Logging.h"

#include <QDir>
#include <QStandardPaths>

namespace kartovo {

namespace {
QString& overrideFolder() {
    static QString f;
    return f;
}
} // namespace

void SetProgramFolder(const QString& folder) { overrideFolder() = folder; }

QString ProgramFolder() {
    QString folder = overrideFolder();
    if (folder.isEmpty()) folder = qEnvironmentVariable("KARTOVO_WORKDIR");
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                 QStringLiteral("/kartovo");
    }
    folder = QDir::cleanPath(folder);
    if (!QDir().mkpath(folder)) qCWarning(lcPlatform) << "Cannot create the working folder" << folder;
    return folder;
}

QString WorkingFile(const QString& name) { return ProgramFolder() + u'/' + name; }

} // namespace kartovo
