#include "evaluation/SampleRows.h"
#include "evaluation/SampleStatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace kartovo;

namespace {

// Statistics of a sample worked out here in double precision, the way a
// textbook does it, to hold the float results against.
struct Reference {
    double mean, sd, range, mid, median, lo, hi;
};

Reference ReferenceOf(std::vector<double> x) {
    Reference r{};
    const double n = static_cast<double>(x.size());
    double sum = 0;
    for (double v : x) sum += v;
    r.mean = sum / n;
    double sq = 0;
    for (double v : x) sq += (v - r.mean) * (v - r.mean);
    r.sd = x.size() > 1 ? std::sqrt(sq / (n - 1)) : 0.0;
    r.lo = *std::min_element(x.begin(), x.end());
    r.hi = *std::max_element(x.begin(), x.end());
    r.range = r.hi - r.lo;
    r.mid = (r.hi + r.lo) / 2;
    std::sort(x.begin(), x.end());
    const size_t m = x.size() / 2;
    r.median = x.size() % 2 ? x[m] : (x[m - 1] + x[m]) / 2;
    return r;
}

// A stored statistic is a 32-bit float value; it must agree with the double
// reference to float precision (a few units in the last place, relative).
void ExpectFloat(const QVariant& stored, double reference, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(stored.isValid() && !stored.isNull());
    const double v = stored.toDouble();
    EXPECT_EQ(static_cast<double>(static_cast<float>(v)), v) << "not a 32-bit float value";
    EXPECT_NEAR(v, static_cast<float>(reference), 4e-6 * std::max(1.0, std::fabs(reference)));
}

void ExpectRowMatches(const Record& row, const std::vector<double>& window) {
    const Reference r = ReferenceOf(window);
    ExpectFloat(row["Srednia"], r.mean, "Srednia");
    ExpectFloat(row["Odchylenie"], r.sd, "Odchylenie");
    ExpectFloat(row["Rozstep"], r.range, "Rozstep");
    ExpectFloat(row["Dodat"], r.mid, "Dodat");
    ExpectFloat(row["Mediana"], r.median, "Mediana");
    EXPECT_DOUBLE_EQ(row["Mini"].toDouble(), r.lo);
    EXPECT_DOUBLE_EQ(row["Maxi"].toDouble(), r.hi);
}

bool IsNull(const QVariant& v) { return !v.isValid() || v.isNull(); }

Record Parameter(int typKarty, const QVariant& probka) {
    Record p;
    p.set("ID", 77);
    p.set("TypKarty", typKarty);
    p.set("Probka", probka);
    p.set("GLK", 12.5);
    p.set("DLK", 9.5);
    p.set("LS", 11.0);
    return p;
}

Record Program(const QVariant& czasP = QVariant()) {
    Record p;
    p.set("ID", 5);
    p.set("CzasP", czasP);
    return p;
}

SizeConstantTable Constants() {
    SizeConstantTable t;
    for (int n = 1; n <= 40; ++n) {
        t[n].R1 = 2.0 + n / 10.0;
        t[n].S1 = 1.0 + n / 100.0;
    }
    return t;
}

SampleIdentification Manual(const QString& date = "2024-05-06", const QString& time = "10:00") {
    SampleIdentification id;
    id.date = date;
    id.time = time;
    id.descriptive = QStringList{"Jan", "Zmiana 1"};
    id.notes = "uwagi";
    return id;
}

QList<MeasurementValue> Values(const std::vector<double>& v, int perSection = 1) {
    QList<MeasurementValue> m;
    for (size_t i = 0; i < v.size(); ++i) m.append({QVariant(v[i]), static_cast<int>(i) / perSection + 1});
    return m;
}

} // namespace

