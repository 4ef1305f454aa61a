// What SPC_Baza and Kartovo_ZapisaneKarty hold after a card is saved, by the
// saver and through the identification window.
#include "db/BaseSettings.h"
#include "db/DbSession.h"
#include "db/DbTestSupport.h"
#include "db/StoredCards.h"
#include "evaluation/CardSaver.h"
#include "evaluation/IdentificationLists.h"
#include "evaluation/SampleRows.h"
#include "evaluation/ui/IDDanych.h"
#include "platform/Variants.h"
#include "platform/WorkingFolder.h"

#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cmath>

namespace kartovo::test {
namespace {

// Every column but ID: nulls alike, texts exactly, numbers (and yes/no, kept as 1/0 by servers) by value.
inline void ExpectStoredRow(const Record& expected, const Record& stored, const QStringList& tableColumns) {
    for (const QString& c : tableColumns) {
        if (c.compare("ID", Qt::CaseInsensitive) == 0) continue;
        const QVariant e = expected.value(c), a = stored.value(c);
        bool same = e.isNull() == a.isNull();
        if (same && !e.isNull())
            same = e.typeId() == QMetaType::QString
                       ? a.toString() == e.toString()
                       : std::abs(ToNumber(e) - ToNumber(a)) <= 1e-9 * std::max(1.0, std::abs(ToNumber(e)));
        EXPECT_TRUE(same) << "column " << c.toStdString() << ": expected " << e.toString().toStdString()
                          << (e.isNull() ? "null" : "") << ", stored " << a.toString().toStdString()
                          << (a.isNull() ? "null" : "");
    }
}

QList<MeasurementValue> Values(std::initializer_list<double> values) {
    QList<MeasurementValue> list;
    for (double v : values) list.append({QVariant(v), static_cast<int>(list.size()) + 1});
    return list;
}

SampleIdentification Manual(const QString& time = "08:00", const QString& notes = {}) {
    return {"2024-05-06", time, {"Jan Kowalski", "II", "P-2048"}, notes};
}

// Scratch database with the demonstration definitions and its base settings.
class CardSaver : public OnBothSystems {
protected:
    void SetUp() override {
        OnBothSystems::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(db->createSchema(true) && LoadBaseSettings(conn(), base) == BaseSettingsOutcome::Loaded) << lastError();
    }
    Record row(const QString& table, int id) {
        const Recordset rs = conn().query(QStringLiteral("Select * from [%1] Where ID=%2").arg(table, QString::number(id)));
        return rs.isEmpty() ? Record() : rs.rows().first();
    }
    Record parameter(int id) { return row("SPC_Setap", id); }
    Record program(int id) { return row("SPC_Programy", id); }
    QList<Record> storedRows(int parameterId, DbConnection* other = nullptr) {
        bool ok = false;
        DbConnection& c = other ? *other : conn();
        const Recordset rs = c.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=%1 Order by ID").arg(parameterId), &ok);
        EXPECT_TRUE(ok) << c.lastError().description.toStdString();
        return rs.rows();
    }
    SaveInput input(int parameterId, const QList<MeasurementValue>& values, const SampleIdentification& id = Manual(),
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
        p.set("ID", id);
        p.set("Probka", n);
        ASSERT_TRUE(conn().append("SPC_Setap", p)) << lastError();
    }
    int stored() { return db->count("SPC_Baza"); }
    // The stored rows from `first` on are those the evaluation gives.
    void expectEvaluated(const SaveInput& in, const QList<QVariant>& previous, DbConnection& c, int first) {
        const QList<Record> rows = storedRows(in.parameter.ID.toInt(), &c);
        const EvaluationResult expected =
            EvaluateCard(in.measurements, in.parameter, in.program, in.constants, *in.identification, previous);
        ASSERT_EQ(rows.size(), first + expected->size());
        for (int i = 0; i < expected->size(); ++i) ExpectStoredRow((*expected)[i], rows[first + i], c.columns("SPC_Baza"));
    }

