#include "DbTestSupport.h"

#include "db/ControlChartConstants.h"
#include "db/DatabaseStartup.h"
#include "db/DbSession.h"

#include <QFile>
#include <QSettings>

#include <array>

using namespace kartovo;
using namespace kartovo::test;

TEST(ChartConstants, MatchThePublishedFactors) {
    // Published Shewhart factors: n, d2, D3, D4, c4, B3, B4.
    const std::array<double, 7> table[] = {{2, 1.128, 0, 3.267, 0.7979, 0, 3.267},
                                           {5, 2.326, 0, 2.114, 0.9400, 0, 2.089},
                                           {10, 3.078, 0.223, 1.777, 0.9727, 0.284, 1.716},
                                           {25, 3.931, 0.459, 1.541, 0.9896, 0.565, 1.435}};
    for (const auto& t : table) {
        const ChartConstants c = ComputeChartConstants(int(t[0]));
        const double got[] = {c.d2, c.D3, c.D4, c.c4, c.B3, c.B4};
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], t[i + 1], i == 3 ? 0.0001 : 0.001) << t[0] << " " << i;
    }
    // Limits narrow as the sample grows.
    for (int n = 3; n <= 40; ++n) EXPECT_LT(ComputeChartConstants(n).D4, ComputeChartConstants(n - 1).D4) << n;
}

// The demonstration database starts up and holds exactly what is shipped; a
// second run keeps what the first made; a folder it cannot make or a database
// it cannot write is refused with why.
TEST(DemoDatabase, CreatesDatabaseAndSettingsThatStartUp) {
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).filePath(QStringLiteral("demo"));
    QString error;
    const QString ini = CreateDemoDatabase(folder, &error);
    ASSERT_FALSE(ini.isEmpty()) << error.toStdString();
    QSettings settings(ini, QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("Baza/TypBazy")).toString(), QStringLiteral("1"));
    DatabaseConfig c;
    c.dbType = QStringLiteral("MDB");
    c.dbFolder = settings.value(QStringLiteral("Start/Sciezka")).toString();
    const Result<void> started = PrepareDatabase(c);
    ASSERT_TRUE(started.ok()) << started.error().toStdString();

    // Every table, rows in storage order; KARTOVO_WRITE_DEMO_DUMP=1 rewrites the expected file.
    QString dump;
    const Recordset tables = Conn().query(QStringLiteral("Select name from sqlite_master Where type='table' Order by name"));
    for (const Record& t : tables.rows()) {
        dump += t.value(QStringLiteral("name")).toString() + u'\n';
        const Recordset rows = Conn().query(QStringLiteral("Select * from [%1] Order by rowid").arg(t.value("name").toString()));
        for (const Record& r : rows.rows()) {
            QStringList values;
            for (const QString& column : r.columns()) values << (r.isNull(column) ? QStringLiteral("-") : r[column].toString());
            dump += values.join(u'|') + u'\n';
        }
    }
    QFile expected(QStringLiteral(KARTOVO_TEST_DATA "/demo-database.txt"));
    if (qEnvironmentVariableIsSet("KARTOVO_WRITE_DEMO_DUMP"))
        ASSERT_TRUE(expected.open(QIODevice::WriteOnly) && expected.write(dump.toUtf8()) > 0 && expected.flush());
    expected.close();
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
    EXPECT_EQ(dump, QString::fromUtf8(expected.readAll()));

    Record row;
    row.set(QStringLiteral("IDPK"), 9);
    ASSERT_TRUE(Conn().append(QStringLiteral("SPC_Baza"), row));
    DbSession::instance().reset();
    EXPECT_EQ(CreateDemoDatabase(folder, &error), ini);
    DbConnection again;
    ASSERT_TRUE(again.openFile(folder));
    EXPECT_EQ(again.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=9")).recordCount(), 1);

    QFile file(QDir(dir.path()).filePath(QStringLiteral("plik")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString blocked = QDir(dir.path()).filePath(QStringLiteral("zajety"));
    ASSERT_TRUE(QDir().mkpath(blocked + QStringLiteral("/Norv.mdb.tworzenie/x"))); // where the database is built
    for (const QString& where : {QDir(file.fileName()).filePath(QStringLiteral("demo")), blocked}) {
        error.clear();
        EXPECT_TRUE(CreateDemoDatabase(where, &error).isEmpty()) << where.toStdString();
        EXPECT_FALSE(error.isEmpty() || error.endsWith(QStringLiteral(": "))) << error.toStdString();
        EXPECT_TRUE(FindDatabaseFile(where).isEmpty());
    }
}
