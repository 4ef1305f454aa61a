#include "SaveTestSupport.h"

#include "dialogs/ui/Kalendarz.h"
#include "evaluation/CardSaver.h"
#include "evaluation/IdentificationLists.h"
#include "evaluation/ui/IDDanych.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace kartovo::test {
namespace {

// Lists without a database; remembers what was asked.
class FakeLists : public IdentificationListSource {
public:
    QMap<int, QStringList> earlier;
    QMap<int, QStringList> dictionaries;
    QList<int> askedEarlier, askedDictionary;
    QVariant askedProgram;
    IdentificationList earlierValues(int field, const QVariant& programId) override {
        askedEarlier.append(field);
        askedProgram = programId;
        return {earlier.value(field), {}};
    }
    IdentificationList dictionary(int field) override {
        askedDictionary.append(field);
        if (!dictionaries.contains(field)) return {{}, QStringLiteral("no such table: SPC_OpisID%1").arg(field)};
        return {dictionaries.value(field), {}};
    }
};

void AddField(BaseSettings& b, const QString& name, bool free) {
    ++b.DataIdentificationCount;
    b.DataIdentification[b.DataIdentificationCount].Nazwa = name;
    b.DataIdentification[b.DataIdentificationCount].Pole = free ? 1 : 0;
}

// Keys with the text they produce: QTest::keyClicks only handles Latin-1.
void Type(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }
}

void Replace(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    Type(edit, text);
}

bool HasFocus(const QWidget* w) {
    const QWidget* f = QApplication::focusWidget();
    return f && (f == w || w->isAncestorOf(f) || f->focusProxy() == w);
}

// The current minute, or the one before when the clock just moved on.
bool IsNow(const QString& time) {
    const QDateTime now = QDateTime::currentDateTime();
    return time == now.toString(QStringLiteral("HH:mm")) || time == now.addSecs(-60).toString(QStringLiteral("HH:mm"));
}

class IdentificationWindow : public ::testing::Test {
protected:
    IdentificationWindow() {
        AddField(base, QStringLiteral("Zmiana"), false);
        AddField(base, QStringLiteral("Nr partii"), true);
        AddField(base, QStringLiteral("Operator"), true);
        base.WorkingParameters.set(QStringLiteral("NazwaOp"), QStringLiteral("Uwagi"));
        base.WorkingParameters.set(QStringLiteral("CzyWymagany"), 0);
        lists.dictionaries[1] = {QStringLiteral("I"), QStringLiteral("II"), QStringLiteral("III")};
        lists.earlier[2] = {QStringLiteral("P-1024"), QStringLiteral("P-2048")};
    }
    std::unique_ptr<IDDanych> open() {
        auto w = std::make_unique<IDDanych>(base, QVariant(7), lists);
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return w;
    }
    // Fills every field so that the checks pass.
    void fillValid(IDDanych& w) {
        Replace(w.dateField(), QStringLiteral("2024-05-06"));
        Replace(w.timeField(), QStringLiteral("08:30"));
        w.field(1)->setCurrentIndex(1);
        Replace(w.field(2)->lineEdit(), QStringLiteral("P-7"));
        Replace(w.field(3)->lineEdit(), QStringLiteral("Jan"));
    }
    // "&Zapisz" clicked; the messages it showed.
    QList<MessageRequest> clickSave(IDDanych& w) {
        MessageRecorder recorder;
        QTest::mouseClick(w.saveButton(), Qt::LeftButton);
        return recorder.messages;
    }

    BaseSettings base;
    FakeLists lists;
};