    BaseSettings base;
};
KARTOVO_ON_BOTH_SYSTEMS(CardSaver);

TEST_P(CardSaver, SampleCardStoresEveryColumnOfItsCompleteGroups) {
    const SaveInput in = input(1, Values({20.01, 19.98, 20.02, 20.00, 19.99, 20.03, 20.00, 19.97, 20.01, 20.02,
                                          20.05, 19.95, 20.00}), Manual("08:00", "Nowa partia"));
    const SaveResult r = SaveCard(conn(), in);
    ASSERT_TRUE(r.outcome == SaveOutcome::Stored && r.rowsStored == 2) << r.error.toStdString(); // 13 values, n = 5: three left
    expectEvaluated(in, {}, conn(), 2); // two demonstration rows before
    // The program's own interval (30 minutes) and the card's values reach the rows.
    EXPECT_EQ(storedRows(1)[3].value("Czas").toString(), "08:30");
    EXPECT_DOUBLE_EQ(storedRows(1)[3].value("W1").toDouble(), 20.03);
}

// The window reaches back over this parameter's stored rows in time order, not insertion order.
TEST_P(CardSaver, IndividualValuesLookBackAcrossSavesInTimeOrder) {
    addIndividualParameter(20, 3);
    const std::tuple<int, const char*, double> earlier[] = {{2, "2024-05-06", 500.0}, {20, "2024-05-02", 10.0},
                                                           {20, "2024-05-01", 20.0}};
    for (const auto& [parameter, date, w1] : earlier)
        ASSERT_TRUE(conn().append("SPC_Baza", Record({"IDPK", "Data", "Czas", "W1"}, {parameter, date, "06:00", w1})));
    EXPECT_EQ(SaveCard(conn(), input(20, Values({1.0, 2.0}), Manual("10:00"))).outcome, SaveOutcome::Stored);
    EXPECT_EQ(SaveCard(conn(), input(20, Values({4.0}), Manual("11:00"))).outcome, SaveOutcome::Stored);
    const QList<Record> rows = storedRows(20);
    ASSERT_EQ(rows.size(), 5);
    // Windows: {1, 10, 20}, {2, 1, 10}, {4, 2, 1}.
    const std::pair<double, double> meanAndRange[] = {{31.0 / 3, 19.0}, {13.0 / 3, 9.0}, {7.0 / 3, 3.0}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(rows[i + 2].value("Srednia").toDouble(), meanAndRange[i].first, 1e-5);
        EXPECT_DOUBLE_EQ(rows[i + 2].value("Rozstep").toDouble(), meanAndRange[i].second);
        EXPECT_TRUE(rows[i + 2].value("Lp").toInt() == 1 && rows[i + 2].isNull("W2"));
    }
}

TEST_P(CardSaver, FailingSecondRowLeavesNothingOfTheCard) {
    addIndividualParameter(22, 2);
    // The database itself refuses the second row of the card.
    ASSERT_TRUE(db->exec(isServer() ? "ALTER TABLE SPC_Baza ADD CONSTRAINT w1_ponizej_500 CHECK (W1 < 500)"
                                    : "CREATE TRIGGER w1_ponizej_500 BEFORE INSERT ON SPC_Baza WHEN NEW.W1 >= 500 "
                                      "BEGIN SELECT RAISE(ABORT, 'W1 ponad limit'); END"));
    const int before = stored();
    const SaveResult failed = SaveCard(conn(), input(22, Values({1.0, 999.0, 3.0})));
    EXPECT_EQ(std::tuple(failed.outcome, failed.ok(), failed.rowsStored, failed.connectionLost), std::tuple(SaveOutcome::Failed, false, 0, false));
    // The operator reads the database's own words.
    EXPECT_TRUE(failed.error.contains(isServer() ? "w1_ponizej_500" : "W1 ponad limit", Qt::CaseInsensitive))
        << failed.error.toStdString();
    EXPECT_TRUE(SaveFailureMessage(failed).contains(failed.error) && stored() == before);
    // The record row refused for another reason than its key: a failure, not "already stored".
    ASSERT_EQ(PrepareStoredCards(conn()), StoredCardsRecord::Table);
    ASSERT_TRUE(db->exec(isServer() ? "ALTER TABLE Kartovo_ZapisaneKarty ADD CONSTRAINT bez_odmowy CHECK (Plik <> 'odmowa.png')"
                                    : "CREATE TRIGGER bez_odmowy BEFORE INSERT ON Kartovo_ZapisaneKarty WHEN "
                                      "NEW.Plik = 'odmowa.png' BEGIN SELECT RAISE(ABORT, 'odmowa'); END"));
    SaveInput refused = input(22, Values({1.0, 2.0, 3.0}));
    refused.cardHash = QByteArray(64, 'b');
    refused.cardName = "odmowa.png";
    const SaveResult recordRefused = SaveCard(conn(), refused);
    EXPECT_EQ(std::tuple(recordRefused.outcome, recordRefused.connectionLost, stored()), std::tuple(SaveOutcome::Failed, false, before));
    if (!isServer()) { // a commit refused by a deferred key is rolled back, not left open
        ASSERT_TRUE(conn().execute("PRAGMA foreign_keys = ON") && db->exec("CREATE TABLE Rodzic (ID INTEGER PRIMARY KEY)") &&
                    db->exec("CREATE TABLE Dziecko (R INTEGER REFERENCES Rodzic (ID) DEFERRABLE INITIALLY DEFERRED)") &&
                    db->exec("CREATE TRIGGER do_dziecka AFTER INSERT ON SPC_Baza BEGIN INSERT INTO Dziecko VALUES (NEW.IDPK); END"));
        ASSERT_TRUE(SaveCard(conn(), input(22, Values({1.0, 2.0, 3.0}))).outcome == SaveOutcome::Failed && db->exec("DROP TRIGGER do_dziecka"));
    }
    // The same connection stores the corrected card afterwards, whole.
    const SaveResult again = SaveCard(conn(), input(22, Values({1.0, 2.0, 3.0})));
    EXPECT_TRUE(again.outcome == SaveOutcome::Stored && stored() == before + 3) << again.error.toStdString();
}

// A fresh connection to an older table stores the columns it has; a column the sample needs
// refuses the card by name; a table that cannot be read is a failure.
TEST_P(CardSaver, OlderTablesStoreWhatTheyCanAndRefuseWhatTheyMust) {
    for (const char* c : {"Dodat", "Mediana", "PomiaryNL", "IDPrz", "IDNot", "W40", "D1"})
        ASSERT_TRUE(db->exec(QStringLiteral("ALTER TABLE SPC_Baza DROP COLUMN %1").arg(c))) << lastError();
    DbConnection older;
    ASSERT_TRUE(older.open(db->config()) && !older.hasColumn("SPC_Baza", "Mediana")) << older.lastError().description.toStdString();
    SaveInput in = input(2, Values({120.2, 119.8}), Manual("08:00", "bez kolumny"));
    const SaveResult r = SaveCard(older, in);
    ASSERT_TRUE(r.outcome == SaveOutcome::Stored && r.rowsStored == 2) << r.error.toStdString();
    expectEvaluated(in, {120.1, 119.9}, older, 2);
    DbConnection fresh; // opened again on each: nothing of the database before is kept
    for (const char* column : {"W1", "W5", "Srednia", "ID1", "ID3", ""}) {
        SCOPED_TRACE(column);
        ScratchDatabase scratch(GetParam());
        ASSERT_TRUE(scratch.ok() && scratch.createSchema(true));
        ASSERT_TRUE(scratch.exec(*column ? QStringLiteral("ALTER TABLE SPC_Baza DROP COLUMN %1").arg(column)
                                         : QStringLiteral("DROP TABLE SPC_Baza")));
        ASSERT_TRUE(fresh.open(scratch.config()));
        const int before = scratch.count("SPC_Baza");
        SaveCard(fresh, input(1, Values({1, 2, 3, 4, 5}))); // the refusal leaves no transaction open
        const SaveResult refused = SaveCard(fresh, input(1, Values({1, 2, 3, 4, 5})));
        EXPECT_EQ(refused.outcome, *column ? SaveOutcome::Refused : SaveOutcome::Failed);
        EXPECT_TRUE(refused.error.contains(*column ? QStringLiteral("kolumny %1 ").arg(column) : QStringLiteral("SPC_Baza"),
                                           Qt::CaseInsensitive)) << refused.error.toStdString();
        EXPECT_EQ(scratch.count("SPC_Baza"), before);
    }
}

// "Store again" stores the rows once more without a second record row.
TEST_P(CardSaver, SameCardIsStoredOnceAcrossStationsUnlessStoredAgain) {
    SaveInput in = input(1, Values({1, 2, 3, 4, 5}));
    in.cardHash = QByteArray(64, 'a');
    in.cardName = "karta.png";
    EXPECT_FALSE(IsCardStored(conn(), in.cardHash) || IsCardStored(conn(), {})) << "an empty hash is no card's";
    const SaveResult first = SaveCard(conn(), in);
    ASSERT_TRUE(first.outcome == SaveOutcome::Stored && first.recorded) << first.error.toStdString();
    DbConnection station2;
    ASSERT_TRUE(station2.open(db->config()) && IsCardStored(station2, in.cardHash));
    const int before = stored();
    static int warnings = 0; // the refused record row is the expected answer, no warning
    const QtMessageHandler was = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& c, const QString&) { warnings += type == QtWarningMsg && !qstrcmp(c.category, "kartovo.db"); });
    const SaveResult second = SaveCard(station2, in);
    qInstallMessageHandler(was);
    EXPECT_EQ(std::tuple(second.outcome, warnings, stored()), std::tuple(SaveOutcome::AlreadyStored, 0, before));
    EXPECT_TRUE(!second.ok() && SaveFailureMessage(second).contains("już zapisana"));
    in.storeAgain = true;
    const SaveResult again = SaveCard(station2, in);
    EXPECT_EQ(std::tuple(again.outcome, again.recorded, stored()), std::tuple(SaveOutcome::Stored, false, before + 1));
    const Recordset record = conn().query("Select * from [Kartovo_ZapisaneKarty]");
    EXPECT_EQ(std::pair(record.recordCount(), record.rows().value(0).value("Plik").toString()), std::pair(1, QString("karta.png")));
}

