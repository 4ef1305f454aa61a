// The manual choice of program and parameter, driven as the operator does it,
// on the lists a real database gives.
#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "dialogs/DbProgramChoiceSource.h"
#include "dialogs/ui/ProgramK.h"
#include "platform/Messages.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace kartovo;

namespace {

// Active programs (NrP, ID1, ID2, ID3) and, for some, their parameters.
class ChoiceDatabase {
public:
    explicit ChoiceDatabase(bool filled = true) {
        EXPECT_TRUE(conn.openSqliteFile(dir.filePath(QStringLiteral("Norv.mdb")), false));
        EXPECT_TRUE(conn.beginTransaction() && ApplySchema(conn) && conn.commit());
        if (!filled) return;
        const struct {
            int nrp, lx, arch;
            const char *id1, *id2, *id3;
        } programs[] = {{1, 1, 0, "Wałek", nullptr, "Tokarka"},       {2, 1, 0, "Tuleja", "XB-118", "Szlifierka"},
                        {3, 1, 0, "Korpus", "ab-5502", "Frezarka"},   {4, 1, 0, "Śruba", "AB-0012", "Automat"},
                        {5, 1, 0, "O'Brien", "CD-1", nullptr},        {6, 1, 1, "Archiwalny", "AA", "A"},
                        {7, 0, 0, "Bez parametrów", "AA", "A"}};
        for (const auto& p : programs) {
            Record r;
            r.set(QStringLiteral("NrP"), QStringLiteral("%1").arg(p.nrp, 2, 10, QChar(u'0')));
            r.set(QStringLiteral("Lx"), p.lx);
            r.set(QStringLiteral("ArchP"), p.arch);
            for (const auto& [column, value] : {std::pair{"ID1", p.id1}, {"ID2", p.id2}, {"ID3", p.id3}})
                r.set(QString::fromLatin1(column), value ? QVariant(QString::fromUtf8(value)) : QVariant());
            EXPECT_TRUE(conn.append(QStringLiteral("SPC_Programy"), r));
        }
        // Program 3: three measurable parameters, one alternative, one without a grid.
        const struct {
            int idp, lp, type;
            QVariant scale;
            const char* name;
            double wn;
            const char* format;
        } parameters[] = {{3, 2, 0, 20, "Długość", 145, "0.0"},  {3, 1, 1, 20, "Średnica", 12.5, "0.00"},
                          {3, 3, 0, 20, "Twardość", 58, "0"},   {3, 4, 2, 20, "Wygląd", 0, "0"},
                          {3, 5, 0, QVariant(), "Bez skali", 0, "0"}, {1, 1, 0, 20, "Bicie", 0.05, "0.000"}};
        for (const auto& p : parameters) {
            Record r;
            r.set(QStringLiteral("IDP"), p.idp);
            r.set(QStringLiteral("LP"), p.lp);
            r.set(QStringLiteral("TypKarty"), p.type);
            r.set(QStringLiteral("SkalaSiatki"), p.scale);
            r.set(QStringLiteral("Nazwa"), QString::fromUtf8(p.name));
            r.set(QStringLiteral("WN"), p.wn);
            r.set(QStringLiteral("Format"), QString::fromLatin1(p.format));
            EXPECT_TRUE(conn.append(QStringLiteral("SPC_Setap"), r));
        }
    }
    QTemporaryDir dir;
    DbConnection conn;
};

const QStringList kCaptions{QStringLiteral("Nazwa wyrobu"), QStringLiteral("Numer rysunku"),
                            QStringLiteral("Stanowisko")};

QStringList Column(QTableWidget* g, int column) {
    QStringList out;
    for (int r = 0; r < g->rowCount(); ++r) out << (g->item(r, column) ? g->item(r, column)->text() : QString());
    return out;
}

// A box is entered the way the operator does it: by clicking into it.
void Enter(QLineEdit* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2)); }

// keyClicks cannot send letters outside ASCII; a key event with the text can.
void Type(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
}

void DoubleClick(QTableWidget* g, int row) {
    const QPoint p = g->visualItemRect(g->item(row, 1 % g->columnCount())).center();
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, p);
}

struct Window {
    ChoiceDatabase db;
    DbProgramChoiceSource source{db.conn};
    ProgramK w;
    explicit Window(const QStringList& captions = kCaptions) : w(source, captions) {
        w.show();
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    int programId() const { return w.CurrentProgram().value(QStringLiteral("ID")).toInt(); }
    QString name() const { return w.CurrentProgram().value(QStringLiteral("ID1")).toString(); }
};

} // namespace

