#include "evaluation/SampleRows.h"
#include "evaluation/SampleStatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace kartovo;

namespace {

// The row's statistics against the textbook ones of `x` in double precision; each a 32-bit float value.
void ExpectRowMatches(const Record& row, std::vector<double> x, double sdTolerance = 4e-6) {
    const double n = static_cast<double>(x.size());
    double sum = 0, sq = 0;
    for (double v : x) sum += v;
    for (double v : x) sq += (v - sum / n) * (v - sum / n);
    std::sort(x.begin(), x.end());
    const size_t m = x.size() / 2;
    const std::tuple<const char*, double, double> expected[] = {
        {"Srednia", sum / n, 4e-6},
        {"Odchylenie", x.size() > 1 ? std::sqrt(sq / (n - 1)) : 0.0, sdTolerance},
        {"Rozstep", x.back() - x.front(), 4e-6},
        {"Dodat", (x.back() + x.front()) / 2, 4e-6}, {"Mediana", x.size() % 2 ? x[m] : (x[m - 1] + x[m]) / 2, 4e-6}};
    for (const auto& [column, reference, tolerance] : expected) {
        ASSERT_FALSE(row[column].isNull()) << column;
        const double v = row[column].toDouble();
        EXPECT_EQ(static_cast<double>(static_cast<float>(v)), v) << column << " is no 32-bit float value";
        EXPECT_NEAR(v, static_cast<float>(reference), tolerance * std::max(1.0, std::fabs(reference))) << column;
    }
    EXPECT_DOUBLE_EQ(row["Mini"].toDouble(), x.front());
    EXPECT_DOUBLE_EQ(row["Maxi"].toDouble(), x.back());
}

Record Parameter(int typKarty, const QVariant& probka) {
    return Record({"ID", "TypKarty", "Probka", "GLK", "DLK", "LS"}, {77, typKarty, probka, 12.5, 9.5, 11.0});
}

Record Program(const QVariant& czasP = QVariant()) { return Record({"ID", "CzasP"}, {5, czasP}); }

SizeConstantTable Constants() {
    SizeConstantTable t;
    for (int n = 1; n <= 40; ++n) {
        t[n].R1 = 2.0 + n / 10.0;
        t[n].S1 = 1.0 + n / 100.0;
    }
    return t;
}

SampleIdentification Manual(const QString& date = "2024-05-06", const QString& time = "10:00") {
    return {date, time, QStringList{"Jan", "Zmiana 1"}, "uwagi"};
}

QList<MeasurementValue> Values(const std::vector<double>& v, int perSection = 1) {
    QList<MeasurementValue> m;
    for (size_t i = 0; i < v.size(); ++i) m.append({QVariant(v[i]), static_cast<int>(i) / perSection + 1});
    return m;
}

EvaluationResult Samples(const QList<MeasurementValue>& m, const Record& p, const Record& program = Program(),
                         const SizeConstantTable& c = Constants(), const SampleIdentification& id = Manual()) {
    return WypXR(m, p, program, c, id);
}

} // namespace

// The window: the value and up to Probka - 1 before it, stored (newest last, names in any case) or this card's.
TEST(WypX, WindowLooksBackOverStoredRowsAndTheRowsOfTheSameSave) {
    const std::vector<double> v{10.25, 10.5, 9.75, 11.0, 10.0, 12.25, 9.5};
    auto r = WypX(Values(v), Parameter(1, 5), Program(), Constants(), Manual(), {});
    ASSERT_TRUE(r.ok() && r->size() == 7);
    for (int j = 0; j < 7; ++j) {
        SCOPED_TRACE(j);
        ExpectRowMatches((*r)[j], std::vector<double>(v.begin() + std::max(0, j - 4), v.begin() + j + 1));
        EXPECT_EQ(std::pair((*r)[j]["W1"].toDouble(), (*r)[j]["Lp"].toInt()), std::pair(v[j], 1));
        for (const char* column : {"W2", "W40", "D1", "D40", "IDL1", "IDL5"}) // the main program's columns are cleared
            EXPECT_TRUE((*r)[j].contains(column) && (*r)[j][column].isNull()) << column;
    }
    r = WypX(Values({5.0, 7.0}), Parameter(1, 3), Program(), Constants(), Manual(),
             StoredValues({Record({"W1"}, {1.0}), Record({"w1"}, {100.0}), Record({"W1"}, {3.0})}));
    ASSERT_EQ(r->size(), 2);
    ExpectRowMatches((*r)[0], {5.0, 3.0, 100.0});
    ExpectRowMatches((*r)[1], {7.0, 5.0, 3.0});
}

