// What the base tables give: null captions, the tables' limits, constants by
// sample size, and a read error that ends the loading.
#include "BackendFixture.h"

#include "db/BaseSettings.h"

using namespace kartovo;
using namespace kartovo::test;

namespace {

Record Row(std::initializer_list<std::pair<const char*, QVariant>> fields) {
    Record r;
    for (const auto& f : fields) r.set(QString::fromLatin1(f.first), f.second);
    return r;
}

} // namespace

class BaseTables : public OnBothSystems {
protected:
    void SetUp() override {
        OnBothSystems::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(db->createSchema());
        add("SPC_Ustawienia", Row({{"NazwaOp", QStringLiteral("Uwagi")}, {"CzyWymagany", 1}}));
    }
    void add(const char* table, const Record& r) {
        ASSERT_TRUE(conn().append(QString::fromLatin1(table), r)) << conn().lastError().description.toStdString();
    }
    BaseSettings base;
};
KARTOVO_ON_BOTH_SYSTEMS(BaseTables);

TEST_P(BaseTables, CaptionsUpToTheTablesLimits) {
    // Program identification: a null caption keeps its entry but is not
    // counted; data identification ends at the first null caption.
    add("SPC_OpisBaz", Row({{"ID", 1}, {"Nazwa", QStringLiteral("A")}, {"Pole", 1}, {"Dlugosc", 10}}));
    add("SPC_OpisBaz", Row({{"ID", 2}, {"Nazwa", QVariant()}, {"NazwaA", QStringLiteral("b")}, {"Dlugosc", 20}}));
    for (int i = 3; i <= 12; ++i) add("SPC_OpisBaz", Row({{"ID", i}, {"Nazwa", QStringLiteral("P%1").arg(i)}}));
    for (int i = 1; i <= 22; ++i) add("SPC_OpisID", Row({{"ID", i}, {"Nazwa", QStringLiteral("D%1").arg(i)}}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_EQ(base.ProgramIdentificationCount, 9); // ten rows read, one without caption
    EXPECT_TRUE(base.ProgramIdentification[2].Nazwa.isNull());
    EXPECT_EQ(base.ProgramIdentification[2].NazwaA.toString(), QStringLiteral("b"));
    EXPECT_EQ(base.ProgramIdentification[2].Dlugosc.toInt(), 20);
    EXPECT_EQ(base.ProgramIdentification[10].Nazwa.toString(), QStringLiteral("P10"));
    EXPECT_EQ(base.DataIdentificationCount, 20);
    EXPECT_EQ(base.DataIdentification[20].Nazwa.toString(), QStringLiteral("D20"));
    EXPECT_EQ(base.WorkingParameters.value(QStringLiteral("CzyWymagany")).toInt(), 1); // went on after the excess

    ASSERT_TRUE(db->exec(QStringLiteral("DELETE FROM SPC_OpisID")));
    add("SPC_OpisID", Row({{"ID", 1}, {"Nazwa", QStringLiteral("A")}, {"Pole", 1}}));
    add("SPC_OpisID", Row({{"ID", 2}, {"Nazwa", QVariant()}}));
    add("SPC_OpisID", Row({{"ID", 3}, {"Nazwa", QStringLiteral("C")}}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_EQ(base.DataIdentificationCount, 1);
    EXPECT_EQ(base.DataIdentification[1].Pole.toInt(), 1);
    EXPECT_FALSE(base.DataIdentification[3].Nazwa.isValid());
}

TEST_P(BaseTables, ConstantsLandUnderTheirOwnSampleSizeFortyRowsAtMost) {
    add("SPC_OpisBaz", Row({{"ID", 1}, {"Nazwa", QStringLiteral("Wyrób")}}));
    add("SPC_OpisID", Row({{"ID", 1}, {"Nazwa", QStringLiteral("Operator")}}));
    // Stored out of order, two outside 0..40 (read, but without a slot).
    for (int lp : {3, 41, 1, -1, 0, 2})
        add("SPC_Tablice", Row({{"LP", lp}, {"R1", 10.0 + lp}, {"R2", QVariant()}, {"S1", 20.0 + lp}}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    for (int n : {0, 1, 2, 3}) {
        EXPECT_DOUBLE_EQ(base.SampleConstants[n].R1.toDouble(), 10.0 + n) << n;
        EXPECT_DOUBLE_EQ(base.SampleConstants[n].S1.toDouble(), 20.0 + n) << n;
        EXPECT_TRUE(base.SampleConstants[n].R2.isNull()) << n;
    }
    for (int n = 4; n <= 40; ++n) EXPECT_FALSE(base.SampleConstants[n].R1.isValid()) << n;

    ASSERT_TRUE(db->exec(QStringLiteral("DELETE FROM SPC_Tablice")));
    for (int lp = 40; lp >= 0; --lp) add("SPC_Tablice", Row({{"LP", lp}, {"R1", lp * 0.1}}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_DOUBLE_EQ(base.SampleConstants[39].R1.toDouble(), 3.9);
    EXPECT_FALSE(base.SampleConstants[40].R1.isValid()); // the 41st row in LP order
}

TEST_P(BaseTables, AReadErrorEndsTheLoadingQuietly) {
    add("SPC_OpisBaz", Row({{"ID", 1}, {"Nazwa", QStringLiteral("Wyrób")}}));
    ASSERT_TRUE(db->exec(QStringLiteral("DROP TABLE SPC_OpisID")));
    MessageRecorder recorder;
    EXPECT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_EQ(base.ProgramIdentificationCount, 1);
    EXPECT_TRUE(base.WorkingParameters.isEmpty()); // not reached
    EXPECT_TRUE(recorder.messages.isEmpty());
}
