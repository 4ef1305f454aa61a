#include "SaveTestSupport.h"

#include "db/DbSession.h"
#include "db/StoredCards.h"
#include "evaluation/CardSaver.h"
#include "platform/WorkingFolder.h"

#include <QDateTime>

namespace kartovo::test {
namespace {

QList<MeasurementValue> Values(std::initializer_list<double> values, int firstSection = 1) {
    QList<MeasurementValue> list;
    int section = firstSection;
    for (double v : values) list.append({QVariant(v), section++});
    return list;
}

SampleIdentification Manual(const QString& date, const QString& time, const QStringList& fields,
                            const QString& notes = {}) {
    SampleIdentification id;
    id.date = date;
    id.time = time;
    id.descriptive = fields;
    id.notes = notes;
    return id;
}

class CardSaver : public SaveDatabase {
protected:
    SaveInput input(int parameterId, const QList<MeasurementValue>& values, const SampleIdentification& id,
                    const std::function<void(Record&)>& change = {}) {
        SaveInput in;
        in.measurements = values;
        Record row = parameter(parameterId);
        if (change) change(row);
        in.parameter = row;
        in.program = program(in.parameter.IDP.toInt());
        in.constants = base.SampleConstants;
        in.identification = id;
        return in;
    }
    // An individual-value parameter of its own with no stored rows yet.
    void addIndividualParameter(int id, int n) {
        Record p = parameter(2);
        p.set(QStringLiteral("ID"), id);
        p.set(QStringLiteral("Probka"), n);
        ASSERT_TRUE(conn().append(QStringLiteral("SPC_Setap"), p)) << conn().lastError().description.toStdString();
    }
    bool addStored(int parameterId, const QString& date, const QString& time, double w1) {
        Record r;
        r.set(QStringLiteral("IDP"), 1);
        r.set(QStringLiteral("IDPK"), parameterId);
        r.set(QStringLiteral("Data"), date);
        r.set(QStringLiteral("Czas"), time);
        r.set(QStringLiteral("W1"), w1);
        return conn().append(QStringLiteral("SPC_Baza"), r);
    }
    const QStringList ids{QStringLiteral("Jan Kowalski"), QStringLiteral("II"), QStringLiteral("P-2048")};
};

TEST_P(CardSaver, SampleCardStoresEveryColumnOfItsCompleteGroups) {
    const Record setapBefore = parameter(1);
    const SaveInput in = input(1, Values({20.01, 19.98, 20.02, 20.00, 19.99, 20.03, 20.00, 19.97, 20.01, 20.02,
                                          20.05, 19.95, 20.00}),
                               Manual(QStringLiteral("2024-05-06"), QStringLiteral("08:00"), ids,
                                      QStringLiteral("Nowa partia")));
    const SaveResult r = SaveCard(conn(), in);
    ASSERT_EQ(r.outcome, SaveOutcome::Stored) << r.error.toStdString();
    EXPECT_EQ(r.rowsStored, 2); // 13 values, n = 5: the last three are no sample

    const QList<Record> stored = storedRows(1);
    ASSERT_EQ(stored.size(), 4); // two demonstration rows before
    const EvaluationResult expected =
        EvaluateCard(in.measurements, in.parameter, in.program, in.constants, *in.identification, {});
    ASSERT_EQ(expected->size(), 2);
    const QStringList columns = conn().columns(QStringLiteral("SPC_Baza"));
    ExpectStoredRow((*expected)[0], stored[2], columns);
    ExpectStoredRow((*expected)[1], stored[3], columns);

    // The program samples every 30 minutes.
    EXPECT_EQ(stored[2].value(QStringLiteral("Czas")).toString(), QStringLiteral("08:00"));
    EXPECT_EQ(stored[3].value(QStringLiteral("Czas")).toString(), QStringLiteral("08:30"));
    EXPECT_TRUE(SameValue(20.03, stored[3].value(QStringLiteral("W1"))));
    EXPECT_TRUE(SameValue(5, stored[3].value(QStringLiteral("Lp"))));
    EXPECT_TRUE(SameValue(QStringLiteral("Nowa partia"), stored[2].value(QStringLiteral("PomiaryNL"))));
    EXPECT_TRUE(SameValue(QStringLiteral("P-2048"), stored[2].value(QStringLiteral("ID3"))));

    // The parameter's definition is left alone.
    const Record setapAfter = parameter(1);
    for (const QString& c : setapBefore.columns())
        EXPECT_TRUE(SameValue(setapBefore.value(c), setapAfter.value(c))) << c.toStdString();
}

// The window of an individual-value card reaches back over the rows stored
// before, of this parameter only, in time order rather than insertion order.
TEST_P(CardSaver, IndividualValuesLookBackAcrossSavesInTimeOrder) {
    addIndividualParameter(20, 3);
    ASSERT_TRUE(addStored(2, QStringLiteral("2024-05-06"), QStringLiteral("09:00"), 500.0)); // another parameter
    ASSERT_TRUE(addStored(20, QStringLiteral("2024-05-02"), QStringLiteral("06:00"), 10.0)); // latest in time
    ASSERT_TRUE(addStored(20, QStringLiteral("2024-05-01"), QStringLiteral("06:00"), 20.0)); // latest key
    SaveResult r = SaveCard(conn(), input(20, Values({1.0, 2.0}), Manual(QStringLiteral("2024-05-06"), QStringLiteral("10:00"), ids)));
    ASSERT_EQ(r.outcome, SaveOutcome::Stored) << r.error.toStdString();
    r = SaveCard(conn(), input(20, Values({4.0}), Manual(QStringLiteral("2024-05-06"), QStringLiteral("11:00"), ids)));
    ASSERT_EQ(r.outcome, SaveOutcome::Stored) << r.error.toStdString();

    const QList<Record> stored = storedRows(20);
    ASSERT_EQ(stored.size(), 5);
    // Windows: {1, 10, 20}, {2, 1, 10}, {4, 2, 1}.
    const double means[] = {static_cast<float>(31.0f / 3.0f), static_cast<float>(13.0f / 3.0f),
                            static_cast<float>(7.0f / 3.0f)};
    const double ranges[] = {19.0, 9.0, 3.0};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(SameValue(means[i], stored[i + 2].value(QStringLiteral("Srednia"))));
        EXPECT_TRUE(SameValue(ranges[i], stored[i + 2].value(QStringLiteral("Rozstep"))));
        EXPECT_TRUE(SameValue(1, stored[i + 2].value(QStringLiteral("Lp"))));
        EXPECT_TRUE(stored[i + 2].isNull(QStringLiteral("W2")));
    }
}

TEST_P(CardSaver, FailingSecondRowLeavesNothingOfTheCard) {
    addIndividualParameter(22, 2);
    // The database itself refuses the second row of the card.
    if (isServer())
        ASSERT_TRUE(db->exec(QStringLiteral("ALTER TABLE SPC_Baza ADD CONSTRAINT w1_ponizej_500 CHECK (W1 < 500)")));
    else
        ASSERT_TRUE(db->exec(QStringLiteral("CREATE TRIGGER w1_ponizej_500 BEFORE INSERT ON SPC_Baza WHEN NEW.W1 >= 500 "
                                            "BEGIN SELECT RAISE(ABORT, 'W1 ponad limit'); END")));
    const int before = db->count(QStringLiteral("SPC_Baza"));
    const SampleIdentification id = Manual(QStringLiteral("2024-05-06"), QStringLiteral("10:00"), ids);

    const SaveResult failed = SaveCard(conn(), input(22, Values({1.0, 999.0, 3.0}), id));
    EXPECT_EQ(failed.outcome, SaveOutcome::Failed);
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(failed.rowsStored, 0);
    // The operator reads the database's own words.
    EXPECT_TRUE(failed.error.contains(isServer() ? QStringLiteral("w1_ponizej_500") : QStringLiteral("W1 ponad limit"),
                                      Qt::CaseInsensitive))
        << failed.error.toStdString();
    EXPECT_TRUE(SaveFailureMessage(failed).contains(failed.error));
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before);
    EXPECT_TRUE(storedRows(22).isEmpty());

