// Queries, appends, the latest samples, transactions and table columns on
// every database system.
#include "BackendFixture.h"

#include "db/DemoDatabase.h"
#include "db/DatabaseStartup.h"

#include <QDate>
#include <QTime>

using namespace kartovo;
using namespace kartovo::test;

namespace {

QList<int> Ids(const Recordset& rs, const char* column = "ID") {
    QList<int> ids;
    for (const Record& r : rs.rows()) ids.append(r.value(QString::fromLatin1(column)).toInt());
    return ids;
}

Record Sample(int parameter, const QString& date, const QString& time, double w1) {
    Record r;
    r.set(QStringLiteral("IDP"), 1);
    r.set(QStringLiteral("IDPK"), parameter);
    r.set(QStringLiteral("Data"), date);
    r.set(QStringLiteral("Czas"), time);
    r.set(QStringLiteral("W1"), w1);
    return r;
}

} // namespace

class Queries : public OnBothSystems {};
KARTOVO_ON_BOTH_SYSTEMS(Queries);

// The texts the card lookup, the program choice and the history read run on
// the shared database, unchanged on every system.
TEST_P(Queries, DefinitionQueriesRunUnchanged) {
    ASSERT_TRUE(db->createSchema()) << conn().lastError().description.toStdString();
    ASSERT_TRUE(FillDemoData(conn())) << conn().lastError().description.toStdString();
    const QString active = QStringLiteral("Select * from [SPC_Programy] Where Lx>0 AND ArchP=0");
    const struct {
        QString sql;
        QList<int> ids;
        const char* column;
    } cases[] = {
        {active + QStringLiteral(" Order by  NrP"), {1, 2, 4}, "ID"},
        {active + QStringLiteral(" Order by ID1"), {4, 2, 1}, "ID"},
        {active + QStringLiteral(" AND ID1 Like 'wał*'"), {1}, "ID"},
        {QStringLiteral("Select * from [SPC_Setap] Where IDP=2 And TypKarty<>2 And SkalaSiatki is not null  Order by LP"),
         {5, 6}, "ID"},
        {QStringLiteral("Select Top 1 * from [SPC_Baza] Where IDPK=1 Order by Data,Czas,ID"), {1}, "IDPK"},
        {QStringLiteral("Select ID1 from [SPC_Baza] Where IDP=1 Group by ID1 Order by ID1"), {0}, "ID1"},
    };
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_EQ(Ids(conn().query(c.sql, &ok), c.column), c.ids) << c.sql.toStdString();
        EXPECT_TRUE(ok) << conn().lastError().description.toStdString();
    }
    EXPECT_TRUE(HasActiveControlProgram(conn()));
    bool ok = false;
    const Recordset parameter = conn().query(QStringLiteral("Select * from [SPC_Setap] Where ID=3"), &ok);
    ASSERT_EQ(parameter.recordCount(), 1);
    EXPECT_TRUE(parameter.current().isNull(QStringLiteral("OD")));
    EXPECT_DOUBLE_EQ(parameter[QStringLiteral("OG")].toDouble(), 0.15);
    const Recordset history = conn().query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=1 Order by Data,Czas,ID"), &ok);
    ASSERT_EQ(history.recordCount(), 2);
    EXPECT_EQ(history.rows()[1].value(QStringLiteral("Czas")).toString(), QStringLiteral("08:00"));
}

TEST_P(Queries, AppendBindsEveryValue) {
    ASSERT_TRUE(db->createSchema());
    const QString hostile = QStringLiteral("O'Brien'); DROP TABLE SPC_Baza; --");
    Record row;
    row.set(QStringLiteral("IDP"), 1);
    row.set(QStringLiteral("IDPK"), 2);
    row.set(QStringLiteral("P"), QStringLiteral("0"));
    row.set(QStringLiteral("CzyOb"), true);
    row.set(QStringLiteral("Data"), QDate(2024, 3, 5));
    row.set(QStringLiteral("Czas"), QTime(7, 5));
    row.set(QStringLiteral("ID1"), hostile);
    row.set(QStringLiteral("ID2"), QStringLiteral("Zażółć gęślą jaźń"));
    row.set(QStringLiteral("PomiaryNL"), QVariant());
    row.set(QStringLiteral("W1"), 1.25);
    row.set(QStringLiteral("Srednia"), 1.1f);
    row.set(QStringLiteral("NieMaTakiejKolumny"), 5); // an older table: left out, the row is still written
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), row)) << conn().lastError().description.toStdString();
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), row));

    bool ok = false;
    const Recordset rs = conn().query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=2 Order by Data,Czas,ID"), &ok);
    ASSERT_EQ(rs.recordCount(), 2);
    const Record& r = rs.rows().first();
    EXPECT_EQ(r.value(QStringLiteral("Data")).toString(), QStringLiteral("2024-03-05"));
    EXPECT_EQ(r.value(QStringLiteral("Czas")).toString(), QStringLiteral("07:05"));
    EXPECT_EQ(r.value(QStringLiteral("CzyOb")).toInt(), 1);
    EXPECT_EQ(r.value(QStringLiteral("ID1")).toString(), hostile);
    EXPECT_EQ(r.value(QStringLiteral("ID2")).toString(), QStringLiteral("Zażółć gęślą jaźń"));
    EXPECT_TRUE(r.isNull(QStringLiteral("PomiaryNL")));
    EXPECT_TRUE(r.isNull(QStringLiteral("W2")));
    EXPECT_DOUBLE_EQ(r.value(QStringLiteral("W1")).toDouble(), 1.25);
    EXPECT_DOUBLE_EQ(r.value(QStringLiteral("Srednia")).toDouble(), static_cast<double>(1.1f));
    EXPECT_LT(r.value(QStringLiteral("ID")).toInt(), rs.rows()[1].value(QStringLiteral("ID")).toInt());
}

