#include "PipelineSupport.h"

#include "app/AutoMode.h"

#include <QCoreApplication>
#include <QProcess>

namespace kartovo::test {
namespace {

// <build>/src/kartovo beside <build>/tests/test_app.
QString KartovoBinary() {
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../src/kartovo"));
}

class AutoCommandTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        if (!QFileInfo(KartovoBinary()).isExecutable())
            GTEST_SKIP() << "kartovo not built at " << KartovoBinary().toStdString();
        m_folder = m_dir.filePath(QStringLiteral("wymiana"));
        QDir().mkpath(m_folder);
        std::vector<CellMark> marks;
        for (int s = 1; s <= 10; ++s) marks.push_back({s, 20 - s});
        m_card = m_folder + QStringLiteral("/karta.png");
        ASSERT_TRUE(render(cardSpec(1), 150.0, marks).save(m_card));
        QFile f(m_card);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        m_content = f.readAll();
    }
    void start(QProcess& p, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KARTOVO_WORKDIR"), m_dir.filePath(QStringLiteral("work")));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        p.setProcessEnvironment(env);
        p.start(KartovoBinary(), args);
    }
    int rows() { return m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=1")).recordCount(); }

    QString m_folder, m_card;
    QByteArray m_content;
};

TEST_F(AutoCommandTest, OnceStoresTheFolderAndASecondRunStoresNothingNew) {
    const int before = rows();
    QProcess p;
    start(p, {QStringLiteral("--settings"), m_ini, QStringLiteral("--auto"), QStringLiteral("--once"), m_folder});
    ASSERT_TRUE(p.waitForFinished(120000));
    QString errors = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 0) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("karta.png: zapisany, parametr 1, wierszy 2"))) << errors.toStdString();
    EXPECT_EQ(rows(), before + 2);
    QFile f(m_card);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), m_content) << "the original is only read";

    start(p, {QStringLiteral("--settings"), m_ini, QStringLiteral("--auto"), QStringLiteral("--once"), m_folder});
    ASSERT_TRUE(p.waitForFinished(120000));
    errors = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(errors.contains(QStringLiteral("już zapisany"))) << errors.toStdString();
    EXPECT_EQ(rows(), before + 2);
}

TEST_F(AutoCommandTest, RunsUntilTerminatedAndNeedsAFolder) {
    QProcess p;
    start(p, {QStringLiteral("--settings"), m_ini, QStringLiteral("--auto"), m_folder});
    QString errors;
    for (int i = 0; i < 600 && !errors.contains(QStringLiteral("zapisany")); ++i) {
        p.waitForReadyRead(200);
        errors += QString::fromUtf8(p.readAllStandardError());
    }
    ASSERT_TRUE(errors.contains(QStringLiteral("karta.png: zapisany"))) << errors.toStdString();
    EXPECT_EQ(p.state(), QProcess::Running) << "waits for the next look";
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);

    // The settings name no exchange folder and none is given.
    start(p, {QStringLiteral("--settings"), m_dir.filePath(QStringLiteral("pusty.ini")), QStringLiteral("--auto"),
              QStringLiteral("--once")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 2);
}

} // namespace
} // namespace kartovo::test
