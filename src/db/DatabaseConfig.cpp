#include "db/DatabaseConfig.h"

#include <QDir>
#include <QFileInfo>

namespace kartovo {

QString FindDatabaseFile(const QString& folder) {
    if (folder.trimmed().isEmpty()) return {};
    QDir dir(folder);
    if (!dir.exists()) return {};
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& fi : entries) {
        if (fi.fileName().compare(QStringLiteral("Norv.mdb"), Qt::CaseInsensitive) == 0 && !fi.isHidden())
            return fi.absoluteFilePath();
    }
    return {};
}

} // namespace kartovo
