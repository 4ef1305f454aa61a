#include "PipelineSupport.h"

#include "app/AutoMode.h"
#include "db/StoredCards.h"

#include <QCoreApplication>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QBuffer>
#include <unistd.h>
#include "db/DemoDatabase.h"
#include "platform/SettingsStore.h"

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
    void start(QProcess& p, const QStringList& args, const QString& work = QStringLiteral("work")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (auto it = m_env.cbegin(); it != m_env.cend(); ++it) env.insert(it.key(), it.value());
        env.insert(QStringLiteral("KARTOVO_WORKDIR"), m_dir.filePath(work));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        p.setProcessEnvironment(env);
        p.start(KartovoBinary(), args);
    }
    int rows() { return m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=1")).recordCount(); }

    // Cards 1 .. count of parameter 1, every mark of card k in row k + 1, so
    // that each card's rows can be told by their W1; finished a minute ago.
    void dropCard(int k) {
        std::vector<CellMark> marks;
        for (int s = 1; s <= 10; ++s) marks.push_back({s, k + 1});
        const QString path = m_folder + QStringLiteral("/karta%1.png").arg(k);
        ASSERT_TRUE(render(cardSpec(1), 150.0, marks).save(path + QStringLiteral(".tmp"), "PNG"));
        QFile f(path + QStringLiteral(".tmp"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        f.close();
        ASSERT_TRUE(QFile::rename(path + QStringLiteral(".tmp"), path));
    }
    // Rows stored after `afterId` per card (by W1): every card must have exactly two.
    QMap<QString, int> rowsPerCard(DbConnection& db, int afterId) {
        QMap<QString, int> counts;
        for (const Record& r :
             db.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=1 and ID>%1").arg(afterId)).rows())
            ++counts[QString::number(r.value(QStringLiteral("W1")).toDouble(), 'f', 3)];
        return counts;
    }
    int lastId(DbConnection& db) {
        return db.query(QStringLiteral("Select max(ID) as M from [SPC_Baza]")).rows().value(0).value(QStringLiteral("M")).toInt();
    }

    // A PostgreSQL server of the test's own (it is stopped and started again),
    // with the demonstration database, reached through ODBC as a station
    // configured by the main program would. False when PostgreSQL is not installed.
    bool startServer() {
        QProcess script;
        script.start(QStringLiteral("bash"), {QStringLiteral(KARTOVO_SOURCE_DIR "/scripts/pg-test-server.sh"), QStringLiteral("start")});
        if (!script.waitForFinished(120000) || script.exitCode() != 0) return false;
        static const QRegularExpression line(QStringLiteral("^export (\\w+)='?([^']*)'?$"));
        for (const QString& l : QString::fromUtf8(script.readAllStandardOutput()).split(u'\n')) {
            const QRegularExpressionMatch m = line.match(l.trimmed());
            if (m.hasMatch()) m_env.insert(m.captured(1), m.captured(2));
        }
        m_serverDir = m_env.value(QStringLiteral("KARTOVO_PG_DIR"));
        if (m_serverDir.isEmpty()) return false;
        m_oldOdbc = qgetenv("ODBCSYSINI");
        qputenv("ODBCSYSINI", m_env.value(QStringLiteral("ODBCSYSINI")).toLocal8Bit());
        DatabaseConfig c;
        c.dbType = QStringLiteral("SQL");
        c.odbcDriver = m_env.value(QStringLiteral("KARTOVO_PG_DRIVER"));
        c.odbcServer = m_env.value(QStringLiteral("KARTOVO_PG_HOST")) + QStringLiteral(";PORT=") +
                       m_env.value(QStringLiteral("KARTOVO_PG_PORT"));
        c.odbcDatabase = m_env.value(QStringLiteral("KARTOVO_PG_DATABASE"));
        c.odbcUser = m_env.value(QStringLiteral("KARTOVO_PG_USER"));
        c.odbcPassword = m_env.value(QStringLiteral("KARTOVO_PG_PASSWORD"));
        m_pgConfig = c;
        EXPECT_TRUE(m_pg.open(c)) << m_pg.lastError().description.toStdString();
        EXPECT_TRUE(m_pg.beginTransaction() && ApplySchema(m_pg) && FillDemoData(m_pg) && m_pg.commit())
            << m_pg.lastError().description.toStdString();
        m_pgIni = m_dir.filePath(QStringLiteral("serwer.ini"));
        QFile::copy(m_ini, m_pgIni);
        SettingsStore ini(m_pgIni);
        ini.write(QStringLiteral("Baza"), QStringLiteral("TypBazy"), QStringLiteral("2"));
        ini.write(QStringLiteral("ODBC"), QStringLiteral("Driver"), c.odbcDriver);
        ini.write(QStringLiteral("ODBC"), QStringLiteral("Server"), c.odbcServer);
        ini.write(QStringLiteral("ODBC"), QStringLiteral("Database"), c.odbcDatabase);
        ini.write(QStringLiteral("ODBC"), QStringLiteral("UID"), c.odbcUser);
        ini.write(QStringLiteral("ODBC"), QStringLiteral("PWD"), c.odbcPassword);
        ini.sync();
        return m_pg.isOpen();
    }
    // pg_ctl as the server's owner: stop -m immediate, or start as the script did.
    bool serverCommand(bool up) {
        const QString bin = qEnvironmentVariable("KARTOVO_PG_BIN", QStringLiteral("/usr/lib/postgresql/15/bin"));
        const QString options = QStringLiteral("-h 127.0.0.1 -p %1 -k %2/socket -c fsync=off")
                                    .arg(m_env.value(QStringLiteral("KARTOVO_PG_PORT")), m_serverDir);
        QStringList command{bin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), m_serverDir + QStringLiteral("/data"),
                            QStringLiteral("-w")};
        command << (up ? QStringList{QStringLiteral("-l"), m_serverDir + QStringLiteral("/log/server.log"),
                                     QStringLiteral("-o"), options, QStringLiteral("start")}
                       : QStringList{QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("stop")});
        if (geteuid() == 0) command = QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} + command;
        QProcess p;
        p.start(geteuid() == 0 ? QStringLiteral("runuser") : command.takeFirst(), command);
        return p.waitForFinished(60000) && p.exitCode() == 0;
    }
    void TearDown() override {
        m_pg.close();
        if (!m_serverDir.isEmpty()) {
            QProcess::execute(QStringLiteral("bash"), {QStringLiteral(KARTOVO_SOURCE_DIR "/scripts/pg-test-server.sh"),
                                                      QStringLiteral("stop"), m_serverDir});
            qputenv("ODBCSYSINI", m_oldOdbc);
        }
        PipelineTest::TearDown();
    }
    // Standard error of a running station until `text` shows (or 40 s pass).
    static bool WaitFor(QProcess& p, QString& log, const QString& text) {
        for (int i = 0; i < 200 && !log.contains(text); ++i) {
            p.waitForReadyRead(200);
            log += QString::fromUtf8(p.readAllStandardError());
        }
        return log.contains(text);
    }

    QString m_folder, m_card;
    QByteArray m_content;
    QHash<QString, QString> m_env;
    QString m_serverDir, m_pgIni;
    QByteArray m_oldOdbc;
    DbConnection m_pg;
    DatabaseConfig m_pgConfig;
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

    // A station setting that is not a number: no unattended run on it.
    {
        SettingsStore ini(m_ini);
        ini.write(QStringLiteral("Start"), QStringLiteral("KonwersjaCB"), QStringLiteral("tak"));
        ini.sync();
    }
    start(p, {QStringLiteral("--settings"), m_ini, QStringLiteral("--auto"), QStringLiteral("--once"), m_folder});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 3);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("Start/KonwersjaCB")));
}

