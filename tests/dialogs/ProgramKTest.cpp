// The manual choice of program and parameter, driven as the operator does it on a real database.
#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "dialogs/DbProgramChoiceSource.h"
#include "dialogs/ui/ProgramK.h"

#include "common/TestHelpers.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kartovo;

namespace {

// A row from texts (nullptr: null); the database converts the numbers.
Record Row(const QStringList& names, const char* const* texts) {
    QList<QVariant> values;
    for (int i = 0; i < names.size(); ++i) values << (texts[i] ? QVariant(QString::fromUtf8(texts[i])) : QVariant());
    return Record(names, values);
}

// Program 6 archived, 7 switched off; program 3: three measurable parameters, an alternative, one without a scale.
struct ChoiceDatabase {
    QTemporaryDir dir;
    DbConnection conn;
    explicit ChoiceDatabase(bool filled = true) {
        EXPECT_TRUE(conn.openSqliteFile(dir.filePath(QStringLiteral("Norv.mdb")), false) && conn.beginTransaction() &&
                    ApplySchema(conn));
        const char* programs[][6] = {{"01", "1", "0", "Wałek", nullptr, "Tokarka"}, {"02", "1", "0", "Tuleja", "XB-118", "Szlifierka"},
                                     {"03", "1", "0", "Korpus", "ab-5502", "Frezarka"}, {"04", "1", "0", "Śruba", "AB-0012", "Automat"},
                                     {"05", "1", "0", "O'Brien", "CD-1", nullptr}, {"06", "1", "1", "Archiwalny", "AA", "A"},
                                     {"07", "0", "0", "Bez parametrów", "AA", "A"}};
        const char* parameters[][7] = {{"3", "2", "0", "20", "Długość", "145", "0.0"}, {"3", "1", "1", "20", "Średnica", "12.5", "0.00"},
                                       {"3", "3", "0", "20", "Twardość", "58", "0"},   {"3", "4", "2", "20", "Wygląd", "0", "0"},
                                       {"3", "5", "0", nullptr, "Bez skali", "0", "0"}, {"1", "1", "0", "20", "Bicie", "0.05", "0.000"}};
        for (int i = 0; filled && i < 7; ++i)
            EXPECT_TRUE(conn.append(QStringLiteral("SPC_Programy"), Row({"NrP", "Lx", "ArchP", "ID1", "ID2", "ID3"}, programs[i])));
        for (int i = 0; filled && i < 6; ++i)
            EXPECT_TRUE(conn.append(QStringLiteral("SPC_Setap"),
                                    Row({"IDP", "LP", "TypKarty", "SkalaSiatki", "Nazwa", "WN", "Format"}, parameters[i])));
        EXPECT_TRUE(conn.commit());
    }
};

QStringList Column(QTableWidget* g, int column) {
    QStringList out;
    for (int r = 0; r < g->rowCount(); ++r) out << (g->item(r, column) ? g->item(r, column)->text() : QString());
    return out;
}

void Enter(QLineEdit* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2)); }

// keyClicks cannot send letters outside ASCII; a key event with the text can.
void Type(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
}

void DoubleClick(QTableWidget* g, int row) {
    const QPoint p = g->visualItemRect(g->item(row, 1)).center();
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, p);
}

struct Window {
    ChoiceDatabase db;
    DbProgramChoiceSource source{db.conn};
    ProgramK w{source, {QStringLiteral("Nazwa wyrobu"), QStringLiteral("Numer rysunku"), QStringLiteral("Stanowisko")}};
    explicit Window(bool filled = true) : db(filled) {
        w.show();
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    QString name() const { return w.currentProgram().value(QStringLiteral("ID1")).toString(); }
};

} // namespace