TEST(WypX, WindowGrowsFromNothingAndTakesInTheRowsOfTheSameSave) {
    const std::vector<double> v{10.25, 10.5, 9.75, 11.0, 10.0, 12.25, 9.5};
    const auto r = WypX(Values(v), Parameter(1, 5), Program(), Constants(), Manual(), {});
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.rows.size(), 7);
    // First row: only itself, so no spread and median = mean = the value.
    EXPECT_EQ(r.rows[0]["Odchylenie"].toDouble(), 0.0);
    EXPECT_EQ(r.rows[0]["Rozstep"].toDouble(), 0.0);
    EXPECT_EQ(r.rows[0]["Mediana"].toDouble(), 10.25);
    EXPECT_EQ(r.rows[0]["Srednia"].toDouble(), 10.25);
    for (int j = 0; j < 7; ++j) {
        SCOPED_TRACE(j);
        const int from = std::max(0, j - 4);
        ExpectRowMatches(r.rows[j], std::vector<double>(v.begin() + from, v.begin() + j + 1));
        EXPECT_EQ(r.rows[j]["W1"].toDouble(), v[j]);
        EXPECT_EQ(r.rows[j]["Lp"].toInt(), 1);
    }
}

TEST(WypX, WindowLooksBackOverStoredRowsNewestFirst) {
    Record a, b, c;
    a.set("W1", 1.0);
    b.set("w1", 100.0); // column names come back in any case
    c.set("W1", 3.0);
    const QList<QVariant> stored = StoredValues({a, b, c});
    // n = 3: the window is the value and the two latest stored rows.
    auto r = WypX(Values({5.0, 7.0}), Parameter(1, 3), Program(), Constants(), Manual(), stored);
    ASSERT_EQ(r.rows.size(), 2);
    ExpectRowMatches(r.rows[0], {5.0, 3.0, 100.0});
    ExpectRowMatches(r.rows[1], {7.0, 5.0, 3.0});
    // Only one stored row: the first window is two values long.
    r = WypX(Values({5.0}), Parameter(1, 3), Program(), Constants(), Manual(), {QVariant(4.0)});
    ExpectRowMatches(r.rows[0], {5.0, 4.0});
}

TEST(WypX, SampleSizeOneKeepsEveryRowAlone) {
    const auto r = WypX(Values({4.0, 8.0}), Parameter(1, 1), Program(), Constants(), Manual(), {QVariant(1.0)});
    ASSERT_EQ(r.rows.size(), 2);
    for (const Record& row : r.rows) {
        EXPECT_EQ(row["Lp"].toInt(), 1);
        EXPECT_EQ(row["Odchylenie"].toDouble(), 0.0);
        EXPECT_EQ(row["Rozstep"].toDouble(), 0.0);
        EXPECT_EQ(row["Srednia"].toDouble(), row["W1"].toDouble());
        // K = (12.5 - 9.5) / 3 = 1, and the square root of 1 is 1.
        EXPECT_DOUBLE_EQ(row["GR"].toDouble(), 2.1);
        EXPECT_DOUBLE_EQ(row["DR"].toDouble(), 1.05);
        EXPECT_DOUBLE_EQ(row["GS"].toDouble(), 1.01);
    }
}