TEST(ProgramK, SearchingAndSortingFindTheProgram) {
    Window t;
    QTableWidget* g = t.w.Grid1();
    // Active programs in program-number order, the list focused, choosing not yet possible.
    EXPECT_EQ(Column(g, 1), QStringList({"Wałek", "Tuleja", "Korpus", QStringLiteral("Śruba"), "O'Brien"}));
    EXPECT_FALSE(t.w.SSCommand1()->isEnabled());

    // Entering a box sorts by its column; typing selects the first row starting with the text.
    QLineEdit* box = t.w.Text1(2);
    Enter(box);
    EXPECT_EQ(t.w.SortColumn(), QStringLiteral("ID2"));
    EXPECT_TRUE(Column(g, 2).first().isEmpty()); // the null sorts first
    QTest::keyClicks(box, "X");
    EXPECT_EQ(t.name(), QStringLiteral("Tuleja"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, "AB");
    EXPECT_EQ(t.name(), QStringLiteral("Śruba"));
    QTest::keyClicks(box, "-5");
    EXPECT_EQ(t.name(), QStringLiteral("Korpus")); // letters without regard to case
    QTest::keyClicks(box, "9");
    EXPECT_EQ(t.name(), QStringLiteral("Korpus")); // no match: the selection stays
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(t.w.ProgramRow(), 2); // empty: the first row with a value

    box = t.w.Text1(1);
    Enter(box);
    Type(box, QStringLiteral("śr"));
    EXPECT_EQ(t.name(), QStringLiteral("Śruba"));
    box->clear();
    Type(box, QStringLiteral("o'b'"));
    EXPECT_EQ(t.name(), QStringLiteral("O'Brien"));

    // The number column sorts nothing; Up and Down stay within the rows, also from a box.
    Enter(t.w.Text1(0));
    Type(t.w.Text1(0), QStringLiteral("1"));
    EXPECT_EQ(t.w.SortColumn(), QStringLiteral("ID1"));
    for (int i = 0; i < 6; ++i) QTest::keyClick(t.w.Text1(0), Qt::Key_Down);
    EXPECT_EQ(t.w.ProgramRow(), 5);
    for (int i = 0; i < 6; ++i) QTest::keyClick(g, Qt::Key_Up);
    EXPECT_EQ(t.w.ProgramRow(), 1);
    EXPECT_EQ(g->selectionModel()->selectedRows().first().row(), 0);
}

TEST(ProgramK, ParametersOfTheProgramAreChosenByKeyOrMouse) {
    Window t;
    QTableWidget* g = t.w.Grid1();
    QTest::keyClick(g, Qt::Key_Down);
    QTest::keyClick(g, Qt::Key_Down);
    QTest::keyClick(g, Qt::Key_Return);
    ASSERT_TRUE(t.w.ShowsParameters());
    // Measurable parameters by LP, nominal values in their own format.
    EXPECT_EQ(Column(t.w.Grid2(), 1), QStringList({QStringLiteral("Średnica"), QStringLiteral("Długość"),
                                                   QStringLiteral("Twardość")}));
    EXPECT_EQ(Column(t.w.Grid2(), 2), QStringList({"12,50", "145,0", "58"}));
    EXPECT_TRUE(t.w.SSCommand1()->isEnabled());

    QTest::mouseClick(t.w.SSCommand3(), Qt::LeftButton); // "<<" back to the programs
    EXPECT_FALSE(t.w.ShowsParameters());
    EXPECT_EQ(t.w.ProgramRow(), 3);
    DoubleClick(g, 2);
    ASSERT_TRUE(t.w.ShowsParameters());
    DoubleClick(t.w.Grid2(), 1);
    EXPECT_TRUE(t.w.DialogAccepted());
    EXPECT_FALSE(t.w.isVisible());
    EXPECT_EQ(t.w.ChosenProgramID(), t.programId());
    EXPECT_EQ(t.w.ChosenParameterID(), t.w.CurrentParameter().value(QStringLiteral("ID")).toInt());
    EXPECT_EQ(t.w.CurrentParameter().value(QStringLiteral("Nazwa")).toString(), QStringLiteral("Długość"));
}

TEST(ProgramK, ProgramWithoutParametersIsRefusedAndCancelChoosesNothing) {
    QList<MessageRequest> seen;
    MessagePresenter previous = SetMessagePresenter([&](const MessageRequest& r) {
        seen << r;
        return false;
    });
    {
        Window t;
        QTest::keyClick(t.w.Grid1(), Qt::Key_Down);
        QTest::keyClick(t.w.Grid1(), Qt::Key_Return); // Tuleja has no parameters
        ASSERT_EQ(seen.size(), 1);
        EXPECT_TRUE(seen[0].text.startsWith(QStringLiteral("Wskazany program kontroli nie zawiera")));
        EXPECT_FALSE(t.w.ShowsParameters());
        QTest::mouseClick(t.w.SSCommand1(), Qt::LeftButton); // not from the program list
        EXPECT_TRUE(t.w.isVisible());
        QTest::keyClick(t.w.Text1(1), Qt::Key_Escape);
        EXPECT_FALSE(t.w.isVisible());
        EXPECT_FALSE(t.w.DialogAccepted());
    }
    {
        Window t;
        QTest::keyClick(t.w.Grid1(), Qt::Key_Return);
        ASSERT_TRUE(t.w.ShowsParameters());
        EXPECT_EQ(t.w.CurrentParameter().value(QStringLiteral("Nazwa")).toString(), QStringLiteral("Bicie"));
        QTest::mouseClick(t.w.SSCommand2(), Qt::LeftButton); // "&Anuluj"
        EXPECT_FALSE(t.w.DialogAccepted());
        EXPECT_EQ(t.w.ChosenParameterID(), 0);
    }
    {
        ChoiceDatabase db(false);
        DbProgramChoiceSource source(db.conn);
        ProgramK empty(source, kCaptions);
        empty.show();
        QTest::keyClick(empty.Grid1(), Qt::Key_Down);
        QTest::keyClick(empty.Grid1(), Qt::Key_Return);
        EXPECT_EQ(empty.ProgramRow(), 0);
        EXPECT_FALSE(empty.ShowsParameters());
    }
    EXPECT_EQ(seen.size(), 1);
    SetMessagePresenter(previous);
}

// Only plain column names become part of the statement.
TEST(ProgramChoiceSql, SortColumnIsAPlainNameOrTheProgramNumber) {
    EXPECT_TRUE(ProgramListSql(QStringLiteral("ID1; Drop table x")).endsWith(QStringLiteral("Order by  NrP")));
    EXPECT_TRUE(ProgramListSql(QStringLiteral("ID3")).endsWith(QStringLiteral("Order by ID3")));
}
