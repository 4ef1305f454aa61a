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

// What "&Zapisz" checks, case by case: the entries of a valid window with one
// thing changed, and the first check that fails (0: none).
struct CheckCase {
    const char* name;
    std::function<void(IdentificationEntries&)> change;
    int check;
    const char* message;
    IdentificationFocus focus;
    int field = 0;
};

IdentificationEntries ValidEntries() {
    IdentificationEntries e;
    e.date = QStringLiteral("2024-05-06");
    e.time = QStringLiteral("08:30");
    e.fields = {{QStringLiteral("Zmiana:"), false, QStringLiteral("II"), true},
                {QStringLiteral("Nr partii:"), true, QStringLiteral("P-7"), false},
                {QStringLiteral("Operator:"), true, QStringLiteral("Jan"), false}};
    e.notesShown = true;
    return e;
}

TEST(IdentificationCheck, FirstFailingCheckWithItsMessageAndFocus) {
    using F = IdentificationFocus;
    const auto date = [](const char* d) { return [d](IdentificationEntries& e) { e.date = d; }; };
    const auto time = [](const char* t) { return [t](IdentificationEntries& e) { e.time = t; }; };
    const char* badDate = "Niepoprwanie wprowadzona data - Popraw!";
    const char* badFormat = "Niepoprawny format pola CZAS <gg:mm> - Popraw !";
    const char* badHour = "GODZINA z poza zakresu <0-23> - Popraw !";
    const char* badMinute = "MINUTY z poza zakresu <0-59> - Popraw !";
    const CheckCase cases[] = {
        {"valid", {}, 0, "", F::None},
        {"polishDate", date("6.5.2024"), 0, "", F::None},
        {"shortIsoDate", date("2024-5-6"), 0, "", F::None},
        {"noDay", date("2024-02-30"), 1, badDate, F::Date},
        {"emptyDate", date(""), 1, badDate, F::Date},
        {"slashes", date("2024/05/06"), 1, badDate, F::Date},
        {"shortTime", time("8:30"), 2, "Niepoprwanie wprowadzony czasa - Popraw!", F::Time},
        {"dot", time("08.30"), 3, badFormat, F::Time},
        {"lateColon", time("083:0"), 3, badFormat, F::Time},
        {"lastMinute", time("23:59"), 0, "", F::None},
        {"midnight", time("00:00"), 0, "", F::None},
        {"hour24", time("24:00"), 4, badHour, F::Time},
        {"negativeHour", time("-1:30"), 4, badHour, F::Time},
        {"halfHour", time("7.5:0"), 3, badFormat, F::Time},
        {"minute60", time("07:60"), 5, badMinute, F::Time},
        {"firstEmptyFreeField",
         [](IdentificationEntries& e) { e.fields[1].text.clear(), e.fields[2].text.clear(); }, 6,
         "Nie wprowadzono NR PARTII: - Popraw!", F::Field, 2},
        {"notFromTheDictionary", [](IdentificationEntries& e) { e.fields[0].chosen = false; }, 7,
         "Dla pola ZMIANA: wprowadzono wartość z poza zakresu - Popraw !", F::Field, 1},
        {"requiredNotes", [](IdentificationEntries& e) { e.notesRequired = true; }, 8,
         "Nie wprowadzono identyfikacji opisowej - Popraw !", F::Notes},
        {"notesGiven", [](IdentificationEntries& e) { e.notesRequired = true, e.notes = "x"; }, 0, "", F::None},
        {"notesHidden", [](IdentificationEntries& e) { e.notesRequired = true, e.notesShown = false; }, 0, "", F::None},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        IdentificationEntries e = ValidEntries();
        if (c.change) c.change(e);
        const IdentificationVerdict v = CheckIdentification(e);
        EXPECT_EQ(v.check, c.check);
        EXPECT_EQ(v.message, QString::fromUtf8(c.message));
        EXPECT_EQ(v.focus, c.focus);
        EXPECT_EQ(v.field, c.field);
    }
    EXPECT_EQ(ReadIdentificationDate(QStringLiteral("06.05.2024")), QDate(2024, 5, 6));
}

// Keys go where the operator's keyboard goes: an open suggestion list first,
// else the focused field.
void Keys(const char* text) {
    for (const char* c = text; *c; ++c) {
        QWidget* target = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                            : QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, *c);
        QApplication::processEvents();
    }
}