    // The same connection stores the corrected card afterwards, whole.
    const SaveResult again = SaveCard(conn(), input(22, Values({1.0, 2.0, 3.0}), id));
    ASSERT_EQ(again.outcome, SaveOutcome::Stored) << again.error.toStdString();
    EXPECT_EQ(storedRows(22).size(), 3);
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before + 3);
}

TEST_P(CardSaver, OlderTableWithoutSomeColumnsStoresTheRest) {
    const QStringList missing{QStringLiteral("Dodat"), QStringLiteral("Mediana"), QStringLiteral("PomiaryNL"),
                              QStringLiteral("IDPrz"), QStringLiteral("IDNot"), QStringLiteral("W40"),
                              QStringLiteral("D1")};
    for (const QString& c : missing)
        ASSERT_TRUE(db->exec(QStringLiteral("ALTER TABLE SPC_Baza DROP COLUMN %1").arg(c)))
            << conn().lastError().description.toStdString();
    // A fresh connection, as the program has when it starts on such a database.
    DbConnection older;
    ASSERT_TRUE(older.open(db->config())) << older.lastError().description.toStdString();
    const QStringList columns = older.columns(QStringLiteral("SPC_Baza"));
    for (const QString& c : missing) EXPECT_FALSE(older.hasColumn(QStringLiteral("SPC_Baza"), c));

    SaveInput in = input(2, Values({120.2, 119.8}), Manual(QStringLiteral("2024-05-06"), QStringLiteral("08:00"), ids,
                                                           QStringLiteral("bez kolumny")));
    const SaveResult r = SaveCard(older, in);
    ASSERT_EQ(r.outcome, SaveOutcome::Stored) << r.error.toStdString();
    EXPECT_EQ(r.rowsStored, 2);

    const QList<Record> stored = storedRows(2, &older);
    ASSERT_EQ(stored.size(), 4);
    const EvaluationResult expected = EvaluateCard(in.measurements, in.parameter, in.program, in.constants,
                                                   *in.identification, {120.1, 119.9});
    ASSERT_EQ(expected->size(), 2);
    ExpectStoredRow((*expected)[0], stored[2], columns);
    ExpectStoredRow((*expected)[1], stored[3], columns);
}