TEST_F(IdentificationWindow, ControlsCaptionsAndPresets) {
    const auto w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Identyfikacja danych pomiarowych"));
    auto text = [&](const char* name) {
        auto* l = w->findChild<QLabel*>(QLatin1String(name));
        if (l) return l->text();
        auto* b = w->findChild<QPushButton*>(QLatin1String(name));
        return b ? b->text() : QStringLiteral("<missing>");
    };
    EXPECT_EQ(text("Label3_0"), QStringLiteral("Data:"));
    EXPECT_EQ(text("Label3_1"), QStringLiteral("Czas:"));
    EXPECT_EQ(text("Label3_2"), QStringLiteral("Uwagi"));
    EXPECT_EQ(text("Label2_0"), QStringLiteral("06:00"));
    EXPECT_EQ(text("Label2_1"), QStringLiteral("14:00"));
    EXPECT_EQ(text("Label2_2"), QStringLiteral("22:00"));
    EXPECT_EQ(text("Label1_7"), QStringLiteral("- Enter"));
    EXPECT_EQ(text("Label1_8"), QStringLiteral("- Esc"));
    EXPECT_EQ(text("SSCommand6"), QStringLiteral("&Zapisz"));
    EXPECT_EQ(text("SSCommand1"), QStringLiteral("&Anuluj"));
    EXPECT_EQ(text("Label4_1"), QStringLiteral("Zmiana:"));
    EXPECT_EQ(text("Label4_3"), QStringLiteral("Operator:"));
    EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("Text2")), w->dateField());
    EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("Text3")), w->timeField());
    EXPECT_EQ(w->findChild<QToolButton*>(QStringLiteral("Image1")), w->calendarButton());
    EXPECT_EQ(w->findChild<QPlainTextEdit*>(QStringLiteral("Text8")), w->notesField());
    EXPECT_EQ(w->dateField()->maxLength(), 10);
    EXPECT_EQ(w->timeField()->maxLength(), 5);

    // Three fields shown, the other seven hidden.
    for (int i = 1; i <= IDDanych::kFieldCount; ++i) {
        SCOPED_TRACE(i);
        QComboBox* box = w->findChild<QComboBox*>(QStringLiteral("Text4_%1").arg(i));
        ASSERT_EQ(box, w->field(i));
        EXPECT_TRUE(box->isEditable());
        EXPECT_EQ(box->isVisible(), i <= 3);
        EXPECT_EQ(w->fieldCaption(i)->isVisible(), i <= 3);
        EXPECT_TRUE(box->currentText().isEmpty());
    }
    EXPECT_TRUE(w->notesField()->isVisible());

    // Dictionary field in red with its dictionary; free field with the earlier values.
    EXPECT_EQ(lists.askedDictionary, QList<int>{1});
    EXPECT_EQ(lists.askedEarlier, (QList<int>{2, 3}));
    EXPECT_EQ(lists.askedProgram, QVariant(7));
    EXPECT_EQ(w->field(1)->count(), 3);
    EXPECT_EQ(w->field(1)->itemText(2), QStringLiteral("III"));
    EXPECT_EQ(w->field(1)->lineEdit()->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_NE(w->field(2)->lineEdit()->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(w->field(2)->itemText(1), QStringLiteral("P-2048"));

    EXPECT_EQ(w->dateField()->text(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    EXPECT_TRUE(IsNow(w->timeField()->text())) << w->timeField()->text().toStdString();
    EXPECT_TRUE(HasFocus(w->dateField()));
}

TEST_F(IdentificationWindow, EnterWalksTheFieldsAndQuickTimesFillTheTime) {
    const auto w = open();
    ASSERT_TRUE(HasFocus(w->dateField()));
    QTest::keyClick(w->dateField(), Qt::Key_Return);
    EXPECT_TRUE(HasFocus(w->timeField()));
    QTest::keyClick(w->timeField(), Qt::Key_Enter);
    EXPECT_TRUE(HasFocus(w->field(1)));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(HasFocus(w->field(2)));
    EXPECT_TRUE(w->isVisible()); // Enter in a field never saves

    // A field taking the focus has its text selected, ready to be overwritten.
    Replace(w->field(3)->lineEdit(), QStringLiteral("Anna"));
    w->dateField()->setFocus();
    QTest::keyClick(w->dateField(), Qt::Key_Return);
    QTest::keyClick(w->timeField(), Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(HasFocus(w->field(3)));
    QTest::qWait(20);
    EXPECT_EQ(w->field(3)->lineEdit()->selectedText(), QStringLiteral("Anna"));

    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(w->quickTime(i), Qt::LeftButton);
        EXPECT_EQ(w->timeField()->text(), w->quickTime(i)->text());
    }
}

struct TimeCase {
    const char* date;
    const char* time;
    const char* message;
    bool focusOnDate;
};

class TimeChecks : public IdentificationWindow, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(TimeChecks, RefusedWithItsMessageAndFocus) {
    const auto w = open();
    fillValid(*w);
    Replace(w->dateField(), QString::fromLatin1(GetParam().date));
    Replace(w->timeField(), QString::fromLatin1(GetParam().time));
    const QList<MessageRequest> shown = clickSave(*w);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QString::fromUtf8(GetParam().message));
    EXPECT_EQ(shown[0].style, 16);
    EXPECT_EQ(shown[0].alignment, 2);
    EXPECT_TRUE(HasFocus(GetParam().focusOnDate ? static_cast<QWidget*>(w->dateField()) : w->timeField()));
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->dialogAccepted());
}

INSTANTIATE_TEST_SUITE_P(
    Identification, TimeChecks,
    ::testing::Values(TimeCase{"2024-02-30", "08:30", "Niepoprwanie wprowadzona data - Popraw!", true},
                      TimeCase{"", "08:30", "Niepoprwanie wprowadzona data - Popraw!", true},
                      TimeCase{"2024-05-06", "8:30", "Niepoprwanie wprowadzony czasa - Popraw!", false},
                      TimeCase{"2024-05-06", "08.30", "Niepoprawny format pola CZAS <gg:mm> - Popraw !", false},
                      TimeCase{"2024-05-06", "083:0", "Niepoprawny format pola CZAS <gg:mm> - Popraw !", false},
                      TimeCase{"2024-05-06", "24:00", "GODZINA z poza zakresu <0-23> - Popraw !", false},
                      TimeCase{"2024-05-06", "-1:30", "GODZINA z poza zakresu <0-23> - Popraw !", false},
                      TimeCase{"2024-05-06", "07:60", "MINUTY z poza zakresu <0-59> - Popraw !", false}));

TEST_F(IdentificationWindow, FirstEmptyFreeFieldAloneIsReported) {
    const auto w = open();
    fillValid(*w);
    Replace(w->field(2)->lineEdit(), QString());
    Replace(w->field(3)->lineEdit(), QString());
    const QList<MessageRequest> shown = clickSave(*w);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("Nie wprowadzono NR PARTII: - Popraw!"));
    EXPECT_TRUE(HasFocus(w->field(2)));
    EXPECT_FALSE(w->dialogAccepted());
}