TEST(ProgramK, SearchingAndSortingFindTheProgram) {
    Window t;
    QTableWidget* g = t.w.Grid1();
    // Active programs in program-number order, choosing not yet possible.
    EXPECT_TRUE(Column(g, 1) == QStringList({"Wałek", "Tuleja", "Korpus", QStringLiteral("Śruba"), "O'Brien"}) && !t.w.SSCommand1()->isEnabled());
    // Entering a box sorts by its column; typing selects the first row starting with the text.
    QLineEdit* box = t.w.Text1(2);
    Enter(box);
    EXPECT_TRUE(Column(g, 2).first().isEmpty()); // the null sorts first
    const std::pair<const char*, const char*> typed[] = {{"X", "Tuleja"}, {"\b", "Śruba"}, // empty: the first value
                                                         {"AB", "Śruba"}, {"-5", "Korpus"}, // without regard to case
                                                         {"9", "Korpus"}}; // no match: the selection stays
    for (const auto& [keys, name] : typed) {
        QTest::keyClicks(box, keys);
        EXPECT_EQ(t.name(), QString::fromUtf8(name)) << keys;
    }

    box = t.w.Text1(1);
    Enter(box);
    for (const auto& [text, name] : {std::pair("śr", "Śruba"), {"o'b'", "O'Brien"}}) {
        box->clear();
        Type(box, QString::fromUtf8(text));
        EXPECT_EQ(t.name(), QString::fromUtf8(name));
    }
    // The number column sorts nothing; Up and Down stay within the rows, also from a box.
    Enter(t.w.Text1(0));
    Type(t.w.Text1(0), QStringLiteral("1"));
    EXPECT_EQ(t.w.SortColumn(), QStringLiteral("ID1"));
    for (int i = 0; i < 6; ++i) QTest::keyClick(t.w.Text1(0), Qt::Key_Down);
    EXPECT_EQ(t.w.ProgramRow(), 5);
    for (int i = 0; i < 6; ++i) QTest::keyClick(g, Qt::Key_Up);
    EXPECT_EQ((std::pair{t.w.ProgramRow(), g->selectionModel()->selectedRows().first().row()}), std::pair(1, 0));
    // Only plain column names become part of the statement.
    EXPECT_TRUE(ProgramListSql(QStringLiteral("ID1; Drop table x")).endsWith(QStringLiteral("Order by  NrP")));
}

// Measurable parameters by LP, nominal values in their format; "<<" goes back; a double click chooses.
// A program without parameters is refused with a message; Esc and "&Anuluj" choose nothing.
TEST(ProgramK, ParametersOfTheProgramAreChosenByKeyOrMouse) {
    kartovo::testing::MessageRecorder messages;
    {
        Window t;
        QTableWidget* g = t.w.Grid1();
        QTest::keyClick(g, Qt::Key_Down);
        QTest::keyClick(g, Qt::Key_Return); // Tuleja has no parameters
        EXPECT_TRUE(messages.requests.size() == 1 && !t.w.showsParameters());
        QTest::mouseClick(t.w.SSCommand1(), Qt::LeftButton); // not from the program list
        EXPECT_TRUE(t.w.isVisible());
        QTest::keyClick(g, Qt::Key_Down);
        QTest::keyClick(g, Qt::Key_Return);
        ASSERT_TRUE(t.w.showsParameters());
        EXPECT_EQ(Column(t.w.Grid2(), 1), QStringList({QStringLiteral("Średnica"), QStringLiteral("Długość"),
                                                       QStringLiteral("Twardość")}));
        EXPECT_TRUE(Column(t.w.Grid2(), 2) == QStringList({"12,50", "145,0", "58"}) && t.w.SSCommand1()->isEnabled());

        QTest::mouseClick(t.w.SSCommand3(), Qt::LeftButton);
        EXPECT_TRUE(!t.w.showsParameters() && t.w.ProgramRow() == 3);
        DoubleClick(g, 2);
        ASSERT_TRUE(t.w.showsParameters());
        DoubleClick(t.w.Grid2(), 1);
        EXPECT_TRUE(t.w.DialogAccepted() && !t.w.isVisible() && t.w.ChosenProgramID() == t.w.currentProgram().value(QStringLiteral("ID")).toInt());
        EXPECT_EQ(t.w.ChosenParameterID(), t.w.currentParameter().value(QStringLiteral("ID")).toInt());
        EXPECT_EQ(t.w.currentParameter().value(QStringLiteral("Nazwa")).toString(), QStringLiteral("Długość"));
    }
    for (bool escape : {true, false}) {
        Window t;
        QTest::keyClick(t.w.Grid1(), Qt::Key_Return);
        ASSERT_TRUE(t.w.showsParameters() && t.w.currentParameter().value(QStringLiteral("Nazwa")).toString() == QStringLiteral("Bicie"));
        escape ? QTest::keyClick(t.w.Grid2(), Qt::Key_Escape) : QTest::mouseClick(t.w.SSCommand2(), Qt::LeftButton);
        EXPECT_FALSE(t.w.isVisible() || t.w.DialogAccepted() || t.w.ChosenParameterID());
    }
    Window empty(false);
    QTest::keyClick(empty.w.Grid1(), Qt::Key_Down);
    QTest::keyClick(empty.w.Grid1(), Qt::Key_Return);
    EXPECT_TRUE(!empty.w.ProgramRow() && !empty.w.showsParameters() && messages.requests.size() == 1u);
}
