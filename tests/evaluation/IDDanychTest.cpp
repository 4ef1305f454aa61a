#include "SaveTestSupport.h"

#include "evaluation/CardSaver.h"
#include "evaluation/IdentificationCheck.h"
#include "evaluation/IdentificationLists.h"
#include "evaluation/ui/IDDanych.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace kartovo::test {
namespace {

IdentificationEntries ValidEntries() {
    IdentificationEntries e;
    e.date = "2024-05-06";
    e.time = "08:30";
    e.fields = {{"Zmiana:", false, "II", true}, {"Nr partii:", true, "P-7", false}, {"Operator:", true, "Jan", false}};
    e.notesShown = true;
    return e;
}

// What "&Zapisz" checks, case by case: the entries of a valid window with one
// thing changed, the first check that fails (0: none) and where the focus goes.
TEST(IdentificationCheck, FirstFailingCheckWithItsFocus) {
    using F = IdentificationFocus;
    using Change = std::function<void(IdentificationEntries&)>;
    const auto date = [](const char* d) { return Change([d](IdentificationEntries& e) { e.date = d; }); };
    const auto time = [](const char* t) { return Change([t](IdentificationEntries& e) { e.time = t; }); };
    const std::tuple<Change, int, F, int> cases[] = {
        {{}, 0, F::None, 0},
        {date("6.5.2024"), 0, F::None, 0},
        {date("2024-5-6"), 0, F::None, 0},
        {date("2024-02-30"), 1, F::Date, 0},
        {date(""), 1, F::Date, 0},
        {date("2024/05/06"), 1, F::Date, 0},
        {time("8:30"), 2, F::Time, 0},
        {time("08.30"), 3, F::Time, 0},
        {time("083:0"), 3, F::Time, 0},
        {time("23:59"), 0, F::None, 0},
        {time("00:00"), 0, F::None, 0},
        {time("24:00"), 4, F::Time, 0},
        {time("-1:30"), 4, F::Time, 0},
        {time("7.5:0"), 3, F::Time, 0},
        {time("07:60"), 5, F::Time, 0},
        {time("7:5.5"), 5, F::Time, 0},
        {[](IdentificationEntries& e) { e.fields[1].text.clear(), e.fields[2].text.clear(); }, 6, F::Field, 2},
        {[](IdentificationEntries& e) { e.fields[0].chosen = false; }, 7, F::Field, 1},
        {[](IdentificationEntries& e) { e.notesRequired = true; }, 8, F::Notes, 0},
        {[](IdentificationEntries& e) { e.notesRequired = true, e.notes = "x"; }, 0, F::None, 0},
        {[](IdentificationEntries& e) { e.notesRequired = true, e.notesShown = false; }, 0, F::None, 0},
    };
    int i = 0;
    for (const auto& [change, check, focus, field] : cases) {
        SCOPED_TRACE(i++);
        IdentificationEntries e = ValidEntries();
        if (change) change(e);
        const IdentificationVerdict v = CheckIdentification(e);
        EXPECT_EQ(std::tuple(v.check, v.focus, v.field), std::tuple(check, focus, field));
        EXPECT_EQ(v.message.isEmpty(), check == 0);
        // The field's caption names it in the operator's message.
        if (check == 6) EXPECT_EQ(v.message, "Nie wprowadzono NR PARTII: - Popraw!");
        if (check == 7) EXPECT_EQ(v.message, "Dla pola ZMIANA: wprowadzono wartość z poza zakresu - Popraw !");
    }
    EXPECT_EQ(ReadIdentificationDate("06.05.2024"), QDate(2024, 5, 6));
}

// Keys go where the operator's keyboard goes: an open suggestion list first,
// else the focused field.
void Keys(const char* text) {
    for (const char* c = text; *c; ++c) {
        QWidget* popup = QApplication::activePopupWidget();
        QTest::keyClick(popup ? popup : QApplication::focusWidget(), *c);
        QApplication::processEvents();
    }
}

// Answers the identification window once it is shown, as long as the handle lives.
[[nodiscard]] std::unique_ptr<QTimer> WhenShown(std::function<void(IDDanych*)> act) {
    return kartovo::testing::WhenModalShown([act](QWidget* modal) {
        if (auto* w = qobject_cast<IDDanych*>(modal)) return act(w);
        ADD_FAILURE() << "another window opened";
        modal->close();
    });
}

QStringList Items(const QComboBox* c) {
    QStringList l;
    for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
    return l;
}

class ManualSave : public SaveDatabase {
protected:
    SaveContext context(int parameterId) {
        SaveContext c;
        for (int i = 0; i < 5; ++i) c.measurements.append({QVariant(20.0 + i / 100.0), i + 1});
        c.parameter = parameter(parameterId);
        c.program = program(c.parameter.value("IDP").toInt());
        c.base = base;
        return c;
    }
    static void Fill(IDDanych* w, const QString& batch) {
        w->dateField()->setText("2024-05-06");
        w->timeField()->setText("06:00");
        w->field(1)->setCurrentIndex(w->field(1)->findText("Piotr Wiśniewski"));
        w->field(2)->setCurrentIndex(w->field(2)->findText("III"));
        w->field(3)->lineEdit()->setText(batch);
    }
    static void Confirm(IDDanych* w, const QString& batch) {
        Fill(w, batch);
        QTest::mouseClick(w->saveButton(), Qt::LeftButton);
    }
};

// The card's rows hold exactly what the operator typed, with the lists the
// database offers. A refused entry keeps the window open; Esc or the close box
// cancel; the database's refusal is shown in its own words; nothing of such a
// card is stored.
TEST_P(ManualSave, TypedIdentificationIsStoredAndRefusalsStoreNothing) {
    // Dictionary items come sorted, null rows skipped; earlier values are the program's, distinct.
    for (const QVariant& name : {QVariant("Zm2"), QVariant(), QVariant("Zm1")})
        ASSERT_TRUE(conn().append("SPC_OpisID2", Record({"Nazwa"}, {name})));
    Record earlier({"IDP", "IDPK", "ID3"}, {1, 1, QVariant()});
    for (const char* batch : {"", "A-1", "A-1", "Z-9"}) {
        if (*batch) earlier.set("ID3", QString::fromLatin1(batch));
        if (*batch == 'Z') earlier.set("IDP", 2);
        ASSERT_TRUE(conn().append("SPC_Baza", earlier));
    }
    const QString notes = QStringLiteral("Wymiana noża; ślad \"ą\" 'ł'");
    QStringList offered2, offered3;
    {
        const auto answer = WhenShown([&](IDDanych* w) {
            offered2 = Items(w->field(2));
            offered3 = Items(w->field(3));
            Fill(w, {});
            w->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(w));
            w->field(2)->setFocus();
            QTest::keyClick(w->field(2), Qt::Key_Return); // Enter moves on to the next field
            QApplication::processEvents();
            Keys("P-1234"); // the list opens on "P", closes on "P-12"
            w->field(3)->showPopup();
            w->field(3)->hidePopup();
            Keys(" K");
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            EXPECT_TRUE(w->isVisible()) << "Enter in a field never saves";
            w->notesField()->insertPlainText(notes);
            QTest::mouseClick(w->saveButton(), Qt::LeftButton);
        });
        MessageRecorder recorder;
        QString error;
        EXPECT_TRUE(RunManualSave(nullptr, conn(), context(1), &error)) << error.toStdString();
        EXPECT_TRUE(recorder.requests.empty());
    }
    EXPECT_EQ(offered2, (QStringList{"I", "II", "III", "Zm1", "Zm2"}));
    EXPECT_EQ(offered3, (QStringList{"A-1", "P-1024"}));
    const Record row = storedRows(1).last();
    const std::pair<const char*, QString> typed[] = {{"ID1", "Piotr Wiśniewski"}, {"ID2", "III"}, {"ID3", "P-1234 K"},
                                                     {"PomiaryNL", notes}, {"Data", "2024-05-06"}, {"Czas", "06:00"}};
    for (const auto& [column, text] : typed) EXPECT_EQ(row.value(column).toString(), text) << column;