TEST(WypX, RowClearsTheOtherSampleColumnsInFillingOrder) {
    SampleIdentification id = Manual();
    id.descriptive = QStringList{"a", "b", "c", "d", "e", "f", "g"};
    const auto r = WypX(Values({3.0}), Parameter(1, 5), Program(), Constants(), id, {});
    ASSERT_EQ(r.rows.size(), 1);
    const Record& row = r.rows[0];
    QStringList expected{"IDP", "IDPK", "P", "CzyOb", "Data", "Czas"};
    for (int i = 1; i <= 5; ++i) expected << QString("ID%1").arg(i);
    for (int i = 1; i <= 5; ++i) expected << QString("IDL%1").arg(i);
    expected << "ID6" << "ID7" << "PomiaryNL";
    for (int i = 1; i <= 40; ++i) expected << QString("W%1").arg(i);
    for (int i = 1; i <= 40; ++i) expected << QString("D%1").arg(i);
    expected << "Srednia" << "Odchylenie" << "Rozstep" << "Dodat" << "Mediana" << "Lp" << "Mini" << "Maxi"
             << "GX" << "DX" << "SX" << "GR" << "DR" << "GS" << "DS" << "IDPrz" << "IDRea" << "IDNie" << "IleNie"
             << "IDNot";
    EXPECT_EQ(row.columns(), expected);
    EXPECT_EQ(row["ID1"].toString(), "a");
    EXPECT_EQ(row["ID7"].toString(), "g");
    EXPECT_TRUE(IsNull(row["IDL1"]));
    EXPECT_EQ(row["W1"].toDouble(), 3.0);
    EXPECT_TRUE(IsNull(row["W2"]));
    EXPECT_TRUE(IsNull(row["D1"]));
    EXPECT_TRUE(IsNull(row["IDNot"]));
}

TEST(WypXR, CutsCompleteGroupsAndDropsTheRest) {
    std::vector<double> v;
    for (int i = 0; i < 13; ++i) v.push_back(20.0 + ((i * 7) % 5) * 0.25 + i * 0.01);
    const auto r = WypXR(Values(v, 5), Parameter(0, 5), Program(), Constants(), Manual());
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.rows.size(), 2);
    for (int s = 0; s < 2; ++s) {
        SCOPED_TRACE(s);
        const std::vector<double> group(v.begin() + 5 * s, v.begin() + 5 * s + 5);
        ExpectRowMatches(r.rows[s], group);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(r.rows[s][QString("W%1").arg(i + 1)].toDouble(), group[i]);
        EXPECT_FALSE(r.rows[s].contains("W6"));
        EXPECT_EQ(r.rows[s]["Lp"].toInt(), 5);
        // K = 1: the range limit is R1(5) / sqrt(5).
        EXPECT_DOUBLE_EQ(r.rows[s]["GR"].toDouble(), 2.5 / std::sqrt(5.0));
        EXPECT_DOUBLE_EQ(r.rows[s]["DS"].toDouble(), 1.05 / std::sqrt(5.0) / 2);
        EXPECT_EQ(r.rows[s]["GX"].toDouble(), 12.5);
        EXPECT_EQ(r.rows[s]["DX"].toDouble(), 9.5);
        EXPECT_EQ(r.rows[s]["SX"].toDouble(), 11.0);
    }
    QStringList expected{"IDP", "IDPK", "P", "CzyOb", "Data", "Czas", "ID1", "ID2", "PomiaryNL",
                         "W1",  "W2",   "W3", "W4",   "W5"};
    expected << "Srednia" << "Odchylenie" << "Rozstep" << "Dodat" << "Mediana" << "Lp" << "Mini" << "Maxi"
             << "GX" << "DX" << "SX" << "GR" << "DR" << "GS" << "DS" << "IDPrz" << "IDRea" << "IDNie" << "IleNie"
             << "IDNot";
    EXPECT_EQ(r.rows[0].columns(), expected);
    EXPECT_EQ(r.rows[0]["IDP"].toInt(), 5);
    EXPECT_EQ(r.rows[0]["IDPK"].toInt(), 77);
    EXPECT_EQ(r.rows[0]["P"], QVariant(QString("0")));
    EXPECT_EQ(r.rows[0]["CzyOb"], QVariant(true));
    EXPECT_EQ(r.rows[0]["PomiaryNL"].toString(), "uwagi");
}

TEST(WypXR, TooFewOrNoMeasurementsStoreNothing) {
    EXPECT_TRUE(WypXR(Values({1, 2, 3, 4}), Parameter(0, 5), Program(), Constants(), Manual()).rows.isEmpty());
    const auto none = WypXR({}, Parameter(0, 5), Program(), Constants(), Manual());
    EXPECT_TRUE(none.ok());
    EXPECT_TRUE(none.rows.isEmpty());
    EXPECT_TRUE(WypX({}, Parameter(1, 5), Program(), Constants(), Manual(), {QVariant(1.0)}).rows.isEmpty());
}