// Three stations, each a process with its own working folder, empty one
// exchange folder into one database at the same time: every card ends up
// stored exactly once, and nothing is left claimed.
class Stations : public AutoCommandTest, public ::testing::WithParamInterface<bool> {};

TEST_P(Stations, ThreeStationsStoreEveryCardExactlyOnce) {
    if (GetParam() && !startServer()) GTEST_SKIP() << "PostgreSQL is not installed";
    DbConnection& db = GetParam() ? m_pg : m_conn;
    const QString ini = GetParam() ? m_pgIni : m_ini;
    ASSERT_TRUE(QFile::remove(m_card));
    const int cards = 8;
    for (int k = 1; k <= cards; ++k) dropCard(k);
    const int before = lastId(db);

    QProcess stations[3];
    for (int i = 0; i < 3; ++i)
        start(stations[i], {QStringLiteral("--settings"), ini, QStringLiteral("--auto"), QStringLiteral("--once"), m_folder},
              QStringLiteral("work%1").arg(i));
    QString logs;
    for (QProcess& p : stations) {
        ASSERT_TRUE(p.waitForFinished(120000));
        const QString log = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), 0) << log.toStdString();
        logs += log;
    }
    const QMap<QString, int> counts = rowsPerCard(db, before);
    EXPECT_EQ(counts.size(), cards) << logs.toStdString();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) EXPECT_EQ(it.value(), 2) << "W1 " << it.key().toStdString();
    EXPECT_EQ(db.query(QStringLiteral("Select * from [Kartovo_ZapisaneKarty]")).recordCount(), cards);
    EXPECT_EQ(logs.count(QStringLiteral(": zapisany,")), cards) << logs.toStdString();
    EXPECT_FALSE(logs.contains(QStringLiteral("Przerywam")));
    // Every file back in the folder, as it was; no claim folder left.
    EXPECT_EQ(QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), cards);
}