TEST_F(IdentificationWindow, DictionaryFieldTakesOnlyAnItemOfItsList) {
    const auto w = open();
    fillValid(*w);
    const QString refusal = QStringLiteral("Dla pola ZMIANA: wprowadzono wartość z poza zakresu - Popraw !");
    for (const QString& typed : {QString(), QStringLiteral("IV"), QStringLiteral("ii")}) {
        SCOPED_TRACE(typed.toStdString());
        w->field(1)->setCurrentIndex(-1);
        Replace(w->field(1)->lineEdit(), typed);
        const QList<MessageRequest> shown = clickSave(*w);
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0].text, refusal);
        EXPECT_TRUE(HasFocus(w->field(1)));
    }
    // Typing an item exactly, or choosing it with the arrow keys, is a choice.
    Replace(w->field(1)->lineEdit(), QStringLiteral("II"));
    EXPECT_TRUE(w->entries().fields[0].chosen);
    w->field(1)->setCurrentIndex(-1);
    w->field(1)->setFocus();
    w->field(1)->showPopup();
    QAbstractItemView* list = w->field(1)->view();
    ASSERT_TRUE(list->isVisible());
    list->setCurrentIndex(list->model()->index(0, 0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(w->field(1)->currentText(), QStringLiteral("I"));
    EXPECT_TRUE(clickSave(*w).isEmpty());
    EXPECT_TRUE(w->dialogAccepted());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->identification().descriptive, (QStringList{QStringLiteral("I"), QStringLiteral("P-7"), QStringLiteral("Jan")}));
}

