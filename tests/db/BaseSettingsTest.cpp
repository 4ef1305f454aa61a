// What the base tables give: null captions, the tables' limits, constants by
// sample size, and a read error that ends the loading.
#include "DbTestSupport.h"

#include "db/BaseSettings.h"

using namespace kartovo;
using namespace kartovo::test;

namespace {

class BaseTables : public OnBothSystems {
protected:
    void add(const char* table, const Record& r) {
        ASSERT_TRUE(conn().append(QString::fromLatin1(table), r)) << lastError();
    }
    BaseSettings base;
};
KARTOVO_ON_BOTH_SYSTEMS(BaseTables);

TEST_P(BaseTables, CaptionsConstantsAndTheTablesLimits) {
    ASSERT_TRUE(db->createSchema());
    add("SPC_Ustawienia", Record({"NazwaOp", "CzyWymagany"}, {QStringLiteral("Uwagi"), 1}));
    // Program identification: a null caption keeps its entry but is not
    // counted, ten rows at most; data identification ends at the first null
    // caption, twenty at most.
    add("SPC_OpisBaz", Record({"ID", "Nazwa", "Pole", "Dlugosc"}, {1, QStringLiteral("A"), 1, 10}));
    add("SPC_OpisBaz", Record({"ID", "Nazwa", "NazwaA", "Dlugosc"}, {2, QVariant(), QStringLiteral("b"), 20}));
    for (int i = 3; i <= 12; ++i) add("SPC_OpisBaz", Record({"ID", "Nazwa"}, {i, QStringLiteral("P%1").arg(i)}));
    for (int i = 1; i <= 22; ++i) add("SPC_OpisID", Record({"ID", "Nazwa"}, {i, QStringLiteral("D%1").arg(i)}));
    // Constants stored out of order, two outside 0..40 (read, but without a slot).
    for (int lp : {3, 41, 1, -1, 0, 2})
        add("SPC_Tablice", Record({"LP", "R1", "R2", "S1"}, {lp, 10.0 + lp, QVariant(), 20.0 + lp}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_EQ(base.ProgramIdentificationCount, 9);
    EXPECT_TRUE(base.ProgramIdentification[2].Nazwa.isNull());
    EXPECT_EQ(base.ProgramIdentification[2].NazwaA.toString(), QStringLiteral("b"));
    EXPECT_EQ(base.ProgramIdentification[2].Dlugosc.toInt(), 20);
    EXPECT_EQ(base.ProgramIdentification[10].Nazwa.toString(), QStringLiteral("P10"));
    EXPECT_EQ(base.DataIdentificationCount, 20);
    EXPECT_EQ(base.DataIdentification[20].Nazwa.toString(), QStringLiteral("D20"));
    EXPECT_EQ(base.WorkingParameters.value(QStringLiteral("CzyWymagany")).toInt(), 1); // went on after the excess
    for (int n : {0, 1, 2, 3}) {
        EXPECT_DOUBLE_EQ(base.SampleConstants[n].R1.toDouble(), 10.0 + n) << n;
        EXPECT_DOUBLE_EQ(base.SampleConstants[n].S1.toDouble(), 20.0 + n) << n;
        EXPECT_TRUE(base.SampleConstants[n].R2.isNull()) << n;
    }
    for (int n = 4; n <= 40; ++n) EXPECT_FALSE(base.SampleConstants[n].R1.isValid()) << n;

    ASSERT_TRUE(db->exec(QStringLiteral("DELETE FROM SPC_OpisID")) && db->exec(QStringLiteral("DELETE FROM SPC_Tablice")));
    add("SPC_OpisID", Record({"ID", "Nazwa", "Pole"}, {1, QStringLiteral("A"), 1}));
    add("SPC_OpisID", Record({"ID", "Nazwa"}, {2, QVariant()}));
    add("SPC_OpisID", Record({"ID", "Nazwa"}, {3, QStringLiteral("C")}));
    for (int lp = 40; lp >= 0; --lp) add("SPC_Tablice", Record({"LP", "R1"}, {lp, lp * 0.1}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded); // over the earlier settings
    EXPECT_EQ(base.DataIdentificationCount, 1);
    EXPECT_EQ(base.DataIdentification[1].Pole.toInt(), 1);
    EXPECT_FALSE(base.DataIdentification[3].Nazwa.isValid());
    EXPECT_DOUBLE_EQ(base.SampleConstants[39].R1.toDouble(), 3.9);
    EXPECT_FALSE(base.SampleConstants[40].R1.isValid()); // the 41st row in LP order

    // A read error ends the loading quietly: what came after is not reached.
    ASSERT_TRUE(db->exec(QStringLiteral("DROP TABLE SPC_OpisID")));
    MessageRecorder recorder;
    base = BaseSettings();
    EXPECT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_EQ(base.ProgramIdentificationCount, 9);
    EXPECT_TRUE(base.WorkingParameters.isEmpty());
    EXPECT_TRUE(recorder.requests.empty());
}

} // namespace
