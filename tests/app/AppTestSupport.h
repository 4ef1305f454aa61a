#pragma once

#include "CardRenderer.h"
#include "app/CardPipeline.h"
#include "common/TestHelpers.h"
#include "db/BaseSettings.h"
#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "platform/Messages.h"
#include "platform/SettingsStore.h"
#include "platform/WorkingFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <functional>
#include <new>
#include <stdexcept>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace kartovo::test {

using kartovo::testing::ReadFile;
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
    QStringList questions() const { return m_recorder.texts(true); }
    QStringList messages() const { return m_recorder.texts(false); }

    QTemporaryDir m_dir;
    QString m_iniPath;
    testing::MessageRecorder m_recorder;
    std::vector<MessageRequest>& m_messages = m_recorder.requests;
    bool& m_answer = m_recorder.answer;
};

// Records what the pipeline shows and answers its windows as told.
struct RecordingView : PipelineView {
    QStringList statuses;
    QString failAt; // a status whose showing runs out of memory
    int readButtons = -1; // -1 never set, else 0/1
    int confirmations = 0, choices = 0, busyDepth = 0, maxProgress = -1, progressUnderHiddenStatus = 0, progressUnderHiddenBar = 0, listsRun = 0;
    bool statusShown = false, progressShown = false, confirmAnswer = true, chooseAnswer = false, codeFieldShown = false;
    std::int32_t chosenProgram = 1, chosenParameter = 1;
    std::function<void(int)> onProgress;

    void beginBusy() override { ++busyDepth; }
    void endBusy() override { --busyDepth; }
    void setStatus(const QString& text) override {
        if (statuses << text; !failAt.isEmpty() && text == failAt) throw std::bad_alloc();
    }
    void showStatus(bool visible) override { statusShown = visible; }
    // The bar sits over the status line's end: it moves only with the line shown.
    void setProgress(int p) override {
        maxProgress = std::max(maxProgress, p), progressUnderHiddenStatus += !statusShown, progressUnderHiddenBar += !progressShown;
        if (onProgress) onProgress(p);
    }
    void showProgress(bool visible) override { progressShown = visible; }
    void setReadButtons(bool readable) override { readButtons = readable ? 1 : 0; }
    void showCodeField(bool visible) override { codeFieldShown = visible; }
    bool focusListCommand(bool runIt) override { return listsRun += runIt, true; }
    bool confirmIdentification(const Record&, const Record&) override { return ++confirmations, confirmAnswer; }
    // As the window shows them: through the program's message window.
    void showMessage(const QString& text) override { ShowMessage(text, 2, 16); }
    bool askQuestion(const QString& text) override { return AskQuestion(text, 2, 16); }
    bool chooseProgram(std::int32_t& program, std::int32_t& parameter) override {
        if (++choices, program = chosenProgram, parameter = chosenParameter; program < 0) throw std::runtime_error("brak listy");
        return chooseAnswer;
    }
};

// `count` marks, one a section from section 1, each in the row `row` gives it.
inline std::vector<CellMark> Marks(int count, const std::function<int(int)>& row) {
    std::vector<CellMark> marks;
    for (int s = 1; s <= count; ++s) marks.push_back({s, row(s)});
    return marks;
}
inline int LastId(DbConnection& db) {
    return db.query(QStringLiteral("Select max(ID) as M from [SPC_Baza]")).rows().value(0).value(QStringLiteral("M")).toInt();
}

// The demo database plus copies of parameter 1 (TypKarty Null): 20 of a missing program, 21
// without OG and OD, 22 without IDP, 23 with an IDP that is no whole number.
class PipelineTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        m_demo = m_dir.filePath(QStringLiteral("demo"));
        QString error;
        m_ini = CreateDemoDatabase(m_demo, &error);
        ASSERT_FALSE(m_ini.isEmpty()) << error.toStdString();
        ASSERT_TRUE(m_conn.openSqliteFile(m_demo + QStringLiteral("/Norv.mdb")));
        ASSERT_EQ(LoadBaseSettings(m_conn, m_base), BaseSettingsOutcome::Loaded);
        const std::tuple<int, QVariant, QVariant, QVariant> extra[] = {
            {20, 99, 12.0, 10.0}, {21, 1, QVariant(), QVariant()}, {22, QVariant(), 12.0, 10.0}, {23, 1.5, 12.0, 10.0}};
        for (const auto& [id, idp, og, od] : extra) {
            Record r = m_conn.query(QStringLiteral("Select * from [SPC_Setap] Where ID=1")).rows().value(0);
            for (const auto& [column, value] : {std::pair{"ID", QVariant(id)}, {"IDP", idp}, {"TypKarty", QVariant()}, {"OG", og}, {"OD", od}})
                r.set(QLatin1String(column), value);
            ASSERT_TRUE(m_conn.append(QStringLiteral("SPC_Setap"), r));
        }
        QDir().mkpath(m_dir.filePath(QStringLiteral("work")));
        m_folder = m_dir.filePath(QStringLiteral("wymiana"));
        QDir().mkpath(m_folder);
        m_options.convertToBW = true;
    }

    // A card for parameter `id` drawn with `layoutId`'s row (for ids whose own row cannot be drawn).
    CardSpec cardSpec(int id, int layoutId = 1) {
        CardSpec s;
        s.id = id;
        const Recordset rows = m_conn.query(QStringLiteral("Select * from [SPC_Setap] Where ID=%1").arg(layoutId));
        s.parameter = rows.rows().value(0);
        s.parameter.set(QStringLiteral("ID"), id);
        s.name = s.parameter.value(QStringLiteral("Nazwa")).toString();
        return s;
    }

    QImage render(const CardSpec& s, double dpi = 150.0, const std::vector<CellMark>& marks = {{1, 3}, {2, 10}}) {
        QString why;
        QImage img = RenderCard(s, CardStyle(), dpi, marks, 7, &why);
        EXPECT_FALSE(img.isNull()) << why.toStdString();
        return img;
    }

    // Runs the pipeline on `card` as the program hands it a decoded picture.
    CardState run(const QImage& card, bool showMessages) {
        CardState state;
        state.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
        CardPipeline pipeline(state, m_pictures, m_conn, m_base);
        pipeline.setView(&m_view);
        pipeline.setOptions(m_options);
        if (m_read) pipeline.setReadCommand(m_read);
        pipeline.setAutoMode(m_auto), pipeline.setSaveCommand(m_save);
        pipeline.setCancel(&m_cancel);
        pipeline.ZaladujPlikGraf(showMessages, card);
        return state;
    }

    QString m_demo, m_ini, m_folder; // m_folder: the exchange folder
    DbConnection m_conn;
    BaseSettings m_base;
    CardPictures m_pictures;
    RecordingView m_view;
    StationOptions m_options;
    std::function<void()> m_read, m_save; // the window's read and save commands
    bool m_auto = false; // the automatic mode
    std::atomic<bool> m_cancel{false}; // another card taken
};

} // namespace kartovo::test
