#include "AppTestSupport.h"
#include "db/DbTestSupport.h"

#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <tuple>

namespace kartovo::test {
namespace {

// <build>/src/kartovo beside <build>/tests/test_app.
QString KartovoBinary() {
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../src/kartovo"));
}

// kartovo --read and --auto without a display, on the demo SQLite file or a PostgreSQL server of its own.
class HeadlessCommandTest : public PipelineTest {
protected:
    struct Outcome {
        int status = -1;
        QString errors;
        QList<QJsonObject> lines; // standard output, one JSON object a line
    };
    void SetUp() override {
        PipelineTest::SetUp();
        if (!QFileInfo(KartovoBinary()).isExecutable()) GTEST_SKIP() << "kartovo not built at " << KartovoBinary().toStdString();
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
    void start(QProcess& p, const QStringList& args, const QString& work = QStringLiteral("work")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KARTOVO_WORKDIR"), m_dir.filePath(work));
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(name));
        p.setProcessEnvironment(env);
        p.start(KartovoBinary(), args);
    }
    Outcome finish(QProcess& p) {
        Outcome o;
        EXPECT_TRUE(p.waitForFinished(120000));
        o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        o.errors = QString::fromUtf8(p.readAllStandardError());
        for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
            if (line.trimmed().isEmpty()) continue;
            QJsonParseError error;
            o.lines << QJsonDocument::fromJson(line, &error).object();
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        }
        return o;
    }
    QStringList autoArgs(const QString& ini, const QString& options = QStringLiteral("--once")) {
        return QStringList{QStringLiteral("--settings"), ini, QStringLiteral("--auto")} + options.split(u' ') + QStringList{m_folder};
    }

    // Card k of parameter 1, its marks in row k + 1 (its rows told by W1), renamed into place whole.
    QString dropCard(int k, const QString& folder) {
        const QString path = folder + QStringLiteral("/karta%1.png").arg(k), temp = m_dir.filePath(QStringLiteral("tmp"));
        EXPECT_TRUE(render(cardSpec(1), 150.0, Marks(10, [k](int) { return k + 1; })).save(temp, "PNG"));
        WriteFile(temp, FileBytes(temp), QDateTime::currentDateTime().addSecs(-60));
        EXPECT_TRUE(QFile::rename(temp, path));
        return path;
    }
    // Rows stored after `afterId`, per card (by W1).
    static QMap<QString, int> RowsPerCard(DbConnection& db, int afterId) {
        QMap<QString, int> counts;
        const Recordset rows = db.query(QStringLiteral("Select * from [SPC_Baza] Where ID>%1").arg(afterId));
        for (const Record& r : rows.rows())
            ++counts[QString::number(r.value(QStringLiteral("W1")).toDouble(), 'f', 3)];
        return counts;
    }
    // Standard error of a running station until `text` shows (or 40 s pass).
    static bool WaitFor(QProcess& p, QString& log, const QString& text) {
        return testing::WaitUntil([&] { return (log += QString::fromUtf8(p.readAllStandardError())).contains(text); }, 40000);
    }