TEST(WypXR, SampleSizeOneHasNoSpread) {
    const auto r = WypXR(Values({3.5, 4.5}), Parameter(0, 1), Program(), Constants(), Manual());
    ASSERT_EQ(r.rows.size(), 2);
    EXPECT_EQ(r.rows[1]["Odchylenie"].toDouble(), 0.0);
    EXPECT_EQ(r.rows[1]["Mediana"].toDouble(), 4.5);
    EXPECT_EQ(r.rows[1]["Lp"].toInt(), 1);
}

TEST(Median, EvenAndOddCountsKeepTheStoredOrder) {
    auto r = WypXR(Values({1, 2, 3, 4}, 4), Parameter(0, 4), Program(), Constants(), Manual());
    ASSERT_EQ(r.rows.size(), 1);
    EXPECT_EQ(r.rows[0]["Mediana"].toDouble(), 2.5);

    r = WypXR(Values({3, 1, 2}, 3), Parameter(0, 3), Program(), Constants(), Manual());
    ASSERT_EQ(r.rows.size(), 1);
    EXPECT_EQ(r.rows[0]["Mediana"].toDouble(), 2.0);
    EXPECT_EQ(r.rows[0]["W1"].toDouble(), 3.0);
    EXPECT_EQ(r.rows[0]["W2"].toDouble(), 1.0);
    EXPECT_EQ(r.rows[0]["W3"].toDouble(), 2.0);

    QList<double> values{4, 3, 1, 2, 0};
    EXPECT_EQ(GetMedian(values, 4), 2.5f);
    EXPECT_EQ(values, (QList<double>{1, 2, 3, 4, 0})); // only the counted values are sorted
}

TEST(Statistics, EqualValuesHaveNoSpread) {
    const SampleStatistics s = ComputeSampleStatistics({2.0, 2.0, 2.0});
    EXPECT_EQ(s.range.toDouble(), 0.0);
    EXPECT_EQ(s.standardDeviation.toDouble(), 0.0);
    EXPECT_EQ(s.midRange.toDouble(), 2.0);
    EXPECT_EQ(s.median.toDouble(), 2.0);
}

TEST(Statistics, FloatSumsOfManyDecimalValuesStayWithinFloatPrecision) {
    std::vector<double> v;
    QList<QVariant> q;
    for (int i = 0; i < 40; ++i) {
        v.push_back(1234.567 + (i % 7) * 0.013 - (i % 3) * 0.021);
        q.append(v.back());
    }
    const SampleStatistics s = ComputeSampleStatistics(q);
    const Reference r = ReferenceOf(v);
    ExpectFloat(s.mean, r.mean, "mean");
    ExpectFloat(s.median, r.median, "median");
    // The spread is tiny beside the values: float cancellation costs digits, so
    // only agreement to about 1e-3 of the deviation can be asked for.
    EXPECT_NEAR(s.standardDeviation.toDouble(), r.sd, 1e-3 * r.sd + 1e-4);
}

TEST(Statistics, MissingValuesGiveNullStatisticsNotStaleOnes) {
    // A parameter without limits reads null values: nothing may be invented.
    const auto r = WypXR(QList<MeasurementValue>{{QVariant(), 1}, {QVariant(), 1}}, Parameter(0, 2), Program(),
                         Constants(), Manual());
    ASSERT_EQ(r.rows.size(), 1);
    for (const char* c : {"Srednia", "Odchylenie", "Rozstep", "Dodat", "Mediana", "Mini", "Maxi", "W1"})
        EXPECT_TRUE(IsNull(r.rows[0][c])) << c;
    // A null later in the sample never wins the extremes but spoils the mean.
    const SampleStatistics s = ComputeSampleStatistics({3.0, QVariant(), 1.0});
    EXPECT_EQ(s.smallest.toDouble(), 1.0);
    EXPECT_EQ(s.largest.toDouble(), 3.0);
    EXPECT_TRUE(IsNull(s.mean));
    EXPECT_TRUE(IsNull(s.standardDeviation));
    EXPECT_TRUE(ComputeSampleStatistics({}).mean.isNull());
}

