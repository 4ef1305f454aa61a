#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace kartovo {

// The per-user key-value store shared with the main SPC program: an INI file
// (application "NORV_SPC", groups "Start", "Baza", "ODBC"). `--settings FILE`
// or KARTOVO_SETTINGS point it at another file. A missing key reads as "".
class SettingsStore {
public:
    static inline const QString kApplication = QStringLiteral("NORV_SPC");

    // Empty path: the override set by setOverridePath, else KARTOVO_SETTINGS,
    // else the user's own file.
    explicit SettingsStore(const QString& iniPath = {});
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    static void setOverridePath(const QString& iniPath);
    static QString resolvedPath();

    QString read(const QString& section, const QString& key) const;
    void write(const QString& section, const QString& key, const QString& text);
    // Lenient number (see Val) and that number to the nearest whole, halves to even.
    double number(const QString& section, const QString& key) const;
    int integer(const QString& section, const QString& key) const;

    // Writes pending changes to disk; false when the file could not be written.
    bool sync();
    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace kartovo