    // A server with the demo data, its variables set as for the script's caller; false without PostgreSQL.
    bool startServer() {
        QProcess script;
        script.start(QStringLiteral("bash"), {QStringLiteral(KARTOVO_SOURCE_DIR "/scripts/pg-test-server.sh"), QStringLiteral("start")});
        if (!script.waitForFinished(120000) || script.exitCode() != 0) return false;
        static const QRegularExpression line(QStringLiteral("^export (\\w+)='?([^']*)'?$"));
        for (const QString& l : QString::fromUtf8(script.readAllStandardOutput()).split(u'\n')) {
            const QRegularExpressionMatch m = line.match(l.trimmed());
            if (!m.hasMatch()) continue;
            if (m.captured(1) == QStringLiteral("ODBCSYSINI")) m_oldOdbc = qgetenv("ODBCSYSINI");
            qputenv(m.captured(1).toLatin1().constData(), m.captured(2).toLocal8Bit());
            if (m.captured(1) == QStringLiteral("KARTOVO_PG_DIR")) m_serverDir = m.captured(2);
        }
        if (m_serverDir.isEmpty()) return false;
        m_pgConfig = ServerConfig(Backend::PostgreSQL, {});
        EXPECT_TRUE(m_pg.open(m_pgConfig)) << m_pg.lastError().description.toStdString();
        EXPECT_TRUE(m_pg.beginTransaction() && ApplySchema(m_pg) && FillDemoData(m_pg) && m_pg.commit())
            << m_pg.lastError().description.toStdString();
        m_pgIni = m_dir.filePath(QStringLiteral("serwer.ini"));
        QFile::copy(m_ini, m_pgIni);
        SettingsStore ini(m_pgIni);
        ini.write(QStringLiteral("Baza"), QStringLiteral("TypBazy"), QStringLiteral("2"));
        const std::pair<const char*, QString> odbc[] = {{"Driver", m_pgConfig.odbcDriver}, {"Server", m_pgConfig.odbcServer},
                                                        {"Database", m_pgConfig.odbcDatabase}, {"UID", m_pgConfig.odbcUser},
                                                        {"PWD", m_pgConfig.odbcPassword}};
        for (const auto& [key, value] : odbc) ini.write(QStringLiteral("ODBC"), QLatin1String(key), value);
        ini.sync();
        return m_pg.isOpen();
    }
    // pg_ctl as the server's owner: stop -m immediate, or start again as the script did.
    bool serverCommand(bool up) {
        const QString pgCtl =
            QStringLiteral("\"${KARTOVO_PG_BIN:-/usr/lib/postgresql/15/bin}/pg_ctl\" -D \"$KARTOVO_PG_DIR/data\" -w ") +
            (up ? QStringLiteral("-l \"$KARTOVO_PG_DIR/log/server.log\" -o \"-h 127.0.0.1 -p $KARTOVO_PG_PORT "
                                 "-k $KARTOVO_PG_DIR/socket -c fsync=off\" start")
                : QStringLiteral("-m immediate stop"));
        QProcess p;
        p.start(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("if [ \"$(id -u)\" = 0 ]; then runuser -u "
                                                                              "postgres -- %1; else %1; fi").arg(pgCtl)});
        return p.waitForFinished(60000) && p.exitCode() == 0;
    }

    QString m_serverDir, m_pgIni;
    QByteArray m_oldOdbc;
    DbConnection m_pg;
    DatabaseConfig m_pgConfig;
};