TEST(WypXR, CutsCompleteGroupsAndDropsTheRest) {
    std::vector<double> v;
    for (int i = 0; i < 13; ++i) v.push_back(20.0 + ((i * 7) % 5) * 0.25 + i * 0.01);
    const auto r = Samples(Values(v, 5), Parameter(0, 5));
    ASSERT_TRUE(r.ok() && r->size() == 2);
    for (int s = 0; s < 2; ++s) {
        SCOPED_TRACE(s);
        const Record& row = (*r)[s];
        const std::vector<double> group(v.begin() + 5 * s, v.begin() + 5 * s + 5);
        ExpectRowMatches(row, group);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(row[QString("W%1").arg(i + 1)].toDouble(), group[i]);
        EXPECT_FALSE(row.contains("W6"));
        for (const auto& [column, limit] : {std::pair{"GR", 2.5}, {"DR", 1.25}, {"GS", 1.05}, {"DS", 0.525}})
            EXPECT_DOUBLE_EQ(row[column].toDouble(), limit / std::sqrt(5.0)) << column;
        const std::pair<const char*, QVariant> columns[] = {
            {"Lp", 5}, {"GX", 12.5}, {"DX", 9.5}, {"SX", 11.0}, {"IDP", 5}, {"IDPK", 77}, {"P", "0"}, {"CzyOb", true},
            {"ID2", "Zmiana 1"}, {"PomiaryNL", "uwagi"}, {"Data", "2024-05-06"}, {"Czas", "10:00"}};
        for (const auto& [column, value] : columns) EXPECT_EQ(row[column], value) << column;
    }
    EXPECT_TRUE(Samples(Values({1, 2, 3, 4}), Parameter(0, 5))->isEmpty() && Samples({}, Parameter(0, 5))->isEmpty());
}

TEST(Statistics, MedianSpreadMissingValuesAndLimits) {
    QList<double> values{4, 3, 1, 2, 0};
    EXPECT_EQ((std::tuple{GetMedian(values, 4), values, GetMedian(values, 0), GetMedian(values, 6)}),
              std::tuple(2.5f, QList<double>{1, 2, 3, 4, 0}, 0.0f, 0.0f)); // only the counted values are sorted; none, or more than there are
    auto r = Samples(Values({3, 1, 2}, 3), Parameter(0, 3));
    EXPECT_EQ(std::pair((*r)[0]["Mediana"].toDouble(), (*r)[0]["W1"].toDouble()), std::pair(2.0, 3.0)) << "the values keep their order";
    // Float cancellation costs digits of a spread this small beside the values.
    std::vector<double> v;
    for (int i = 0; i < 40; ++i) v.push_back(1234.567 + (i % 7) * 0.013 - (i % 3) * 0.021);
    r = Samples(Values(v, 40), Parameter(0, 40));
    ExpectRowMatches((*r)[0], v, 1e-3);
    // A null never wins the extremes but leaves the mean and spread null, not stale.
    const SampleStatistics withNull = ComputeSampleStatistics({3.0, QVariant(), 1.0});
    EXPECT_EQ(std::pair(withNull.smallest.toDouble(), withNull.largest.toDouble()), std::pair(1.0, 3.0));
    EXPECT_TRUE(withNull.mean.isNull() && withNull.standardDeviation.isNull());
    r = Samples(QList<MeasurementValue>{{QVariant(), 1}, {QVariant(), 1}}, Parameter(0, 2));
    for (const char* c : {"Srednia", "Odchylenie", "Rozstep", "Dodat", "Mediana", "Mini", "Maxi", "W1"})
        EXPECT_TRUE((*r)[0][c].isNull()) << c;
    // Missing control lines or constants leave their limits null; the lines go on as stored.
    Record p = Parameter(0, 2);
    p.set("DLK", QVariant());
    r = Samples(Values({1, 2}, 2), p);
    EXPECT_TRUE((*r)[0]["GR"].isNull() && (*r)[0]["DS"].isNull() && (*r)[0]["DX"].isNull() && (*r)[0]["GX"].toDouble() == 12.5);
    p.set("GLK", QStringLiteral("12,5"));
    EXPECT_EQ((*Samples(Values({1, 2}, 2), p))[0]["GX"], QVariant(QStringLiteral("12,5")));
    SizeConstantTable c = Constants();
    c[2].S1 = QVariant();
    r = Samples(Values({1, 2}, 2), Parameter(0, 2), Program(), c);
    EXPECT_DOUBLE_EQ((*r)[0]["GR"].toDouble(), 2.2 / std::sqrt(2.0));
    EXPECT_TRUE((*r)[0]["GS"].isNull());
}