INSTANTIATE_TEST_SUITE_P(Db, Stations, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "PostgreSQL" : "SQLite"; });

// The server goes down hard in the middle of a running station and comes back:
// the card that came meanwhile waits in the folder and is stored once the
// server is back, without restarting the station.
TEST_F(AutoCommandTest, StoringResumesAfterTheServerRestarts) {
    if (!startServer()) GTEST_SKIP() << "PostgreSQL is not installed";
    ASSERT_TRUE(QFile::remove(m_card));
    const int before = lastId(m_pg);
    dropCard(1);
    QProcess station;
    start(station, {QStringLiteral("--settings"), m_pgIni, QStringLiteral("--auto"), QStringLiteral("--interval"),
                    QStringLiteral("1"), m_folder});
    QString log;
    ASSERT_TRUE(WaitFor(station, log, QStringLiteral("karta1.png: zapisany"))) << log.toStdString();

    ASSERT_TRUE(serverCommand(false));
    dropCard(2);
    ASSERT_TRUE(WaitFor(station, log, QStringLiteral("brak połączenia z bazą danych"))) << log.toStdString();
    // A station starting meanwhile ends with a status a service manager acts on.
    QProcess late;
    start(late, {QStringLiteral("--settings"), m_pgIni, QStringLiteral("--auto"), QStringLiteral("--once"), m_folder},
          QStringLiteral("work2"));
    ASSERT_TRUE(late.waitForFinished(60000));
    EXPECT_EQ(late.exitCode(), 3);
    ASSERT_TRUE(serverCommand(true));
    ASSERT_TRUE(WaitFor(station, log, QStringLiteral("karta2.png: zapisany"))) << log.toStdString();
    EXPECT_EQ(station.state(), QProcess::Running);
    station.terminate();
    ASSERT_TRUE(station.waitForFinished(10000));
    log += QString::fromUtf8(station.readAllStandardError());

    ASSERT_TRUE(m_pg.open(m_pgConfig)) << m_pg.lastError().description.toStdString();
    const QMap<QString, int> counts = rowsPerCard(m_pg, before);
    EXPECT_EQ(counts.size(), 2);
    for (int n : counts) EXPECT_EQ(n, 2);
    EXPECT_EQ(log.count(QStringLiteral("brak połączenia z bazą danych")), 1) << "logged once: " << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("Przerywam")));
}

// A writer that pauses longer than the settle time: the station sees the cut
// file, never stores it, and stores the card once it is whole.
TEST_F(AutoCommandTest, FileWrittenInPausesIsStoredOnceWhole) {
    ASSERT_TRUE(QFile::remove(m_card));
    {
        SettingsStore ini(m_ini);
        ini.write(QStringLiteral("Start"), QStringLiteral("AutoZwloka"), QStringLiteral("1"));
        ini.sync();
    }
    const int before = lastId(m_conn);
    std::vector<CellMark> marks;
    for (int s = 1; s <= 10; ++s) marks.push_back({s, 4});
    QByteArray whole;
    {
        QBuffer buffer(&whole);
        buffer.open(QIODevice::WriteOnly);
        render(cardSpec(1), 150.0, marks).save(&buffer, "PNG");
    }
    QProcess station;
    start(station, {QStringLiteral("--settings"), m_ini, QStringLiteral("--auto"), QStringLiteral("--interval"),
                    QStringLiteral("1"), m_folder});
    QFile f(m_folder + QStringLiteral("/wolny.png"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QString log;
    const int parts = 3;
    for (int i = 0; i < parts; ++i) {
        f.write(whole.mid(whole.size() * i / parts, whole.size() * (i + 1) / parts - whole.size() * i / parts));
        f.flush();
        // The station looks at the cut file at least once after the settle time.
        if (i + 1 < parts) ASSERT_TRUE(WaitFor(station, log, QStringLiteral("wolny.png: odrzucony")));
        log.replace(QStringLiteral("wolny.png: odrzucony"), QStringLiteral("(cut file seen)"));
    }
    f.close();
    ASSERT_TRUE(WaitFor(station, log, QStringLiteral("wolny.png: zapisany"))) << log.toStdString();
    station.terminate();
    ASSERT_TRUE(station.waitForFinished(10000));
    const QMap<QString, int> counts = rowsPerCard(m_conn, before);
    ASSERT_EQ(counts.size(), 1) << log.toStdString();
    EXPECT_EQ(counts.first(), 2);
}

} // namespace
} // namespace kartovo::test