// Run after run on one database: the status, the rows stored, what is said, and a JSON line per
// file read; the files given are only ever read.
TEST_F(HeadlessCommandTest, InvocationsEndWithTheirStatusAndStoreWhatTheySay) {
    auto file = [this](const char* name) { return m_dir.filePath(QLatin1String(name)); };
    // Cards (the first with ten marks), a JPEG cut short, a blank page, a refused card, a broken file.
    QStringList files;
    for (const char* name : {"karta 1.jpg", "k2.png", "k3.bmp", "K4.JPG"}) {
        const int id = files.size() % 2 ? 9 : 1;
        files << file(name);
        const QImage card = files.size() == 1 ? render(cardSpec(1), 150.0, Marks(10, [](int s) { return 20 - s; }))
                                              : render(cardSpec(id, id));
        ASSERT_TRUE(card.save(files.last(), nullptr, 90));
    }
    const QByteArray jpeg = FileBytes(files.first());
    QImage white(600, 800, QImage::Format_RGB32);
    white.fill(Qt::white);
    const QImage alt = render(cardSpec(4, 4));
    ASSERT_TRUE(alt.save(file("alt.png")) && white.save(file("pusta.png")));
    WriteFile(file("urwana.jpg"), jpeg.left(jpeg.size() / 2));
    WriteFile(file("zepsuty.bmp"), "BM?");
    files << file("urwana.jpg") << file("pusta.png") << file("alt.png") << file("zepsuty.bmp");
    const QString card = dropCard(1, m_folder);
    // Its time ahead of the clock: each run's look sees it first now, so only --settle 0 takes it.
    const QByteArray early = FileBytes(dropCard(2, m_dir.path()));
    WriteFile(m_folder + QStringLiteral("/nowa.png"), early, QDateTime::currentDateTimeUtc().addSecs(3600));
    const QString unconfigured = file("pusty.ini"), wrongNumber = file("zly.ini"), deleting = file("usuwa.ini");
    for (const auto& [ini, key, value] : {std::tuple{wrongNumber, "KonwersjaCB", "tak"}, std::tuple{deleting, "Automat1", "1"}}) {
        QFile::copy(m_ini, ini);
        SettingsStore store(ini);
        store.write(QStringLiteral("Start"), QLatin1String(key), QLatin1String(value));
    }
    QHash<QString, QByteArray> before;
    for (const QString& f : files) before.insert(f, FileBytes(f));

    struct Line {
        bool recognised;
        int parameter; // 0: null
        const char* message;
    };
    const struct {
        QStringList args;
        int status, rows; // rows of SPC_Baza stored since the test began
        const char* said;
        std::vector<Line> lines;
    } runs[] = {
        {QStringList{"--settings", m_ini, "--read"} + files, 0, 0, "",
         {{true, 1, ""}, {true, 9, ""}, {true, 1, ""}, {true, 9, ""},
          {false, 0, "Nie można odczytać obrazu karty."},
          {false, 0, "Brak markera(ów) na obrazie / "},
          {false, 4, "Parametr skanowanej karty zdefiniowany jest jako ALTERNATYWNY."},
          {false, 0, "Nie można odczytać obrazu karty."}}},
        {{"--settings", m_ini, "--read", file("brak.png")}, 2, 0, "", {{false, 0, "Nie znaleziono pliku"}}},
        {{"--settings", unconfigured, "--read", card}, 3, 0, "Nie skonfigurowano połączenia z bazą danych", {}},
        {autoArgs(m_ini), 0, 2, "karta1.png: zapisany, parametr 1, wierszy 2", {}},
        {autoArgs(m_ini), 0, 2, "karta1.png: już zapisany", {}},
        {{"--settings", unconfigured, "--auto", "--once"}, 2, 2, "brak katalogu plików wymiany", {}},
        {autoArgs(wrongNumber), 3, 2, "Start/KonwersjaCB", {}},
        {autoArgs(deleting), 0, 2, "karta1.png: usunięty", {}}, // stored before, configured to go
        {autoArgs(m_ini, QStringLiteral("--once --settle 0")), 0, 4, "nowa.png: zapisany", {}},
    };
    const int first = LastId(m_conn);
    QList<QJsonObject> read;
    for (const auto& run : runs) {
        SCOPED_TRACE(run.args.join(u' ').toStdString());
        QProcess p;
        start(p, run.args);
        const Outcome o = finish(p);
        EXPECT_EQ(o.status, run.status) << o.errors.toStdString();
        EXPECT_TRUE(o.errors.contains(QString::fromUtf8(run.said))) << o.errors.toStdString();
        EXPECT_EQ(m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where ID>%1").arg(first)).recordCount(), run.rows);
        ASSERT_EQ(o.lines.size(), qsizetype(run.lines.size())) << o.errors.toStdString();
        for (size_t i = 0; i < run.lines.size(); ++i) {
            const QJsonObject& line = o.lines[qsizetype(i)];
            EXPECT_EQ(line["file"].toString(), run.args[qsizetype(i) + 3]);
            EXPECT_EQ(line["recognised"].toBool(), run.lines[i].recognised) << i;
            if (run.lines[i].parameter) EXPECT_EQ(line["parameter"].toInt(), run.lines[i].parameter) << i;
            else EXPECT_TRUE(line["parameter"].isNull()) << i;
            EXPECT_TRUE(line["message"].toString().startsWith(QString::fromUtf8(run.lines[i].message)))
                << i << ": " << line["message"].toString().toStdString();
        }
        if (!read.isEmpty()) continue;
        read = o.lines;
        const QImage trace(m_dir.filePath(QStringLiteral("work/Markery.bmp")));
        EXPECT_EQ(trace.size(), alt.size()) << "the last card's trace";
    }
    // The recognised card: its program, code, grid and every mark read.
    ASSERT_FALSE(read.isEmpty());
    EXPECT_EQ(read[0]["program"].toInt(), 1);
    EXPECT_EQ(read[0]["code"].toString(), QStringLiteral("1"));
    EXPECT_EQ(read[0]["name"].toString(), cardSpec(1).name);
    EXPECT_FALSE(read[6].contains(QStringLiteral("name"))) << "a refused card has none";
    const QJsonArray grid = read[0]["grid"].toArray();
    ASSERT_EQ(grid.size(), 4);
    EXPECT_GT(grid[0].toInt(), 0);
    EXPECT_GT(grid[2].toInt(), grid[3].toInt() / 4);
    EXPECT_TRUE(read[5]["grid"].isNull());
    EXPECT_EQ(read[6]["grid"].toArray().size(), 4) << "markers found, the card refused";
    const QJsonArray measurements = read[0]["measurements"].toArray();
    ASSERT_EQ(measurements.size(), 10);
    for (int s = 1; s <= 10; ++s) {
        const QJsonArray m = measurements[s - 1].toArray();
        EXPECT_EQ(m[0].toInt(), s);
        EXPECT_NEAR(m[2].toDouble(), 19.90 + 0.01 * (20 - s + 0.5), 0.0051) << s;
    }
    EXPECT_FALSE(QFile::exists(card));
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(FileBytes(it.key()), it.value()) << it.key().toStdString();
}

// Three stations empty one folder at once: every card stored exactly once, every file back.
class Stations : public HeadlessCommandTest, public ::testing::WithParamInterface<bool> {};

TEST_P(Stations, ThreeStationsStoreEveryCardExactlyOnce) {
    if (GetParam() && !startServer()) GTEST_SKIP() << "PostgreSQL is not installed";
    DbConnection& db = GetParam() ? m_pg : m_conn;
    const int cards = 8;
    for (int k = 1; k <= cards; ++k) dropCard(k, m_folder);
    const int before = LastId(db);
    QProcess stations[3];
    for (int i = 0; i < 3; ++i) start(stations[i], autoArgs(GetParam() ? m_pgIni : m_ini), QStringLiteral("work%1").arg(i));
    QString logs;
    for (QProcess& p : stations) {
        const Outcome o = finish(p);
        EXPECT_EQ(o.status, 0) << o.errors.toStdString();
        logs += o.errors;
    }
    const QMap<QString, int> counts = RowsPerCard(db, before);
    EXPECT_EQ(counts.size(), cards) << logs.toStdString();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) EXPECT_EQ(it.value(), 2) << "W1 " << it.key().toStdString();
    EXPECT_EQ(db.query(QStringLiteral("Select * from [Kartovo_ZapisaneKarty]")).recordCount(), cards);
    EXPECT_EQ(logs.count(QStringLiteral(": zapisany,")), cards) << logs.toStdString();
    EXPECT_EQ(QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), cards);
}