TEST_F(IdentificationWindow, RequiredNotesMustBeFilled) {
    base.WorkingParameters.set(QStringLiteral("CzyWymagany"), 1);
    const auto w = open();
    fillValid(*w);
    QList<MessageRequest> shown = clickSave(*w);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("Nie wprowadzono identyfikacji opisowej - Popraw !"));
    EXPECT_TRUE(HasFocus(w->notesField()));

    Type(w->notesField(), QStringLiteral("Próbka po przezbrojeniu"));
    EXPECT_TRUE(clickSave(*w).isEmpty());
    EXPECT_TRUE(w->dialogAccepted());
    EXPECT_EQ(w->identification().notes, QStringLiteral("Próbka po przezbrojeniu"));
    EXPECT_EQ(w->identification().date, QStringLiteral("2024-05-06"));
    EXPECT_EQ(w->identification().time, QStringLiteral("08:30"));
}

TEST_F(IdentificationWindow, WithoutNazwaOpThereAreNoNotesToRequire) {
    base.WorkingParameters.set(QStringLiteral("NazwaOp"), QVariant());
    base.WorkingParameters.set(QStringLiteral("CzyWymagany"), 1);
    const auto w = open();
    EXPECT_FALSE(w->notesField()->isVisible());
    EXPECT_FALSE(w->notesCaption()->isVisible());
    fillValid(*w);
    EXPECT_TRUE(clickSave(*w).isEmpty());
    EXPECT_TRUE(w->dialogAccepted());
    EXPECT_TRUE(w->identification().notes.isEmpty());
}

TEST_F(IdentificationWindow, OptionalNotesMayStayEmpty) {
    const auto w = open();
    fillValid(*w);
    EXPECT_TRUE(clickSave(*w).isEmpty());
    EXPECT_TRUE(w->dialogAccepted());
}

TEST_F(IdentificationWindow, CancelEscAndTheCloseBoxAllCancel) {
    {
        const auto w = open();
        fillValid(*w);
        QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
        EXPECT_FALSE(w->isVisible());
        EXPECT_FALSE(w->dialogAccepted());
    }
    {
        const auto w = open();
        fillValid(*w);
        QTest::keyClick(w->dateField(), Qt::Key_Escape);
        EXPECT_FALSE(w->isVisible());
        EXPECT_FALSE(w->dialogAccepted());
    }
    {
        const auto w = open();
        fillValid(*w);
        EXPECT_TRUE(w->close());
        EXPECT_FALSE(w->dialogAccepted());
    }
    {
        // Enter on the focused "&Zapisz" confirms.
        const auto w = open();
        fillValid(*w);
        w->saveButton()->setFocus();
        QTest::keyClick(w->saveButton(), Qt::Key_Return);
        EXPECT_TRUE(w->dialogAccepted());
    }
}

TEST_F(IdentificationWindow, PolishTextIsKeptAsTyped) {
    const auto w = open();
    fillValid(*w);
    const QString typed = QStringLiteral("Łukasz Żółć; 'ś' \"ę\"");
    Replace(w->field(3)->lineEdit(), typed);
    EXPECT_TRUE(clickSave(*w).isEmpty());
    EXPECT_EQ(w->identification().descriptive.value(2), typed);
}

