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
    }
    void add(const char* table, const Record& r) {
        ASSERT_TRUE(conn().append(QString::fromLatin1(table), r)) << conn().lastError().description.toStdString();
    }
    // One complete set of base tables, each test then changes one part.
    void fillMinimal(bool opisBaz = true, bool opisId = true, bool ustawienia = true) {
        if (opisBaz) add("SPC_OpisBaz", Row({{"ID", 1}, {"Nazwa", QStringLiteral("Wyrób")}}));
        if (opisId) add("SPC_OpisID", Row({{"ID", 1}, {"Nazwa", QStringLiteral("Operator")}, {"Pole", 1}}));
        if (ustawienia) add("SPC_Ustawienia", Row({{"NazwaOp", QStringLiteral("Uwagi")}, {"CzyWymagany", 1}}));
    }
    BaseSettings base;
};
KARTOVO_ON_BOTH_SYSTEMS(BaseTables);

TEST_P(BaseTables, EachEmptyTableHasItsRefusal) {
    EXPECT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::NoProgramIdentification);
    fillMinimal(true, false, false);
    EXPECT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::NoDataIdentification);
    fillMinimal(false, true, false);
    EXPECT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::NoWorkingParameters);
    fillMinimal(false, false, true);
    EXPECT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_EQ(base.WorkingParameters.value(QStringLiteral("CzyWymagany")).toInt(), 1);
}

TEST_P(BaseTables, NullCaptionsAreKeptButNotCounted) {
    fillMinimal(false, false, true);
    add("SPC_OpisBaz", Row({{"ID", 1}, {"Nazwa", QStringLiteral("A")}, {"NazwaA", QStringLiteral("a")}, {"Pole", 1}, {"Dlugosc", 10}}));
    add("SPC_OpisBaz", Row({{"ID", 2}, {"Nazwa", QVariant()}, {"NazwaA", QStringLiteral("b")}, {"Dlugosc", 20}}));
    add("SPC_OpisBaz", Row({{"ID", 3}, {"Nazwa", QStringLiteral("C")}, {"Pole", 0}, {"Dlugosc", 30}}));
    add("SPC_OpisID", Row({{"ID", 1}, {"Nazwa", QStringLiteral("A")}, {"Pole", 1}}));
    add("SPC_OpisID", Row({{"ID", 2}, {"Nazwa", QVariant()}}));
    add("SPC_OpisID", Row({{"ID", 3}, {"Nazwa", QStringLiteral("C")}}));

    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_EQ(base.ProgramIdentificationCount, 2);
    EXPECT_EQ(base.ProgramIdentification[1].Nazwa.toString(), QStringLiteral("A"));
    EXPECT_TRUE(base.ProgramIdentification[2].Nazwa.isNull());
    EXPECT_EQ(base.ProgramIdentification[2].NazwaA.toString(), QStringLiteral("b"));
    EXPECT_EQ(base.ProgramIdentification[2].Dlugosc.toInt(), 20);
    EXPECT_EQ(base.ProgramIdentification[3].Nazwa.toString(), QStringLiteral("C"));
    EXPECT_FALSE(base.ProgramIdentification[4].Nazwa.isValid());

    // Reading stops at the first null caption.
    EXPECT_EQ(base.DataIdentificationCount, 1);
    EXPECT_EQ(base.DataIdentification[1].Nazwa.toString(), QStringLiteral("A"));
    EXPECT_FALSE(base.DataIdentification[2].Nazwa.isValid());
    EXPECT_FALSE(base.DataIdentification[3].Nazwa.isValid());
}