INSTANTIATE_TEST_SUITE_P(Db, Stations, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "PostgreSQL" : "SQLite"; });

// The server down hard: --once caught mid-card ends with 4, one starting then with 3; a running
// station stores the card that waited once the server is back.
TEST_F(HeadlessCommandTest, StoringResumesAfterTheServerRestarts) {
    if (!startServer()) GTEST_SKIP() << "PostgreSQL is not installed";
    const int before = LastId(m_pg);
    const QString first = dropCard(1, m_folder);
    const QByteArray card = FileBytes(first);
    // The test's lock holds the station's save until the server is gone.
    ASSERT_TRUE(m_pg.beginTransaction() && m_pg.execute(QStringLiteral("LOCK TABLE [SPC_Baza] IN ACCESS EXCLUSIVE MODE")));
    QProcess caught;
    start(caught, autoArgs(m_pgIni), QStringLiteral("work1"));
    ASSERT_TRUE(testing::WaitUntil([this] {
        return m_pg.query(QStringLiteral("Select count(*) as N from pg_locks Where not granted"))
                   .rows().value(0).value(QStringLiteral("N")).toInt() > 0;
    }, 60000));
    ASSERT_TRUE(serverCommand(false));
    const Outcome lost = finish(caught);
    EXPECT_EQ(lost.status, 4) << lost.errors.toStdString();
    EXPECT_EQ(FileBytes(first), card);
    ASSERT_TRUE(serverCommand(true));

    QProcess station;
    start(station, autoArgs(m_pgIni, QStringLiteral("--interval 1")));
    QString log;
    ASSERT_TRUE(WaitFor(station, log, QStringLiteral("karta1.png: zapisany"))) << log.toStdString();
    ASSERT_TRUE(serverCommand(false));
    dropCard(2, m_folder);
    ASSERT_TRUE(WaitFor(station, log, QStringLiteral("brak połączenia z bazą danych"))) << log.toStdString();
    QProcess late;
    start(late, autoArgs(m_pgIni), QStringLiteral("work2"));
    EXPECT_EQ(finish(late).status, 3);
    ASSERT_TRUE(serverCommand(true));
    ASSERT_TRUE(WaitFor(station, log, QStringLiteral("karta2.png: zapisany"))) << log.toStdString();
    EXPECT_EQ(station.state(), QProcess::Running);
    station.terminate();
    log += finish(station).errors;

    ASSERT_TRUE(m_pg.open(m_pgConfig)) << m_pg.lastError().description.toStdString();
    const QMap<QString, int> counts = RowsPerCard(m_pg, before);
    EXPECT_EQ(counts.size(), 2);
    for (int n : counts) EXPECT_EQ(n, 2);
    EXPECT_EQ(log.count(QStringLiteral("brak połączenia z bazą danych")), 1) << "logged once: " << log.toStdString();
}

} // namespace
} // namespace kartovo::test
