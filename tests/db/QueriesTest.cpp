// Queries, appends, the latest samples, transactions and table columns on
// every database system.
#include "DbTestSupport.h"

#include <QDate>
#include <QTime>

using namespace kartovo;
using namespace kartovo::test;

namespace {

QList<double> Column(const Recordset& rs, const char* column) {
    QList<double> v;
    for (const Record& r : rs.rows()) v.append(r.value(QString::fromLatin1(column)).toDouble());
    return v;
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

class Queries : public OnBothSystems {};
KARTOVO_ON_BOTH_SYSTEMS(Queries);

// The texts the card lookup, the program choice and the history read run on
// the shared database, unchanged on every system.
TEST_P(Queries, DefinitionQueriesRunUnchanged) {
    ASSERT_TRUE(db->createSchema(true)) << lastError();
    const QString active = QStringLiteral("Select * from [SPC_Programy] Where Lx>0 AND ArchP=0");
    const struct {
        QString sql;
        QList<double> ids;
        const char* column;
    } cases[] = {
        {active + QStringLiteral(" Order by  NrP"), {1, 2, 4}, "ID"},
        {active + QStringLiteral(" Order by ID1"), {4, 2, 1}, "ID"},
        {active + QStringLiteral(" AND ID1 Like 'wał*'"), {1}, "ID"},
        {QStringLiteral("Select * from [SPC_Setap] Where IDP=2 And TypKarty<>2 And SkalaSiatki is not null  Order by LP"), {5, 6}, "ID"},
        {QStringLiteral("Select Top 1 * from [SPC_Baza] Where IDPK=1 Order by Data,Czas,ID"), {1}, "IDPK"},
        {QStringLiteral("Select ID1 from [SPC_Baza] Where IDP=1 Group by ID1 Order by ID1"), {0}, "ID1"},
        {QStringLiteral("Select * from [SPC_Setap] Where ID=3 And OD is null"), {0.15}, "OG"},
    };
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_EQ(Column(conn().query(c.sql, &ok), c.column), c.ids) << c.sql.toStdString();
        EXPECT_TRUE(ok) << lastError();
    }
}

// Every value is bound (quotes, Polish letters, dates, nulls, floats); a
// column the table lacks is left out; a rolled back transaction leaves nothing.
TEST_P(Queries, AppendsTransactionsAndColumns) {
    bool ok = true;
    EXPECT_TRUE(conn().query(QStringLiteral("Select * from [SPC_Programy]"), &ok).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(conn().lastError().description.contains(QStringLiteral("spc_programy"), Qt::CaseInsensitive)) << lastError();

    ASSERT_TRUE(db->createSchema());
    const QString hostile = QStringLiteral("O'Brien'); DROP TABLE SPC_Baza; --");
    Record row;
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
    row.set(QStringLiteral("NieMaTakiejKolumny"), 5);
    for (bool keep : {false, true, true}) {
        ASSERT_TRUE(conn().beginTransaction()) << lastError();
        ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), row)) << lastError();
        ASSERT_TRUE(keep ? conn().commit() : conn().rollback());
    }
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

    EXPECT_TRUE(conn().hasColumn(QStringLiteral("spc_baza"), QStringLiteral("POMIARYNL")));
    EXPECT_TRUE(conn().hasColumn(QStringLiteral("SPC_Baza"), QStringLiteral("W40")));
    EXPECT_FALSE(conn().hasColumn(QStringLiteral("SPC_Baza"), QStringLiteral("W41")));
    EXPECT_TRUE(conn().columns(QStringLiteral("SPC_Brak")).isEmpty());
    EXPECT_TRUE(conn().columns(QStringLiteral("SPC_Baza; DROP TABLE SPC_Baza")).isEmpty());
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), 2);
}

TEST_P(Queries, LatestSamplesInTimeOrder) {
    ASSERT_TRUE(db->createSchema());
    // Stored out of time order; two samples share date and time.
    const struct {
        const char *date, *time;
        double w;
    } rows[] = {{"2024-03-05", "08:00", 5}, {"2024-03-04", "23:50", 3}, {"2024-03-05", "08:00", 6},
                {"2024-03-05", "07:00", 4}, {"2023-12-31", "12:00", 1}, {"2024-01-15", "06:00", 2}};
    for (const auto& r : rows)
        ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), Sample(7, r.date, r.time, r.w)));
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), Sample(8, QStringLiteral("2030-01-01"), QStringLiteral("00:00"), 99)));
    bool ok = false;
    Recordset last3 = conn().latestSamples(7, 3, &ok);
    ASSERT_TRUE(ok) << lastError();
    EXPECT_EQ(Column(last3, "W1"), (QList<double>{4, 5, 6}));
    last3.moveLast();
    EXPECT_DOUBLE_EQ(last3[QStringLiteral("W1")].toDouble(), 6);
    EXPECT_EQ(Column(conn().latestSamples(7, 50, &ok), "W1"), (QList<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Column(conn().latestSamples(QStringLiteral("7"), 1, &ok), "W1"), (QList<double>{6}));
    EXPECT_TRUE(conn().latestSamples(7, 0, &ok).isEmpty());
    const Recordset none = conn().latestSamples(12345, 5, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(none.bof() && none.eof());
}

} // namespace