// A login that may not create tables: the rows are stored, the station's file journal records.
TEST_P(CardSaver, WithoutRightsToCreateTheRecordTheFileJournalStandsIn) {
    if (!isPg()) GTEST_SKIP() << "only the PostgreSQL server withholds rights here";
    const QString role = QStringLiteral("st_") + db->name();
    for (const char* sql : {"CREATE ROLE %1 LOGIN PASSWORD 'stanowisko'", "GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA public TO %1",
                            "GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO %1", "REVOKE CREATE ON SCHEMA public FROM PUBLIC"})
        ASSERT_TRUE(db->exec(QString::fromLatin1(sql).arg(role))) << lastError();
    SetProgramFolder(db->folder());
    {
        DatabaseConfig c = db->config();
        c.odbcUser = role;
        c.odbcPassword = "stanowisko";
        DbConnection station;
        ASSERT_TRUE(station.open(c)) << station.lastError().description.toStdString();
        SaveInput in = input(1, Values({1, 2, 3, 4, 5}));
        in.cardHash = QByteArray(64, 'b');
        const SaveResult r = SaveCard(station, in);
        EXPECT_EQ(r.outcome, SaveOutcome::Stored) << r.error.toStdString();
        EXPECT_EQ((std::tuple{PrepareStoredCards(station), r.recorded, IsCardStored(station, in.cardHash)}),
                  std::tuple(StoredCardsRecord::FileJournal, true, true)) << "in the journal";
    }
    SetProgramFolder({});
    EXPECT_EQ(storedRows(1).size(), 3);
    db->exec(QStringLiteral("DROP OWNED BY %1").arg(role));
    db->exec(QStringLiteral("DROP ROLE %1").arg(role));
}