TEST_P(Queries, AppendToAnOlderTableLeavesOutMissingColumns) {
    const QString key = isPg()       ? QStringLiteral("ID integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                        : isMariaDb() ? QStringLiteral("ID integer AUTO_INCREMENT PRIMARY KEY")
                                      : QStringLiteral("ID INTEGER PRIMARY KEY AUTOINCREMENT");
    ASSERT_TRUE(db->exec(QStringLiteral("CREATE TABLE SPC_Baza (%1, IDPK integer, Data varchar(10), Czas varchar(5), "
                                        "W1 double precision)").arg(key)));
    Record row = Sample(4, QStringLiteral("2024-01-02"), QStringLiteral("10:00"), 3.5);
    row.set(QStringLiteral("PomiaryNL"), QStringLiteral("uwaga"));
    row.set(QStringLiteral("GR"), 0.5);
    EXPECT_FALSE(conn().hasColumn(QStringLiteral("SPC_Baza"), QStringLiteral("PomiaryNL")));
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), row)) << conn().lastError().description.toStdString();
    bool ok = false;
    const Recordset rs = conn().query(QStringLiteral("Select * from [SPC_Baza]"), &ok);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_DOUBLE_EQ(rs[QStringLiteral("W1")].toDouble(), 3.5);
    EXPECT_EQ(rs.columns().size(), 5);
}

TEST_P(Queries, LatestSamplesInTimeOrder) {
    ASSERT_TRUE(db->createSchema());
    // Stored out of time order; two samples share date and time.
    const struct {
        const char* date;
        const char* time;
        double w;
    } rows[] = {{"2024-03-05", "08:00", 5}, {"2024-03-04", "23:50", 3}, {"2024-03-05", "08:00", 6},
                {"2024-03-05", "07:00", 4}, {"2023-12-31", "12:00", 1}, {"2024-01-15", "06:00", 2}};
    for (const auto& r : rows)
        ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"),
                                  Sample(7, QString::fromLatin1(r.date), QString::fromLatin1(r.time), r.w)));
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), Sample(8, QStringLiteral("2030-01-01"), QStringLiteral("00:00"), 99)));

    auto values = [](const Recordset& rs) {
        QList<double> v;
        for (const Record& r : rs.rows()) v.append(r.value(QStringLiteral("W1")).toDouble());
        return v;
    };
    bool ok = false;
    Recordset last3 = conn().latestSamples(7, 3, &ok);
    ASSERT_TRUE(ok) << conn().lastError().description.toStdString();
    EXPECT_EQ(values(last3), (QList<double>{4, 5, 6}));
    last3.moveLast();
    EXPECT_DOUBLE_EQ(last3[QStringLiteral("W1")].toDouble(), 6);
    EXPECT_EQ(values(conn().latestSamples(7, 50, &ok)), (QList<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(values(conn().latestSamples(QStringLiteral("7"), 1, &ok)), (QList<double>{6}));
    EXPECT_TRUE(conn().latestSamples(7, 0, &ok).isEmpty());
    const Recordset none = conn().latestSamples(12345, 5, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(none.bof() && none.eof());
}

TEST_P(Queries, TransactionsColumnsAndFailures) {
    bool ok = true;
    EXPECT_TRUE(conn().query(QStringLiteral("Select * from [SPC_Programy]"), &ok).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(conn().lastError().description.contains(QStringLiteral("spc_programy"), Qt::CaseInsensitive))
        << conn().lastError().description.toStdString();

    ASSERT_TRUE(db->createSchema());
    for (bool keep : {false, true}) {
        ASSERT_TRUE(conn().beginTransaction()) << conn().lastError().description.toStdString();
        ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), Sample(1, QStringLiteral("2024-01-01"), QStringLiteral("01:00"), 1)));
        ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), Sample(1, QStringLiteral("2024-01-01"), QStringLiteral("02:00"), 2)));
        ASSERT_TRUE(keep ? conn().commit() : conn().rollback());
        EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), keep ? 2 : 0);
    }

    EXPECT_TRUE(conn().hasColumn(QStringLiteral("spc_baza"), QStringLiteral("POMIARYNL")));
    EXPECT_TRUE(conn().hasColumn(QStringLiteral("SPC_Baza"), QStringLiteral("W40")));
    EXPECT_FALSE(conn().hasColumn(QStringLiteral("SPC_Baza"), QStringLiteral("W41")));
    EXPECT_TRUE(conn().columns(QStringLiteral("SPC_Brak")).isEmpty());
    EXPECT_TRUE(conn().columns(QStringLiteral("SPC_Baza; DROP TABLE SPC_Baza")).isEmpty());
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), 2);
}