// A column the card's sample needs is never dropped quietly: the card is
// refused with the column's name and nothing is stored.
TEST_P(CardSaver, MissingNeededColumnRefusesTheCardByName) {
    const SampleIdentification id = Manual(QStringLiteral("2024-05-06"), QStringLiteral("08:00"), ids);
    for (const QString& column : {QStringLiteral("W5"), QStringLiteral("Srednia"), QStringLiteral("ID2")}) {
        SCOPED_TRACE(column.toStdString());
        ScratchDatabase scratch(GetParam());
        ASSERT_TRUE(scratch.ok() && scratch.createSchema());
        ASSERT_TRUE(scratch.conn().beginTransaction() && FillDemoData(scratch.conn()) && scratch.conn().commit());
        ASSERT_TRUE(scratch.exec(QStringLiteral("ALTER TABLE SPC_Baza DROP COLUMN %1").arg(column)));
        DbConnection older;
        ASSERT_TRUE(older.open(scratch.config()));
        const int before = scratch.count(QStringLiteral("SPC_Baza"));
        const SaveResult r = SaveCard(older, input(1, Values({1, 2, 3, 4, 5}), id));
        EXPECT_EQ(r.outcome, SaveOutcome::Refused);
        EXPECT_TRUE(r.error.contains(QStringLiteral("kolumny %1 ").arg(column))) << r.error.toStdString();
        EXPECT_EQ(scratch.count(QStringLiteral("SPC_Baza")), before);
    }
}