TEST_F(IdentificationWindow, EveryFieldKeepsWhatIsTypedWithTheSuggestionsOpenOrClosed) {
    const auto w = open();
    // Keys go where the operator's keyboard goes: an open suggestion list
    // first, else the focused field.
    auto type = [](const char* text) {
        for (const char* c = text; *c; ++c) {
            QWidget* target = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                                : QApplication::focusWidget();
            ASSERT_NE(target, nullptr);
            QTest::keyClick(target, *c);
            QApplication::processEvents();
        }
    };
    auto next = [] {
        if (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QApplication::processEvents();
    };
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    type("2024-05-06");
    next();
    type("08:30");
    next();
    type("II"); // the dictionary's list follows the typing
    next();
    type("P-1234"); // the list opens on "P", closes on "P-12"
    EXPECT_EQ(w->field(2)->currentText(), QStringLiteral("P-1234"));
    next();
    type("Jan");
    w->field(3)->showPopup(); // the field's own list, opened and closed
    w->field(3)->hidePopup();
    QApplication::processEvents();
    type(" K");
    next();
    type("uwaga 1");

    EXPECT_EQ(w->dateField()->text(), QStringLiteral("2024-05-06"));
    EXPECT_EQ(w->timeField()->text(), QStringLiteral("08:30"));
    EXPECT_EQ(w->field(1)->currentText(), QStringLiteral("II"));
    EXPECT_EQ(w->field(2)->currentText(), QStringLiteral("P-1234"));
    EXPECT_EQ(w->field(3)->currentText(), QStringLiteral("Jan K"));
    EXPECT_EQ(w->notesField()->toPlainText(), QStringLiteral("uwaga 1"));

    // Typing stops while the suggestions are still shown: nothing is completed.
    w->field(2)->lineEdit()->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    type("P-10");
    EXPECT_TRUE(QApplication::activePopupWidget() != nullptr);
    EXPECT_EQ(w->field(2)->currentText(), QStringLiteral("P-10"));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    EXPECT_EQ(w->field(2)->currentText(), QStringLiteral("P-10"));
    EXPECT_TRUE(clickSave(*w).isEmpty());
    EXPECT_EQ(w->identification().descriptive, (QStringList{QStringLiteral("II"), QStringLiteral("P-10"),
                                                            QStringLiteral("Jan K")}));
}

TEST_F(IdentificationWindow, CalendarOpensBesideItsButtonAndFillsTheDate) {
    const auto w = open();
    Replace(w->dateField(), QStringLiteral("2024-02-29"));
    QPoint placedAt;
    QDate shown;
    WhenModal<Kalendarz>([&](Kalendarz* k) {
        placedAt = k->pos();
        shown = k->date();
        k->dayText()->setText(QStringLiteral("75")); // 15 March of a leap year
        QTest::keyClick(k->dayText(), Qt::Key_Return);
    });
    w->calendarButton()->click();
    EXPECT_EQ(shown, QDate(2024, 2, 29));
    EXPECT_EQ(w->dateField()->text(), QStringLiteral("2024-03-15"));
    const QPoint right = w->calendarButton()->mapToGlobal(QPoint(w->calendarButton()->width(), 0));
    EXPECT_GT(placedAt.x(), right.x());
    EXPECT_LT(placedAt.x(), right.x() + 20);
    EXPECT_EQ(placedAt.y(), right.y());

    // Cancelled: the date stays.
    WhenModal<Kalendarz>([](Kalendarz* k) { QTest::keyClick(k->monthView(), Qt::Key_Escape); });
    w->calendarButton()->click();
    EXPECT_EQ(w->dateField()->text(), QStringLiteral("2024-03-15"));
}

TEST_F(IdentificationWindow, DictionaryThatCannotBeReadIsReported) {
    lists.dictionaries.remove(1);
    MessageRecorder recorder;
    const auto w = open();
    QTest::qWait(30);
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_TRUE(recorder.messages[0].text.contains(QStringLiteral("ZMIANA")));
    EXPECT_TRUE(recorder.messages[0].text.contains(QStringLiteral("no such table: SPC_OpisID1")));
    EXPECT_EQ(w->field(1)->count(), 0);
    // Without its dictionary the field can never be filled.
    fillValid(*w);
    Replace(w->field(1)->lineEdit(), QStringLiteral("I"));
    const QList<MessageRequest> shown = clickSave(*w);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("Dla pola ZMIANA:")));
}

// The window and the manual save on the SPC database.
class ManualSave : public SaveDatabase {
protected:
    SaveContext context(int parameterId, const QList<MeasurementValue>& values) {
        SaveContext c;
        c.measurements = values;
        c.parameter = parameter(parameterId);
        c.program = program(c.parameter.value(QStringLiteral("IDP")).toInt());
        c.base = base;
        return c;
    }
    static QList<MeasurementValue> FiveValues() {
        QList<MeasurementValue> v;
        for (int i = 0; i < 5; ++i) v.append({QVariant(20.0 + i / 100.0), i + 1});
        return v;
    }
    // Fills the demonstration fields (Operator, Zmiana, Nr partii) and confirms.
    static void Confirm(IDDanych* w, const QString& batch, const QString& notes = {}) {
        Replace(w->dateField(), QStringLiteral("2024-05-06"));
        Replace(w->timeField(), QStringLiteral("06:00"));
        w->field(1)->setCurrentIndex(w->field(1)->findText(QStringLiteral("Piotr Wiśniewski")));
        w->field(2)->setCurrentIndex(w->field(2)->findText(QStringLiteral("III")));
        Replace(w->field(3)->lineEdit(), batch);
        if (!notes.isEmpty()) Type(w->notesField(), notes);
        QTest::mouseClick(w->saveButton(), Qt::LeftButton);
    }
};