TEST_P(BaseTables, RowsBeyondTheTablesAreIgnored) {
    fillMinimal(false, false, true);
    for (int i = 1; i <= 12; ++i) add("SPC_OpisBaz", Row({{"ID", i}, {"Nazwa", QStringLiteral("P%1").arg(i)}}));
    for (int i = 1; i <= 22; ++i) add("SPC_OpisID", Row({{"ID", i}, {"Nazwa", QStringLiteral("D%1").arg(i)}}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_EQ(base.ProgramIdentificationCount, 10);
    EXPECT_EQ(base.ProgramIdentification[10].Nazwa.toString(), QStringLiteral("P10"));
    EXPECT_EQ(base.DataIdentificationCount, 20);
    EXPECT_EQ(base.DataIdentification[20].Nazwa.toString(), QStringLiteral("D20"));
    // Loading went on after the excess rows.
    EXPECT_EQ(base.WorkingParameters.value(QStringLiteral("NazwaOp")).toString(), QStringLiteral("Uwagi"));
}

TEST_P(BaseTables, ConstantsLandUnderTheirOwnSampleSize) {
    fillMinimal();
    // Stored out of order, some sizes missing, two outside 0..40.
    for (int lp : {3, 41, 1, -1, 0, 2})
        add("SPC_Tablice", Row({{"LP", lp}, {"R1", 10.0 + lp}, {"R2", QVariant()}, {"S1", 20.0 + lp}, {"S2", 0.5},
                                {"R", 1.0}, {"S", 2.0}}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    for (int n : {0, 1, 2, 3}) {
        EXPECT_DOUBLE_EQ(base.SampleConstants[n].R1.toDouble(), 10.0 + n) << n;
        EXPECT_DOUBLE_EQ(base.SampleConstants[n].S1.toDouble(), 20.0 + n) << n;
        EXPECT_TRUE(base.SampleConstants[n].R2.isNull()) << n;
        EXPECT_DOUBLE_EQ(base.SampleConstants[n].S2.toDouble(), 0.5);
    }
    for (int n = 4; n <= 40; ++n) EXPECT_FALSE(base.SampleConstants[n].R1.isValid()) << n;
}

TEST_P(BaseTables, AtMostFortyConstantRowsAreRead) {
    fillMinimal();
    for (int lp = 40; lp >= 0; --lp) add("SPC_Tablice", Row({{"LP", lp}, {"R1", lp * 0.1}}));
    ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_DOUBLE_EQ(base.SampleConstants[39].R1.toDouble(), 3.9);
    EXPECT_FALSE(base.SampleConstants[40].R1.isValid()); // the 41st row in LP order
}

TEST_P(BaseTables, AReadErrorEndsTheLoadingQuietly) {
    add("SPC_OpisBaz", Row({{"ID", 1}, {"Nazwa", QStringLiteral("Wyrób")}}));
    add("SPC_Ustawienia", Row({{"NazwaOp", QStringLiteral("Uwagi")}}));
    ASSERT_TRUE(db->exec(QStringLiteral("DROP TABLE SPC_OpisID")));
    MessageRecorder recorder;
    EXPECT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    EXPECT_EQ(base.ProgramIdentificationCount, 1);
    EXPECT_EQ(base.DataIdentificationCount, 0);
    EXPECT_TRUE(base.WorkingParameters.isEmpty()); // not reached
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST(BaseSettingsRefusal, LinesOfEachRefusal) {
    const QStringList b1 = BaseSettingsRefusalText(BaseSettingsOutcome::NoProgramIdentification).split(QChar(13));
    EXPECT_EQ(b1, (QStringList{QStringLiteral("Nie ustawiono identyfikacji programów kontroli !"),
                               QStringLiteral("Przed uruchomieniem programu pomiarowego, uruchom NORV Vedi - SPC"),
                               QStringLiteral("i ustaw identyfikację programów kontroli (Bazy podstawowe)"), QString(),
                               QStringLiteral("Przerywam !")}));
    const QStringList b2 = BaseSettingsRefusalText(BaseSettingsOutcome::NoDataIdentification).split(QChar(13));
    EXPECT_EQ(b2, (QStringList{QStringLiteral("Nie ustawiono identyfikacji danych pomiarowych."),
                               QStringLiteral("Przed uruchomieniem programu pomiarowego, uruchom NORV Vedi - SPC"),
                               QStringLiteral("i ustaw identyfikację danych (Bazy podstawowe)."), QString(),
                               QStringLiteral("Przerywam !")}));
    const QStringList b3 = BaseSettingsRefusalText(BaseSettingsOutcome::NoWorkingParameters).split(QChar(13));
    EXPECT_EQ(b3, (QStringList{QStringLiteral("Nie ustawiono podstawowych parametrów pracy programu."),
                               QStringLiteral("Przed uruchomieniem programu pomiarowego, uruchom NORV Vedi - SPC"),
                               QStringLiteral("i ustaw podstawowe parametry pracy programu (F7)."), QString(),
                               QStringLiteral("Przerywam !")}));
    EXPECT_TRUE(BaseSettingsRefusalText(BaseSettingsOutcome::Loaded).isEmpty());
}
