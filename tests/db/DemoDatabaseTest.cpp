#include "DbTestSupport.h"

#include "db/BaseSettings.h"
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

// The demonstration database starts up with constants for every sample size
// and a history with its statistics; a second run keeps what the first made;
// a folder it cannot make or a database it cannot write is refused with why.
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
    for (int n = 1; n <= 40; ++n) {
        EXPECT_GT(Base().SampleConstants[n].R1.toDouble(), 1.0) << n;
        EXPECT_GT(Base().SampleConstants[n].S1.toDouble(), 1.0) << n;
        EXPECT_GE(Base().SampleConstants[n].R2.toDouble(), 0.0) << n;
    }
    // Both kinds of descriptive field, each dictionary filled.
    bool ok = false;
    EXPECT_EQ(Conn().query(QStringLiteral("Select Nazwa from [SPC_OpisID1]"), &ok).recordCount(), 4);
    EXPECT_EQ(Conn().query(QStringLiteral("Select * from [SPC_Programy] Where ArchP<>0"), &ok).recordCount(), 1);
    EXPECT_EQ(Conn().query(QStringLiteral("Select TypKarty from [SPC_Setap] Group by TypKarty"), &ok).recordCount(), 3);
    const Recordset first = Conn().query(QStringLiteral("Select Top 1 * from [SPC_Baza] Where IDPK=1 Order by Czas"), &ok);
    EXPECT_DOUBLE_EQ(first[QStringLiteral("Mini")].toDouble(), 19.98);
    EXPECT_DOUBLE_EQ(first[QStringLiteral("Maxi")].toDouble(), 20.02);
    EXPECT_FLOAT_EQ(first[QStringLiteral("Mediana")].toFloat(), 20.00f);
    EXPECT_EQ(first[QStringLiteral("Lp")].toInt(), 5);

    Record row;
    row.set(QStringLiteral("IDPK"), 9);
    ASSERT_TRUE(Conn().append(QStringLiteral("SPC_Baza"), row));
    DbSession::instance().reset();
    EXPECT_EQ(CreateDemoDatabase(folder, &error), ini);
    DbConnection again;
    ASSERT_TRUE(again.openFile(folder));
    EXPECT_EQ(again.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=9"), &ok).recordCount(), 1);

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