// A connection closed, or its server session killed, is opened again by the next save.
TEST_P(CardSaver, SaveAfterALostConnectionReconnectsFirst) {
    DbSession& session = DbSession::instance();
    ASSERT_TRUE(session.open(db->config()));
    if (isPg())
        ASSERT_TRUE(conn().execute("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                                   "datname = current_database() AND pid <> pg_backend_pid()"));
    else
        session.conn().close();
    const SaveResult r = SaveCard(session.conn(), input(1, Values({1, 2, 3, 4, 5})));
    EXPECT_EQ(r.outcome, SaveOutcome::Stored) << r.error.toStdString();
    EXPECT_TRUE(session.state() == DbSession::State::Connected && storedRows(1).size() == 3);
    session.reset();
}

// A sample size outside 1 .. 40, an alternative or untyped card, no marks, less than a sample: nothing
// stored. Without identification (automatic mode) a card is stamped now, dashes in the descriptive fields.
TEST_P(CardSaver, CardsThatStoreNothingAndTheAutomaticStamp) {
    const int before = stored();
    const auto card = [&](const QVariant& probka, const QVariant& type) {
        return input(1, Values({1, 2, 3, 4, 5}), Manual(), [=](Record& p) {
            if (probka.isValid()) p.set("Probka", probka);
            p.set("TypKarty", type);
        });
    };
    const std::pair<SaveInput, SaveOutcome> cases[] = {
        {card(0, 0), SaveOutcome::Refused}, {card(41, 1), SaveOutcome::Refused},
        {input(4, Values({1, 2, 3})), SaveOutcome::NothingToStore}, {card({}, {}), SaveOutcome::NothingToStore},
        {input(2, {}), SaveOutcome::NothingToStore}, {input(1, Values({1, 2, 3, 4})), SaveOutcome::NothingToStore}};
    for (const auto& [in, outcome] : cases) {
        const SaveResult r = SaveCard(conn(), in);
        EXPECT_EQ(std::tuple(r.outcome, r.rowsStored, r.ok()), std::tuple(outcome, 0, outcome == SaveOutcome::NothingToStore));
        if (outcome == SaveOutcome::Refused) {
            EXPECT_TRUE(r.error.contains("spoza zakresu od 1 do 40") && SaveFailureMessage(r) == r.error) << r.error.toStdString();
        }
    }
    EXPECT_EQ(stored(), before);
    SaveInput in = input(1, Values({1, 2, 3, 4, 5}));
    in.identification.reset();
    in.descriptiveCount = 3;
    const QDateTime start = QDateTime::currentDateTime();
    ASSERT_EQ(SaveCard(conn(), in).outcome, SaveOutcome::Stored);
    const QDateTime end = QDateTime::currentDateTime();
    const Record row = storedRows(1).last();
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(row.value(QStringLiteral("ID%1").arg(i)).toString(), "-");
    EXPECT_TRUE(row.isNull("ID4") && row.isNull("PomiaryNL"));
    const QString stamp = row.value("Data").toString() + u' ' + row.value("Czas").toString();
    EXPECT_TRUE(stamp == start.toString("yyyy-MM-dd HH:mm") || stamp == end.toString("yyyy-MM-dd HH:mm"))
        << stamp.toStdString();
}

// A refused entry keeps the window open and Esc cancels; the database's refusal is shown in its own words.
TEST_P(CardSaver, TypedIdentificationIsStoredAndRefusalsStoreNothing) {
    // Dictionary items come sorted, null rows skipped; earlier values are the program's, distinct.
    for (const QVariant& name : {QVariant("Zm2"), QVariant(), QVariant("Zm1")})
        ASSERT_TRUE(conn().append("SPC_OpisID2", Record({"Nazwa"}, {name})));
    Record earlier({"IDP", "IDPK", "ID3"}, {1, 1, QVariant()});
    for (const char* batch : {"", "A-1", "A-1", "Z-9"}) {
        if (*batch) earlier.set("ID3", QString::fromLatin1(batch));
        if (*batch == 'Z') earlier.set("IDP", 2);
        ASSERT_TRUE(conn().append("SPC_Baza", earlier));
    }
    ASSERT_TRUE(db->exec(isServer() ? "ALTER TABLE SPC_Baza ADD CONSTRAINT bez_partii_x CHECK (ID3 <> 'X')"
                                    : "CREATE TRIGGER bez_partii_x BEFORE INSERT ON SPC_Baza WHEN NEW.ID3 = 'X' "
                                      "BEGIN SELECT RAISE(ABORT, 'partia X zablokowana'); END"));
    const int before = stored();
    const QString notes = QStringLiteral("Wymiana noża; ślad \"ą\" 'ł'");
    QList<QStringList> offered; // the items of fields 2 and 3 in each window
    MessageRecorder recorder;
    // The batch typed (none: refused, then Esc); parameter 4 is an alternative card that stores nothing.
    const std::tuple<int, const char*, bool> runs[] = {
        {1, "P-1234 K", true}, {1, "", false}, {1, "X", false}, {4, "P-1", true}};
    for (const auto& [parameterId, batch, saved] : runs) {
        const auto answer = kartovo::testing::WhenModalShown([&](QWidget* modal) {
            auto* w = qobject_cast<IDDanych*>(modal);
            if (!w) {
                ADD_FAILURE() << "another window opened";
                return void(modal->close());
            }
            offered.append(QStringList());
            for (int f : {2, 3})
                for (int i = 0; i < w->field(f)->count(); ++i) offered.last() << w->field(f)->itemText(i);
            w->notesField()->insertPlainText(notes);
            w->dateField()->setText("2024-05-06");
            w->timeField()->setText("06:00");
            w->field(1)->setCurrentIndex(w->field(1)->findText("Piotr Wiśniewski"));
            w->field(2)->setCurrentIndex(w->field(2)->findText("III"));
            w->field(3)->lineEdit()->setText(batch);
            QTest::mouseClick(w->saveButton(), Qt::LeftButton);
            EXPECT_EQ(w->isVisible(), !*batch);
            if (w->isVisible()) QTest::keyClick(w->dateField(), Qt::Key_Escape);
        });
        SaveContext context;
        context.measurements = Values({20, 20.01, 20.02, 20.03, 20.04});
        context.parameter = parameter(parameterId);
        context.program = program(context.parameter.IDP.toInt());
        context.base = base;
        EXPECT_EQ(RunManualSave(nullptr, conn(), context), saved) << batch;
    }
    ASSERT_EQ(offered.size(), 4);
    EXPECT_TRUE(offered[0] == QStringList({"I", "II", "III", "Zm1", "Zm2", "A-1", "P-1024"}) && offered[1].contains("P-1234 K"));
    ASSERT_TRUE(recorder.requests.size() == 2u && recorder.requests[0].text == "Nie wprowadzono NR PARTII: - Popraw!");
    EXPECT_TRUE(recorder.requests[1].text.contains(isServer() ? "bez_partii_x" : "partia X zablokowana", Qt::CaseInsensitive))
        << recorder.requests[1].text.toStdString();
    EXPECT_EQ(stored(), before + 1);
    const Record row = storedRows(1).last();
    const std::pair<const char*, QString> typed[] = {{"ID1", "Piotr Wiśniewski"}, {"ID2", "III"}, {"ID3", "P-1234 K"},
                                                     {"PomiaryNL", notes}, {"Data", "2024-05-06"}, {"Czas", "06:00"}};
    for (const auto& [column, text] : typed) EXPECT_EQ(row.value(column).toString(), text) << column;
    // A missing dictionary table is shown, not fatal: the other lists are still there.
    ASSERT_TRUE(db->exec("DROP TABLE SPC_OpisID2"));
    DbIdentificationListSource lists(conn());
    IDDanych w(base, 1, lists);
    ASSERT_EQ(w.listErrors().size(), 1);
    EXPECT_TRUE(w.listErrors()[0].contains("SPC_OpisID2") && w.listErrors()[0].contains("ZMIANA") && w.field(1)->count() == 4);
}

} // namespace
} // namespace kartovo::test