// The record of stored cards: a second station saving the same card stores
// nothing and is told so; the operator's "store again" stores the rows once
// more without a second record row.
TEST_P(CardSaver, SameCardIsStoredOnceAcrossStationsUnlessStoredAgain) {
    const QByteArray hash = QByteArray(64, 'a');
    SaveInput in = input(1, Values({1, 2, 3, 4, 5}), Manual(QStringLiteral("2024-05-06"), QStringLiteral("08:00"), ids));
    in.cardHash = hash;
    in.cardName = QStringLiteral("karta.png");
    EXPECT_FALSE(IsCardStored(conn(), hash));
    const SaveResult first = SaveCard(conn(), in);
    ASSERT_EQ(first.outcome, SaveOutcome::Stored) << first.error.toStdString();
    EXPECT_TRUE(first.recorded);

    DbConnection station2;
    ASSERT_TRUE(station2.open(db->config()));
    EXPECT_TRUE(IsCardStored(station2, hash));
    const int before = db->count(QStringLiteral("SPC_Baza"));
    const SaveResult second = SaveCard(station2, in);
    EXPECT_EQ(second.outcome, SaveOutcome::AlreadyStored);
    EXPECT_FALSE(second.ok());
    EXPECT_TRUE(SaveFailureMessage(second).contains(QStringLiteral("już zapisana"))) << SaveFailureMessage(second).toStdString();
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before);

    in.storeAgain = true;
    const SaveResult again = SaveCard(station2, in);
    ASSERT_EQ(again.outcome, SaveOutcome::Stored) << again.error.toStdString();
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before + 1);
    const Recordset record = conn().query(QStringLiteral("Select * from [Kartovo_ZapisaneKarty]"));
    ASSERT_EQ(record.recordCount(), 1);
    EXPECT_EQ(record.rows().first().value(QStringLiteral("Plik")).toString(), QStringLiteral("karta.png"));
}

// A station whose database login may not create tables: the rows are stored
// all the same and the file journal of the station stands in for the record.
TEST_P(CardSaver, WithoutRightsToCreateTheRecordTheFileJournalStandsIn) {
    if (!isPg()) GTEST_SKIP() << "SQLite has no rights to withhold";
    const QString role = QStringLiteral("st_") + db->name();
    for (const QString& sql : {QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD 'stanowisko'"),
                               QStringLiteral("GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA public TO %1"),
                               QStringLiteral("GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO %1"),
                               QStringLiteral("REVOKE CREATE ON SCHEMA public FROM PUBLIC")})
        ASSERT_TRUE(db->exec(sql.arg(role))) << conn().lastError().description.toStdString();
    SetProgramFolder(db->folder());
    {
        DatabaseConfig c = db->config();
        c.odbcUser = role;
        c.odbcPassword = QStringLiteral("stanowisko");
        DbConnection station;
        ASSERT_TRUE(station.open(c)) << station.lastError().description.toStdString();
        SaveInput in =
            input(1, Values({1, 2, 3, 4, 5}), Manual(QStringLiteral("2024-05-06"), QStringLiteral("08:00"), ids));
        in.cardHash = QByteArray(64, 'b');
        const SaveResult r = SaveCard(station, in);
        EXPECT_EQ(r.outcome, SaveOutcome::Stored) << r.error.toStdString();
        EXPECT_FALSE(r.recorded);
        EXPECT_EQ(PrepareStoredCards(station), StoredCardsRecord::FileJournal);
        EXPECT_FALSE(IsCardStored(station, in.cardHash));
        ASSERT_TRUE(AppendFileJournal(in.cardHash, QStringLiteral("karta.png"), QDateTime::currentDateTime()));
        EXPECT_TRUE(IsCardStored(station, in.cardHash));
    }
    SetProgramFolder({});
    EXPECT_EQ(storedRows(1).size(), 3);
    db->exec(QStringLiteral("DROP OWNED BY %1").arg(role));
    db->exec(QStringLiteral("DROP ROLE %1").arg(role));
}

// The run's connection lost (closed, or its server session killed) is opened
// again by the next save, which then stores the card.
TEST_P(CardSaver, SaveAfterALostConnectionReconnectsFirst) {
    DbSession& session = DbSession::instance();
    ASSERT_TRUE(session.open(db->config()));
    if (isPg())
        ASSERT_TRUE(conn().execute(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                                                  "datname = current_database() AND pid <> pg_backend_pid()")));
    else
        session.conn().close();
    const SaveResult r =
        SaveCard(session.conn(), input(1, Values({1, 2, 3, 4, 5}), Manual(QStringLiteral("2024-05-06"), QStringLiteral("08:00"), ids)));
    EXPECT_EQ(r.outcome, SaveOutcome::Stored) << r.error.toStdString();
    EXPECT_EQ(session.state(), DbSession::State::Connected);
    EXPECT_EQ(storedRows(1).size(), 3);
    session.reset();
}