// Probka 1 .. 40 is a sample size; anything else refuses both card kinds.
TEST(SampleSize, OneToFortyAtTheirBoundaries) {
    for (const QVariant& probka : {QVariant(0), QVariant(41), QVariant(-3), QVariant(), QVariant(1), QVariant(40)}) {
        SCOPED_TRACE(probka.toString().toStdString());
        const bool usable = probka.isValid() && probka.toInt() >= 1 && probka.toInt() <= 40;
        EXPECT_EQ(SampleSize(Parameter(0, probka)), usable ? probka.toInt() : 0);
        const auto a = Samples(Values({1, 2, 3}), Parameter(0, probka));
        EXPECT_EQ(std::pair(a.ok(), WypX(Values({1, 2, 3}), Parameter(1, probka), Program(), Constants(), Manual(), {}).ok()), std::pair(usable, usable));
        const QString says = QStringLiteral("Liczność próbki parametru (Probka = %1) jest spoza zakresu od 1 do 40.")
                                 .arg(probka.isValid() ? probka.toString() : QStringLiteral("brak"));
        EXPECT_EQ(a.ok() ? QString() : a.error().section(QChar(u'\r'), 0, 0), usable ? QString() : says);
    }
}

TEST(Timestamp, IntervalCarriesOverMinutesHoursAndDays) {
    const struct {
        const char *date, *time;
        QVariant czasP;
        qint64 steps;
        const char* expected; // "yyyy-mm-dd hh:mm", empty: refused
    } cases[] = {
        {"2024-05-06", "10:30", 30, 1, "2024-05-06 11:00"}, // exactly 60 minutes
        {"2024-05-06", "10:29", 30, 1, "2024-05-06 10:59"},
        {"2024-05-06", "10:00", 45, 3, "2024-05-06 12:15"},
        {"2024-05-06", "23:30", 30, 1, "2024-05-07 00:00"}, // exactly 24 hours
        {"2024-12-31", "23:50", 30, 1, "2025-01-01 00:20"},
        {"2024-02-28", "23:00", 1500, 1, "2024-03-01 00:00"}, // a day and more, over a leap day
        {"2024-5-6", " 8:05", QVariant(), 4, "2024-05-06 08:05"},
        {"2024-05-06", ":05", 0, 4, "2024-05-06 00:05"}, // no hour: hour 0
        {"2024-05-06", "08:05", -15, 4, "2024-05-06 08:05"},
        {"2024-02-30", "10:00", 0, 0, ""},
        {"2024-05-06", "1000", 0, 0, ""},
        {"2024-05-06", "24:00", 0, 0, ""},
        {"2024-05-06", "10:60", 0, 0, ""},
        {"2024-05-06", "10:7.5", 0, 0, ""},
        {"", "10:00", 0, 0, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.date) + " " + c.time);
        const auto ts = ComputeTimestamp(c.date, c.time, c.czasP, c.steps);
        EXPECT_EQ(ts ? ts->date + " " + ts->time : QString(), QString::fromLatin1(c.expected));
        const auto samples = Samples(Values({1, 2}), Parameter(0, 2), Program(), Constants(), Manual(c.date, c.time));
        EXPECT_EQ(samples.ok(), *c.expected != '\0');
    }
    // Individual values step by the preceding entry's section, samples by their group.
    auto r = WypX({{1.0, 3}, {2.0, 4}}, Parameter(1, 5), Program(30), Constants(), Manual("2024-05-06", "10:00"), {});
    EXPECT_EQ((*r)[1]["Czas"].toString(), "11:30");
    r = Samples(Values({1, 2, 3, 4, 5, 6}), Parameter(0, 2), Program(15), Constants(), Manual("2024-05-06", "08:50"));
    EXPECT_TRUE(r->size() == 3 && (*r)[2]["Czas"].toString() == "09:20");
}