// Enter moves on to the next field (an open list is closed first).
void Next() {
    if (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
}

// Answers the identification window once it is shown; the timer lives as long
// as the returned handle.
[[nodiscard]] std::unique_ptr<QTimer> WhenShown(std::function<void(IDDanych*)> act) {
    return kartovo::testing::WhenModalShown([act](QWidget* modal) {
        auto* w = qobject_cast<IDDanych*>(modal);
        if (w) return act(w);
        ADD_FAILURE() << "another window opened";
        modal->close();
    });
}

QStringList Items(const QComboBox* c) {
    QStringList l;
    for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
    return l;
}

// The window and the manual save on the SPC database.
class ManualSave : public SaveDatabase {
protected:
    SaveContext context(int parameterId) {
        SaveContext c;
        for (int i = 0; i < 5; ++i) c.measurements.append({QVariant(20.0 + i / 100.0), i + 1});
        c.parameter = parameter(parameterId);
        c.program = program(c.parameter.value(QStringLiteral("IDP")).toInt());
        c.base = base;
        return c;
    }
    static void Confirm(IDDanych* w, const QString& batch) {
        w->dateField()->setText(QStringLiteral("2024-05-06"));
        w->timeField()->setText(QStringLiteral("06:00"));
        w->field(1)->setCurrentIndex(w->field(1)->findText(QStringLiteral("Piotr Wiśniewski")));
        w->field(2)->setCurrentIndex(w->field(2)->findText(QStringLiteral("III")));
        w->field(3)->lineEdit()->setText(batch);
        QTest::mouseClick(w->saveButton(), Qt::LeftButton);
    }
};

// The operator fills the window from the keyboard, with the lists the
// database offers, and the card's rows hold exactly what was typed.
TEST_P(ManualSave, TypedIdentificationIsWhatTheDatabaseHolds) {
    // Dictionary items come sorted and null rows are skipped; earlier values
    // are those of the program, distinct.
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_OpisID2"), Record({QStringLiteral("Nazwa")}, {QVariant()})));
    QStringList shifts{QStringLiteral("I"), QStringLiteral("II"), QStringLiteral("III")};
    for (int i = 17; i >= 1; --i) {
        const QString name = QStringLiteral("Zm%1").arg(i, 2, 10, QChar(u'0'));
        ASSERT_TRUE(conn().append(QStringLiteral("SPC_OpisID2"), Record({QStringLiteral("Nazwa")}, {name})));
        shifts.insert(3, name);
    }
    Record stored;
    stored.set(QStringLiteral("IDP"), 1);
    stored.set(QStringLiteral("IDPK"), 1);
    for (const QVariant& batch : {QVariant(), QVariant(QStringLiteral("A-1")), QVariant(QStringLiteral("A-1"))}) {
        stored.set(QStringLiteral("ID3"), batch);
        ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), stored));
    }
    stored.set(QStringLiteral("IDP"), 2);
    stored.set(QStringLiteral("ID3"), QStringLiteral("Z-9"));
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), stored));

    const QString notes = QStringLiteral("Wymiana noża; ślad \"ą\" 'ł'");
    QStringList offered2, offered3;
    const auto answer = WhenShown([&](IDDanych* w) {
        offered2 = Items(w->field(2));
        offered3 = Items(w->field(3));
        EXPECT_TRUE(w->listErrors().isEmpty());
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
        EXPECT_EQ(QApplication::focusWidget(), w->dateField());
        QTest::keyClick(w->dateField(), Qt::Key_A, Qt::ControlModifier);
        Keys("2024-05-06");
        Next();
        Keys("06:00");
        Next();
        w->field(1)->setCurrentIndex(w->field(1)->findText(QStringLiteral("Piotr Wiśniewski")));
        Next();
        Keys("III"); // the dictionary's list follows the typing
        Next();
        Keys("P-1234"); // the list opens on "P", closes on "P-12"
        w->field(3)->showPopup();
        w->field(3)->hidePopup();
        QApplication::processEvents();
        Keys(" K");
        EXPECT_TRUE(w->isVisible()) << "Enter in a field never saves";
        Next();
        w->notesField()->insertPlainText(notes);
        QTest::mouseClick(w->saveButton(), Qt::LeftButton);
    });
    MessageRecorder recorder;
    QString error;
    EXPECT_TRUE(RunManualSave(nullptr, conn(), context(1), &error)) << error.toStdString();
    EXPECT_TRUE(recorder.requests.empty());
    EXPECT_EQ(offered2, shifts);
    EXPECT_EQ(offered3, (QStringList{QStringLiteral("A-1"), QStringLiteral("P-1024")}));

    const Record row = storedRows(1).last();
    EXPECT_EQ(row.value(QStringLiteral("ID1")).toString(), QStringLiteral("Piotr Wiśniewski"));
    EXPECT_EQ(row.value(QStringLiteral("ID2")).toString(), QStringLiteral("III"));
    EXPECT_EQ(row.value(QStringLiteral("ID3")).toString(), QStringLiteral("P-1234 K"));
    EXPECT_EQ(row.value(QStringLiteral("PomiaryNL")).toString(), notes);
    EXPECT_EQ(row.value(QStringLiteral("Data")).toString(), QStringLiteral("2024-05-06"));
    EXPECT_EQ(row.value(QStringLiteral("Czas")).toString(), QStringLiteral("06:00"));
}

// A refused entry keeps the window open; Esc or the close box cancel; the
// database's refusal is shown in its own words; nothing of the card is stored.
// A missing dictionary table is shown, not fatal.
TEST_P(ManualSave, RefusedEntriesCancelAndFailureStoreNothing) {
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
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before);

    // An alternative card stores nothing and still lets the window go on.
    {
        const auto answer = WhenShown([](IDDanych* w) { Confirm(w, QStringLiteral("P-1")); });
        EXPECT_TRUE(RunManualSave(nullptr, conn(), context(4)));
    }
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before);

    ASSERT_TRUE(db->exec(QStringLiteral("DROP TABLE SPC_OpisID2")));
    DbIdentificationListSource lists(conn());
    IDDanych w(base, 1, lists);
    ASSERT_EQ(w.listErrors().size(), 1);
    EXPECT_TRUE(w.listErrors()[0].contains(QStringLiteral("SPC_OpisID2")) && w.listErrors()[0].contains(QStringLiteral("ZMIANA")));
    EXPECT_EQ(w.field(1)->count(), 4); // the other lists are still there
}

KARTOVO_ON_BOTH_SYSTEMS(ManualSave);

} // namespace
} // namespace kartovo::test