// Refused and empty cards leave SPC_Baza as it was: a sample size outside
// 1 .. 40 on either card kind, an alternative card, no marks, less than a sample.
TEST_P(CardSaver, CardsThatStoreNothing) {
    const int before = db->count(QStringLiteral("SPC_Baza"));
    const SampleIdentification id = Manual(QStringLiteral("2024-05-06"), QStringLiteral("08:00"), ids);
    const auto set = [](int probka, int type) {
        return [=](Record& p) {
            p.set(QStringLiteral("Probka"), probka);
            p.set(QStringLiteral("TypKarty"), type);
        };
    };
    const std::pair<SaveInput, SaveOutcome> cases[] = {
        {input(1, Values({1, 2, 3, 4, 5}), id, set(0, 0)), SaveOutcome::Refused},
        {input(1, Values({1, 2, 3, 4, 5}), id, set(41, 0)), SaveOutcome::Refused},
        {input(1, Values({1, 2, 3, 4, 5}), id, set(41, 1)), SaveOutcome::Refused},
        {input(4, Values({1, 2, 3}), id), SaveOutcome::NothingToStore},
        {input(2, {}, id), SaveOutcome::NothingToStore},
        {input(1, Values({1, 2, 3, 4}), id), SaveOutcome::NothingToStore},
    };
    for (const auto& [in, outcome] : cases) {
        const SaveResult r = SaveCard(conn(), in);
        EXPECT_EQ(r.outcome, outcome);
        EXPECT_EQ(r.rowsStored, 0);
        EXPECT_EQ(r.ok(), outcome == SaveOutcome::NothingToStore);
        if (outcome == SaveOutcome::Refused) {
            EXPECT_TRUE(r.error.contains(QStringLiteral("spoza zakresu od 1 do 40"))) << r.error.toStdString();
            EXPECT_EQ(SaveFailureMessage(r), r.error);
        }
    }
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before);
}

TEST_P(CardSaver, AutomaticModeStampsNowAndDashes) {
    SaveInput in = input(1, Values({1, 2, 3, 4, 5}), {});
    in.identification.reset();
    in.descriptiveCount = 3;
    const QDateTime before = QDateTime::currentDateTime();
    const SaveResult r = SaveCard(conn(), in);
    const QDateTime after = QDateTime::currentDateTime();
    ASSERT_EQ(r.outcome, SaveOutcome::Stored) << r.error.toStdString();
    const Record row = storedRows(1).last();
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(row.value(QStringLiteral("ID%1").arg(i)).toString(), QStringLiteral("-"));
    EXPECT_TRUE(row.isNull(QStringLiteral("ID4")));
    EXPECT_TRUE(row.isNull(QStringLiteral("PomiaryNL")));
    const QString stamp = row.value(QStringLiteral("Data")).toString() + u' ' + row.value(QStringLiteral("Czas")).toString();
    const QString f = QStringLiteral("yyyy-MM-dd HH:mm");
    EXPECT_TRUE(stamp == before.toString(f) || stamp == after.toString(f)) << stamp.toStdString();
}

TEST_P(CardSaver, UnreadableTableIsReportedNotSwallowed) {
    ASSERT_TRUE(db->exec(QStringLiteral("DROP TABLE SPC_Baza")));
    DbConnection fresh;
    ASSERT_TRUE(fresh.open(db->config()));
    SaveInput in = input(1, Values({1, 2, 3, 4, 5}), Manual(QStringLiteral("2024-05-06"), QStringLiteral("08:00"), ids));
    const SaveResult r = SaveCard(fresh, in);
    EXPECT_EQ(r.outcome, SaveOutcome::Failed);
    EXPECT_FALSE(r.error.isEmpty());
}

KARTOVO_ON_BOTH_SYSTEMS(CardSaver);

} // namespace
} // namespace kartovo::test