TEST(Limits, MissingControlLinesOrConstantsLeaveTheLimitsNull) {
    Record p = Parameter(0, 2);
    p.set("DLK", QVariant());
    auto r = WypXR(Values({1, 2}, 2), p, Program(), Constants(), Manual());
    ASSERT_EQ(r.rows.size(), 1);
    EXPECT_TRUE(IsNull(r.rows[0]["GR"]));
    EXPECT_TRUE(IsNull(r.rows[0]["DS"]));
    EXPECT_TRUE(IsNull(r.rows[0]["DX"]));
    EXPECT_EQ(r.rows[0]["GX"].toDouble(), 12.5);

    SizeConstantTable c = Constants();
    c[2].S1 = QVariant();
    r = WypXR(Values({1, 2}, 2), Parameter(0, 2), Program(), c, Manual());
    EXPECT_DOUBLE_EQ(r.rows[0]["GR"].toDouble(), 2.2 / std::sqrt(2.0));
    EXPECT_TRUE(IsNull(r.rows[0]["GS"]));
}

TEST(SampleSize, OutsideOneToFortyIsRefusedWithAMessage) {
    for (const QVariant& probka : {QVariant(0), QVariant(41), QVariant(-3), QVariant()}) {
        SCOPED_TRACE(probka.toString().toStdString());
        const auto a = WypXR(Values({1, 2, 3}), Parameter(0, probka), Program(), Constants(), Manual());
        const auto b = WypX(Values({1, 2, 3}), Parameter(1, probka), Program(), Constants(), Manual(), {});
        EXPECT_FALSE(a.ok());
        EXPECT_TRUE(a.rows.isEmpty());
        EXPECT_FALSE(b.ok());
        EXPECT_TRUE(b.rows.isEmpty());
        EXPECT_TRUE(a.error.contains("od 1 do 40"));
    }
    EXPECT_TRUE(WypXR(Values({1}), Parameter(0, 40), Program(), Constants(), Manual()).ok());
}

TEST(EvaluateCard, ChoosesByCardTypeAndStoresNothingForOthers) {
    const auto values = Values({1, 2, 3, 4}, 2);
    EXPECT_EQ(EvaluateCard(values, Parameter(0, 2), Program(), Constants(), Manual(), {}).rows.size(), 2);
    EXPECT_EQ(EvaluateCard(values, Parameter(1, 2), Program(), Constants(), Manual(), {}).rows.size(), 4);
    const auto alt = EvaluateCard(values, Parameter(2, 2), Program(), Constants(), Manual(), {});
    EXPECT_TRUE(alt.ok());
    EXPECT_TRUE(alt.rows.isEmpty());
    Record untyped = Parameter(0, 2);
    untyped.set("TypKarty", QVariant());
    EXPECT_TRUE(EvaluateCard(values, untyped, Program(), Constants(), Manual(), {}).rows.isEmpty());
}