    if (isServer())
        ASSERT_TRUE(db->exec(QStringLiteral("ALTER TABLE SPC_Baza ADD CONSTRAINT bez_partii_x CHECK (ID3 <> 'X')")));
    else
        ASSERT_TRUE(db->exec(QStringLiteral("CREATE TRIGGER bez_partii_x BEFORE INSERT ON SPC_Baza WHEN NEW.ID3 = 'X' "
                                            "BEGIN SELECT RAISE(ABORT, 'partia X zablokowana'); END")));
    const int before = db->count(QStringLiteral("SPC_Baza"));
    MessageRecorder recorder;
    QString date, batch;
    const std::function<void(IDDanych*)> answers[] = {
        [&](IDDanych* w) {
            Confirm(w, QString());
            EXPECT_TRUE(w->isVisible());
            QTest::keyClick(w->dateField(), Qt::Key_Escape);
        },
        [&](IDDanych* w) { // the next window starts afresh
            date = w->dateField()->text();
            batch = w->field(3)->currentText();
            w->close();
        },
        [](IDDanych* w) { Confirm(w, QStringLiteral("X")); }};
    for (const auto& act : answers) {
        const auto answer = WhenShown(act);
        EXPECT_FALSE(RunManualSave(nullptr, conn(), context(1)));
    }
    EXPECT_EQ(date, QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    EXPECT_TRUE(batch.isEmpty());
    ASSERT_EQ(recorder.requests.size(), 2u);
    EXPECT_EQ(recorder.requests[0].text, QStringLiteral("Nie wprowadzono NR PARTII: - Popraw!"));
    EXPECT_TRUE(recorder.requests[1].text.contains(isServer() ? QStringLiteral("bez_partii_x") : QStringLiteral("partia X zablokowana"),
                                                   Qt::CaseInsensitive)) << recorder.requests[1].text.toStdString();
    // An alternative card stores nothing and still lets the window go on.
    {
        const auto answer = WhenShown([](IDDanych* w) { Confirm(w, QStringLiteral("P-1")); });
        EXPECT_TRUE(RunManualSave(nullptr, conn(), context(4)));
    }
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before);

    // A missing dictionary table is shown, not fatal: the other lists are still there.
    ASSERT_TRUE(db->exec(QStringLiteral("DROP TABLE SPC_OpisID2")));
    DbIdentificationListSource lists(conn());
    IDDanych w(base, 1, lists);
    ASSERT_EQ(w.listErrors().size(), 1);
    EXPECT_TRUE(w.listErrors()[0].contains(QStringLiteral("SPC_OpisID2")) && w.listErrors()[0].contains(QStringLiteral("ZMIANA")));
    EXPECT_EQ(w.field(1)->count(), 4);
}

KARTOVO_ON_BOTH_SYSTEMS(ManualSave);

} // namespace
} // namespace kartovo::test
