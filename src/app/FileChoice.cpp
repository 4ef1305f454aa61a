#include "app/FileChoice.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace kartovo {

QString QtFileFilter(const QString& mask) {
    const QStringList parts = mask.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts))
            patterns << (p.trimmed() == QLatin1String("*.*") ? QStringLiteral("*") : p.trimmed());
        filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns.join(u' '));
    }
    return filters.join(QStringLiteral(";;"));
}

QString FileChoice::folder() const {
    const QString f = ChosenFilePath.left(ChosenFilePath.size() - ChosenFileName.size());
    return f;
}

FileChoice FileChoiceFor(const QString& confirmedPath) {
    FileChoice c;
    if (confirmedPath.isEmpty()) return c;
    const QFileInfo info(confirmedPath);
    if (!info.isFile()) return c;
    c.DialogAccepted = true;
    c.ChosenFilePath = QDir::toNativeSeparators(info.absoluteFilePath());
    c.ChosenFileName = info.fileName();
    return c;
}

} // namespace kartovo