TEST(Timestamp, IntervalCarriesOverMinutesHoursAndMidnight) {
    // Individual values: the offset follows the preceding entry's section.
    QList<MeasurementValue> m{{1.0, 1}, {2.0, 3}, {3.0, 4}};
    auto r = WypX(m, Parameter(1, 5), Program(30), Constants(), Manual("2024-12-31", "23:50"), {});
    ASSERT_EQ(r.rows.size(), 3);
    EXPECT_EQ(r.rows[0]["Data"].toString(), "2024-12-31");
    EXPECT_EQ(r.rows[0]["Czas"].toString(), "23:50");
    EXPECT_EQ(r.rows[1]["Data"].toString(), "2025-01-01"); // 23:50 + 30 min
    EXPECT_EQ(r.rows[1]["Czas"].toString(), "00:20");
    EXPECT_EQ(r.rows[2]["Czas"].toString(), "01:20"); // + 3 x 30 min

    r = WypX({{1.0, 3}, {2.0, 4}}, Parameter(1, 5), Program(30), Constants(), Manual("2024-05-06", "10:00"), {});
    EXPECT_EQ(r.rows[1]["Czas"].toString(), "11:30");
    EXPECT_EQ(r.rows[1]["Data"].toString(), "2024-05-06");

    // Samples: the offset is the group number less one.
    r = WypXR(Values({1, 2, 3, 4, 5, 6}), Parameter(0, 2), Program(15), Constants(), Manual("2024-05-06", "08:00"));
    ASSERT_EQ(r.rows.size(), 3);
    EXPECT_EQ(r.rows[0]["Czas"].toString(), "08:00");
    EXPECT_EQ(r.rows[1]["Czas"].toString(), "08:15");
    EXPECT_EQ(r.rows[2]["Czas"].toString(), "08:30");

    // A whole day and more at once, over a leap day.
    const auto ts = ComputeTimestamp("2024-02-28", "23:00", 1500, 1);
    ASSERT_TRUE(ts);
    EXPECT_EQ(ts->date, "2024-03-01");
    EXPECT_EQ(ts->time, "00:00");
}

TEST(Timestamp, NoIntervalKeepsTheBaseAndNormalisesTheTime) {
    for (const QVariant& czasP : {QVariant(), QVariant(0), QVariant(-15)}) {
        const auto r = WypXR(Values({1, 2, 3, 4}), Parameter(0, 2), Program(czasP), Constants(),
                             Manual("2024-05-06", " 8:05"));
        ASSERT_EQ(r.rows.size(), 2);
        EXPECT_EQ(r.rows[1]["Czas"].toString(), "08:05");
        EXPECT_EQ(r.rows[1]["Data"].toString(), "2024-05-06");
    }
}

TEST(Timestamp, UnreadableDateOrTimeIsRefused) {
    for (const auto& [date, time] : {std::pair<QString, QString>{"2024-02-30", "10:00"}, {"2024-05-06", "1000"},
                                     {"2024-05-06", "24:00"}, {"2024-05-06", "10:60"}, {"", "10:00"}}) {
        SCOPED_TRACE((date + " " + time).toStdString());
        const auto r = WypXR(Values({1, 2}), Parameter(0, 2), Program(), Constants(), Manual(date, time));
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.rows.isEmpty());
    }
}

TEST(Identification, AutomaticModeUsesTheMomentDashesAndNoNotes) {
    const QDateTime now(QDate(2024, 3, 9), QTime(7, 4, 59));
    const SampleIdentification id = AutomaticIdentification(now, 3);
    const auto r = WypX(Values({1.0}), Parameter(1, 5), Program(), Constants(), id, {});
    ASSERT_EQ(r.rows.size(), 1);
    const Record& row = r.rows[0];
    EXPECT_EQ(row["Data"].toString(), "2024-03-09");
    EXPECT_EQ(row["Czas"].toString(), "07:04");
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(row[QString("ID%1").arg(i)].toString(), "-");
    EXPECT_TRUE(IsNull(row["ID4"])); // cleared by the individual-value row, not a descriptive field
    EXPECT_TRUE(IsNull(row["PomiaryNL"]));

    SampleIdentification manual = Manual();
    manual.notes.clear();
    EXPECT_TRUE(IsNull(WypXR(Values({1}), Parameter(0, 1), Program(), Constants(), manual).rows[0]["PomiaryNL"]));
}