TEST_P(ManualSave, ListsComeFromTheDatabase) {
    // Null rows never become items; earlier values are per program and distinct.
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_OpisID2"), Record({QStringLiteral("Nazwa")}, {QVariant()})));
    Record stored;
    stored.set(QStringLiteral("IDP"), 1);
    stored.set(QStringLiteral("IDPK"), 1);
    stored.set(QStringLiteral("ID3"), QVariant());
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), stored));
    stored.set(QStringLiteral("ID3"), QStringLiteral("A-1"));
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), stored));
    stored.set(QStringLiteral("IDP"), 2);
    stored.set(QStringLiteral("ID3"), QStringLiteral("Z-9"));
    ASSERT_TRUE(conn().append(QStringLiteral("SPC_Baza"), stored));

    DbIdentificationListSource lists(conn());
    IDDanych w(base, program(1).value(QStringLiteral("ID")), lists);
    auto items = [](QComboBox* c) {
        QStringList l;
        for (int i = 0; i < c->count(); ++i) l.append(c->itemText(i));
        return l;
    };
    EXPECT_EQ(items(w.field(2)), (QStringList{QStringLiteral("I"), QStringLiteral("II"), QStringLiteral("III")}));
    EXPECT_EQ(items(w.field(3)), (QStringList{QStringLiteral("A-1"), QStringLiteral("P-1024")}));
    EXPECT_EQ(items(w.field(1)).size(), 4);
    EXPECT_TRUE(items(w.field(1)).contains(QStringLiteral("Piotr Wiśniewski")));
    EXPECT_TRUE(w.listErrors().isEmpty());
    EXPECT_EQ(w.notesCaption()->text(), QStringLiteral("Uwagi"));
}

TEST_P(ManualSave, MissingDictionaryTableIsShownNotFatal) {
    ASSERT_TRUE(db->exec(QStringLiteral("DROP TABLE SPC_OpisID2")));
    DbIdentificationListSource lists(conn());
    IDDanych w(base, 1, lists);
    ASSERT_EQ(w.listErrors().size(), 1);
    EXPECT_TRUE(w.listErrors()[0].contains(QStringLiteral("SPC_OpisID2")));
    EXPECT_TRUE(w.listErrors()[0].contains(QStringLiteral("ZMIANA")));
    EXPECT_EQ(w.field(1)->count(), 4); // the other lists are still there
}

