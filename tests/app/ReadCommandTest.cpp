#include "PipelineSupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace kartovo::test {
namespace {

// The program under test sits beside the test programs: <build>/src/kartovo
// for <build>/tests/test_app.
QString KartovoBinary() {
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../src/kartovo"));
}

class ReadCommandTest : public PipelineTest {
protected:
    struct Outcome {
        int exitCode = -1;
        QList<QJsonObject> lines;
        QString errors;
    };

    Outcome read(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KARTOVO_WORKDIR"), m_dir.filePath(QStringLiteral("work")));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        p.setProcessEnvironment(env);
        p.start(KartovoBinary(), args);
        EXPECT_TRUE(p.waitForFinished(120000));
        Outcome o;
        o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        o.errors = QString::fromUtf8(p.readAllStandardError());
        for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
            if (line.trimmed().isEmpty()) continue;
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            o.lines << doc.object();
        }
        return o;
    }

    void SetUp() override {
        PipelineTest::SetUp();
        if (!QFileInfo(KartovoBinary()).isExecutable()) GTEST_SKIP() << "kartovo not built at " << KartovoBinary().toStdString();
    }
};

TEST_F(ReadCommandTest, ReportsEveryCardAsOneJsonLine) {
    const QString good = m_dir.filePath(QStringLiteral("karta 1.jpg"));
    ASSERT_TRUE(render(cardSpec(1)).save(good, "JPG", 85));
    const QString alternative = m_dir.filePath(QStringLiteral("alt.png"));
    ASSERT_TRUE(render(cardSpec(4, 4)).save(alternative));
    const QString blank = m_dir.filePath(QStringLiteral("pusta.png"));
    QImage white(600, 800, QImage::Format_RGB32);
    white.fill(Qt::white);
    ASSERT_TRUE(white.save(blank));
    const QString broken = m_dir.filePath(QStringLiteral("zepsuty.bmp"));
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("BM?");
    f.close();
    QFile goodFile(good);
    goodFile.open(QIODevice::ReadOnly);
    const QByteArray before = goodFile.readAll();
    goodFile.close();

    const Outcome o = read({QStringLiteral("--settings"), m_ini, QStringLiteral("--read"), good, alternative, blank, broken});
    EXPECT_EQ(o.exitCode, 0) << o.errors.toStdString();
    ASSERT_EQ(o.lines.size(), 4) << o.errors.toStdString();

    const QJsonObject& g = o.lines[0];
    EXPECT_EQ(g["file"].toString(), good);
    EXPECT_TRUE(g["recognised"].toBool());
    EXPECT_EQ(g["message"].toString(), QString());
    EXPECT_EQ(g["parameter"].toInt(), 1);
    EXPECT_EQ(g["program"].toInt(), 1);
    EXPECT_EQ(g["code"].toString(), QStringLiteral("1"));
    const QJsonArray grid = g["grid"].toArray();
    ASSERT_EQ(grid.size(), 4);
    EXPECT_GT(grid[0].toInt(), 0);
    EXPECT_GT(grid[2].toInt(), grid[3].toInt() / 4);

    const QJsonObject& a = o.lines[1];
    EXPECT_FALSE(a["recognised"].toBool());
    EXPECT_EQ(a["code"].toString(), QStringLiteral("100"));
    EXPECT_EQ(a["message"].toString(),
              QStringLiteral("Parametr skanowanej karty zdefiniowany jest jako ALTERNATYWNY.  /    Prawdopodobnie "
                             "połączony jesteś z niewłaściwą bazą danych."));

    const QJsonObject& b = o.lines[2];
    EXPECT_FALSE(b["recognised"].toBool());
    EXPECT_TRUE(b["grid"].isNull());
    EXPECT_TRUE(b["parameter"].isNull());
    EXPECT_TRUE(b["message"].toString().startsWith(QStringLiteral("Brak markera(ów) na obrazie / ")));

    EXPECT_FALSE(o.lines[3]["recognised"].toBool());
    EXPECT_TRUE(o.lines[3]["message"].toString().startsWith(QStringLiteral("Nie można odczytać obrazu karty.")));

    goodFile.open(QIODevice::ReadOnly);
    EXPECT_EQ(goodFile.readAll(), before);
}

TEST_F(ReadCommandTest, MissingFileAndDatabaseRefusalAreNotSuccess) {
    const Outcome missing = read({QStringLiteral("--settings"), m_ini, QStringLiteral("--read"),
                                  m_dir.filePath(QStringLiteral("brak.png"))});
    EXPECT_EQ(missing.exitCode, 2);
    ASSERT_EQ(missing.lines.size(), 1);
    EXPECT_FALSE(missing.lines[0]["recognised"].toBool());

    // Settings without a database: the start-up refusal, on standard error only.
    const QString empty = m_dir.filePath(QStringLiteral("pusty.ini"));
    const Outcome refused = read({QStringLiteral("--settings"), empty, QStringLiteral("--read"), m_ini});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_TRUE(refused.lines.isEmpty());
    EXPECT_TRUE(refused.errors.contains(QStringLiteral("Nie skonfigurowano połączenia z bazą danych")))
        << refused.errors.toStdString();
}

} // namespace
} // namespace kartovo::test
