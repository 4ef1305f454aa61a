#include "platform/SettingsStore.h"

#include "platform/Logging.h"
#include "platform/Numbers.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace kartovo {

namespace {
QString& overridePath() {
    static QString p;
    return p;
}
QString key(const QString& section, const QString& k) { return section + u'/' + k; }
} // namespace

void SettingsStore::setOverridePath(const QString& iniPath) { overridePath() = iniPath; }

QString SettingsStore::resolvedPath() {
    if (!overridePath().isEmpty()) return overridePath();
    const QString env = qEnvironmentVariable("KARTOVO_SETTINGS");
    if (!env.isEmpty()) return env;
    return {};
}

SettingsStore::SettingsStore(const QString& iniPath) {
    const QString path = iniPath.isEmpty() ? resolvedPath() : iniPath;
    if (path.isEmpty())
        m_settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, kApplication);
    else
        m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    qCDebug(lcPlatform) << "Settings file" << m_settings->fileName();
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::read(const QString& section, const QString& k) const {
    const QVariant v = m_settings->value(key(section, k));
    // An INI value with commas written by another program comes back as a list.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

void SettingsStore::write(const QString& section, const QString& k, const QString& text) {
    m_settings->setValue(key(section, k), text);
}

double SettingsStore::number(const QString& section, const QString& k) const { return Val(read(section, k)); }

int SettingsStore::integer(const QString& section, const QString& k) const {
    return CLng(number(section, k));
}

bool SettingsStore::sync() {
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError) {
        qCWarning(lcPlatform) << "Cannot write the settings file" << m_settings->fileName();
        return false;
    }
    return true;
}

QString SettingsStore::fileName() const { return m_settings->fileName(); }

} // namespace kartovo