TEST_P(ManualSave, ConfirmedCardIsStoredAsTyped) {
    const QString batch = QStringLiteral("Partia 'Ł-7'; \"żółta\"");
    const QString notes = QStringLiteral("Wymiana noża; ślad \"ą\"");
    WhenModal<IDDanych>([&](IDDanych* w) { Confirm(w, batch, notes); });
    MessageRecorder recorder;
    QString error;
    EXPECT_TRUE(RunManualSave(nullptr, conn(), context(1, FiveValues()), &error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(recorder.messages.isEmpty());
    const Record row = storedRows(1).last();
    EXPECT_EQ(row.value(QStringLiteral("ID1")).toString(), QStringLiteral("Piotr Wiśniewski"));
    EXPECT_EQ(row.value(QStringLiteral("ID2")).toString(), QStringLiteral("III"));
    EXPECT_EQ(row.value(QStringLiteral("ID3")).toString(), batch);
    EXPECT_EQ(row.value(QStringLiteral("PomiaryNL")).toString(), notes);
    EXPECT_EQ(row.value(QStringLiteral("Data")).toString(), QStringLiteral("2024-05-06"));
    EXPECT_EQ(row.value(QStringLiteral("Czas")).toString(), QStringLiteral("06:00"));
}

TEST_P(ManualSave, EmptyNotesAreStoredAsNull) {
    WhenModal<IDDanych>([&](IDDanych* w) { Confirm(w, QStringLiteral("P-1")); });
    EXPECT_TRUE(RunManualSave(nullptr, conn(), context(1, FiveValues())));
    EXPECT_TRUE(storedRows(1).last().isNull(QStringLiteral("PomiaryNL")));
}

TEST_P(ManualSave, CancelStoresNothingAndTheNextWindowStartsAfresh) {
    const int before = db->count(QStringLiteral("SPC_Baza"));
    WhenModal<IDDanych>([](IDDanych* w) {
        Replace(w->dateField(), QStringLiteral("2023-01-01"));
        Replace(w->timeField(), QStringLiteral("05:05"));
        Replace(w->field(3)->lineEdit(), QStringLiteral("stare"));
        QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
    });
    EXPECT_FALSE(RunManualSave(nullptr, conn(), context(1, FiveValues())));
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before);

    QString date, time, batch;
    WhenModal<IDDanych>([&](IDDanych* w) {
        date = w->dateField()->text();
        time = w->timeField()->text();
        batch = w->field(3)->currentText();
        w->close(); // the close box cancels too
    });
    EXPECT_FALSE(RunManualSave(nullptr, conn(), context(1, FiveValues())));
    EXPECT_EQ(date, QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    EXPECT_TRUE(IsNow(time)) << time.toStdString();
    EXPECT_TRUE(batch.isEmpty());
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before);
}

TEST_P(ManualSave, DatabaseFailureIsShownAndTheCardKept) {
    if (isServer())
        ASSERT_TRUE(db->exec(QStringLiteral("ALTER TABLE SPC_Baza ADD CONSTRAINT bez_partii_x CHECK (ID3 <> 'X')")));
    else
        ASSERT_TRUE(db->exec(QStringLiteral("CREATE TRIGGER bez_partii_x BEFORE INSERT ON SPC_Baza WHEN NEW.ID3 = 'X' "
                                            "BEGIN SELECT RAISE(ABORT, 'partia X zablokowana'); END")));
    const int before = db->count(QStringLiteral("SPC_Baza"));
    WhenModal<IDDanych>([](IDDanych* w) { Confirm(w, QStringLiteral("X")); });
    MessageRecorder recorder;
    QString error;
    EXPECT_FALSE(RunManualSave(nullptr, conn(), context(1, FiveValues()), &error));
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before);
    const QString expected = isServer() ? QStringLiteral("bez_partii_x") : QStringLiteral("partia X zablokowana");
    EXPECT_TRUE(error.contains(expected, Qt::CaseInsensitive)) << error.toStdString();
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_TRUE(recorder.messages[0].text.contains(error));
    EXPECT_EQ(recorder.messages[0].style, 16);
}

TEST_P(ManualSave, CardKindsWithoutRowsStillResetTheWindow) {
    const int before = db->count(QStringLiteral("SPC_Baza"));
    WhenModal<IDDanych>([](IDDanych* w) { Confirm(w, QStringLiteral("P-1")); });
    EXPECT_TRUE(RunManualSave(nullptr, conn(), context(4, FiveValues()))); // alternative parameter
    WhenModal<IDDanych>([](IDDanych* w) { Confirm(w, QStringLiteral("P-1")); });
    EXPECT_TRUE(RunManualSave(nullptr, conn(), context(1, {}))); // no marks
    EXPECT_EQ(db->count(QStringLiteral("SPC_Baza")), before);
}

TEST_P(ManualSave, UnusableSampleSizeIsRefusedAndTheCardKept) {
    SaveContext c = context(1, FiveValues());
    c.parameter.set(QStringLiteral("Probka"), 41);
    WhenModal<IDDanych>([](IDDanych* w) { Confirm(w, QStringLiteral("P-1")); });
    MessageRecorder recorder;
    QString error;
    EXPECT_FALSE(RunManualSave(nullptr, conn(), c, &error));
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_TRUE(recorder.messages[0].text.contains(QStringLiteral("Probka = 41")));
}

KARTOVO_ON_BOTH_SYSTEMS(ManualSave);

} // namespace
} // namespace kartovo::test
