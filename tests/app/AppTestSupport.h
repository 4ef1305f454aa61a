#pragma once

#include "common/TestHelpers.h"
#include "platform/Messages.h"
#include "platform/SettingsStore.h"
#include "platform/WorkingFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace kartovo::test {

inline QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
// Writes the file, modified an hour ago unless told otherwise.
inline void WriteFile(const QString& path, const QByteArray& bytes, QDateTime modified = {}) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush());
    ASSERT_TRUE(f.setFileTime(modified.isValid() ? modified : QDateTime::currentDateTimeUtc().addSecs(-3600),
                              QFileDevice::FileModificationTime));
}

// A private settings file and working folder per test; messages recorded instead of shown.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_iniPath = m_dir.filePath(QStringLiteral("NORV_SPC.ini"));
        SettingsStore::setOverridePath(m_iniPath);
        SetProgramFolder(m_dir.filePath(QStringLiteral("work")));
    }
    void TearDown() override {
        SettingsStore::setOverridePath({});
        SetProgramFolder({});
    }
    void set(const QString& section, const QString& key, const QString& value) {
        SettingsStore store;
        store.write(section, key, value);
        store.sync();
    }
    QString stored(const QString& section, const QString& key) const { return SettingsStore().read(section, key); }
    // A folder holding the database file under the given name.
    QString databaseFolder(const QString& fileName = QStringLiteral("Norv.mdb")) {
        const QString folder = m_dir.filePath(QStringLiteral("baza"));
        QDir().mkpath(folder);
        QFile(folder + u'/' + fileName).open(QIODevice::WriteOnly);
        return folder;
    }
    void configureDatabaseFile() {
        set(QStringLiteral("Baza"), QStringLiteral("TypBazy"), QStringLiteral("1"));
        set(QStringLiteral("Start"), QStringLiteral("Sciezka"), databaseFolder());
    }
    QStringList questions() const { return m_recorder.texts(true); }
    QStringList messages() const { return m_recorder.texts(false); }

    QTemporaryDir m_dir;
    QString m_iniPath;
    testing::MessageRecorder m_recorder;
    std::vector<MessageRequest>& m_messages = m_recorder.requests;
    bool& m_answer = m_recorder.answer;
};

} // namespace kartovo::test
