#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "dialogs/DbProgramChoiceSource.h"
#include "dialogs/ProgramChoiceSource.h"
#include "dialogs/ui/ProgramK.h"
#include "platform/Messages.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <ostream>

using namespace kartovo;

static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// Rows as the database would give them: ordered by the asked column, nulls first.
struct FakeSource : ProgramChoiceSource {
    QList<Record> rows;
    QHash<qint32, QList<Record>> params;
    QStringList sortRequests;
    QList<qint32> parameterRequests;

    QList<Record> programs(const QString& sortColumn) override {
        sortRequests << sortColumn;
        QList<Record> out = rows;
        const QString column = sortColumn.isEmpty() ? QStringLiteral("NrP") : sortColumn;
        std::stable_sort(out.begin(), out.end(), [&](const Record& a, const Record& b) {
            if (a.isNull(column) || b.isNull(column)) return a.isNull(column) && !b.isNull(column);
            return a.value(column).toString().compare(b.value(column).toString(), Qt::CaseInsensitive) < 0;
        });
        return out;
    }
    QList<Record> parameters(qint32 programId) override {
        parameterRequests << programId;
        return params.value(programId);
    }
};

Record Program(int id, const QString& nrp, const QVariant& id1, const QVariant& id2, const QVariant& id3) {
    Record r;
    r.set("ID", id);
    r.set("NrP", nrp);
    r.set("ID1", id1);
    r.set("ID2", id2);
    r.set("ID3", id3);
    return r;
}

Record Parameter(int id, const QString& name, double wn, const QString& format, const QString& unit) {
    Record r;
    r.set("ID", id);
    r.set("Nazwa", name);
    r.set("WN", wn);
    r.set("Format", format);
    r.set("Jednostka", unit);
    return r;
}

FakeSource Source() {
    FakeSource s;
    s.rows = {Program(11, "01", QStringLiteral("Wałek"), QVariant(), QStringLiteral("Tokarka")),
              Program(12, "02", QStringLiteral("Tuleja"), QStringLiteral("XB-118"), QStringLiteral("Szlifierka")),
              Program(13, "03", QStringLiteral("Korpus"), QStringLiteral("ab-5502"), QStringLiteral("Frezarka")),
              Program(14, "04", QStringLiteral("Śruba"), QStringLiteral("AB-0012"), QStringLiteral("Automat")),
              Program(15, "05", QStringLiteral("O'Brien"), QStringLiteral("CD-1"), QVariant())};
    s.params[13] = {Parameter(131, QStringLiteral("Średnica"), 12.5, "0.00", "mm"),
                    Parameter(132, QStringLiteral("Długość"), 145, "0.0", "mm"),
                    Parameter(133, QStringLiteral("Twardość"), 58, "0", "HRC")};
    s.params[11] = {Parameter(111, QStringLiteral("Bicie"), 0.05, "0.000", "mm")};
    return s;
}

const QStringList kCaptions{QStringLiteral("Nazwa wyrobu"), QStringLiteral("Numer rysunku"),
                            QStringLiteral("Stanowisko")};

QString Cell(QTableWidget* g, int gridRow, int column) {
    QTableWidgetItem* item = g->item(gridRow - 1, column);
    return item ? item->text() : QString();
}

QStringList Column(QTableWidget* g, int column) {
    QStringList out;
    for (int r = 1; r <= g->rowCount(); ++r) out << Cell(g, r, column);
    return out;
}

void Show(ProgramK& w) {
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

// A box is entered the way the operator does it: by clicking into it.
void Enter(QLineEdit* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2)); }

void Type(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        // keyClicks cannot send letters outside ASCII; a key event with the text can.
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

void DoubleClick(QTableWidget* g, int gridRow) {
    const QPoint p = g->visualItemRect(g->item(gridRow - 1, 1 % g->columnCount())).center();
    // As the system delivers it: a click, then the double click and its release.
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, p);
}

struct RecordingPresenter {
    QList<MessageRequest> seen;
    MessagePresenter previous;
    RecordingPresenter() {
        previous = SetMessagePresenter([this](const MessageRequest& r) {
            seen << r;
            return false;
        });
    }
    ~RecordingPresenter() { SetMessagePresenter(previous); }
};

int Px(const QWidget& w, int twips) { return qRound(twips * w.logicalDpiX() / 1440.0); }

} // namespace

TEST(ProgramChoiceSql, QueriesOfTheTwoLists) {
    EXPECT_EQ(ProgramListSql({}), "Select * from [SPC_Programy] Where Lx>0 AND ArchP=0 Order by  NrP");
    EXPECT_EQ(ProgramListSql("ID3"), "Select * from [SPC_Programy] Where Lx>0 AND ArchP=0 Order by ID3");
    EXPECT_EQ(ProgramListSql("ID1; Drop table x"),
              "Select * from [SPC_Programy] Where Lx>0 AND ArchP=0 Order by  NrP");
    EXPECT_EQ(ParameterListSql(42),
              "Select * from [SPC_Setap] Where IDP=42 And TypKarty<>2 And SkalaSiatki is not null  Order by LP");
}

TEST(ProgramChoiceSql, PrefixSearchSkipsNullsAndIgnoresCase) {
    const FakeSource s = Source();
    EXPECT_EQ(FindFirstStartingWith(s.rows, "ID2", "AB"), 2);
    EXPECT_EQ(FindFirstStartingWith(s.rows, "id2", "ab-0"), 3);
    EXPECT_EQ(FindFirstStartingWith(s.rows, "ID2", ""), 1);
    EXPECT_EQ(FindFirstStartingWith(s.rows, "ID1", QStringLiteral("śr")), 3);
    EXPECT_EQ(FindFirstStartingWith(s.rows, "ID1", "O'B"), 4);
    EXPECT_EQ(FindFirstStartingWith(s.rows, "ID2", "ZZ"), -1);
}

TEST(ProgramK, OpensOnTheProgramListInProgramNumberOrder) {
    FakeSource s = Source();
    ProgramK w(s, kCaptions);
    Show(w);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Wybór programu kontroli"));
    EXPECT_EQ(s.sortRequests, QStringList{QString()});
    QTableWidget* g = w.Grid1();
    ASSERT_EQ(g->columnCount(), 4);
    EXPECT_EQ(g->horizontalHeaderItem(0)->text(), "LP");
    EXPECT_EQ(g->horizontalHeaderItem(2)->text(), "Numer rysunku");
    EXPECT_EQ(Column(g, 0), QStringList({"1", "2", "3", "4", "5"}));
    EXPECT_EQ(Column(g, 1).first(), QStringLiteral("Wałek"));
    EXPECT_EQ(Cell(g, 1, 2), ""); // null
    EXPECT_EQ(w.ProgramRow(), 1);
    EXPECT_EQ(g->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(g->selectionModel()->selectedRows().first().row(), 0);
    EXPECT_TRUE(g->isVisible());
    EXPECT_FALSE(w.Grid2()->isVisible());
    EXPECT_FALSE(w.SSCommand1()->isEnabled());
    EXPECT_FALSE(w.SSCommand3()->isVisible());
    EXPECT_EQ(w.SSCommand1()->text(), "&Wybierz");
    EXPECT_EQ(w.SSCommand2()->text(), "&Anuluj");
    EXPECT_EQ(w.SSCommand3()->text(), "<<");

    // Widths: number column 500 twips, the others the widest value + 150 twips.
    EXPECT_EQ(g->columnWidth(0), Px(w, 500));
    const QFontMetrics fm = g->fontMetrics();
    EXPECT_GE(g->columnWidth(3), fm.horizontalAdvance(QStringLiteral("Szlifierka")) + Px(w, 150));

    // One search box per column, each over its column.
    ASSERT_EQ(w.Text1Count(), 4);
    for (int i = 0; i < 4; ++i) {
        QLineEdit* box = w.Text1(i);
        EXPECT_TRUE(box->isVisible()) << i;
        EXPECT_EQ(box->width(), g->columnWidth(i)) << i;
        EXPECT_EQ(box->x(), g->viewport()->mapTo(&w, QPoint(g->columnViewportPosition(i), 0)).x()) << i;
        EXPECT_LE(box->geometry().bottom(), g->geometry().top());
    }
    // The list has the focus, so nothing was reordered on showing.
    EXPECT_EQ(QApplication::focusWidget(), g);
    EXPECT_EQ(w.SortColumn(), "");
}

TEST(ProgramK, EnteringABoxSortsByItsColumnAndRenumbers) {
    FakeSource s = Source();
    ProgramK w(s, kCaptions);
    Show(w);
    Enter(w.Text1(3));
    EXPECT_EQ(w.SortColumn(), "ID3");
    EXPECT_EQ(s.sortRequests.last(), "ID3");
    QTableWidget* g = w.Grid1();
    EXPECT_EQ(Column(g, 3), QStringList({"", "Automat", "Frezarka", "Szlifierka", "Tokarka"}));
    EXPECT_EQ(Column(g, 0), QStringList({"1", "2", "3", "4", "5"}));
    EXPECT_EQ(w.ProgramRow(), 1);
    EXPECT_EQ(w.CurrentProgram().value("ID").toInt(), 15);

    // Box 0 has no column: entering and typing in it change nothing.
    Enter(w.Text1(0));
    Type(w.Text1(0), "12");
    EXPECT_EQ(w.SortColumn(), "ID3");
    EXPECT_EQ(s.sortRequests.size(), 2);
    EXPECT_EQ(w.ProgramRow(), 1);
}

TEST(ProgramK, TypingSelectsTheFirstProgramStartingWithTheText) {
    FakeSource s = Source();
    ProgramK w(s, kCaptions);
    Show(w);
    QLineEdit* box = w.Text1(2);
    Enter(box); // order by ID2: null, AB-0012, ab-5502, CD-1, XB-118
    ASSERT_EQ(Column(w.Grid1(), 2), QStringList({"", "AB-0012", "ab-5502", "CD-1", "XB-118"}));
    QTest::keyClicks(box, "X");
    EXPECT_EQ(w.ProgramRow(), 5);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, "AB");
    EXPECT_EQ(w.ProgramRow(), 2);
    EXPECT_EQ(w.CurrentProgram().value("ID").toInt(), 14);
    EXPECT_EQ(w.Grid1()->selectionModel()->selectedRows().first().row(), 1);
    QTest::keyClicks(box, "-5");
    EXPECT_EQ(w.ProgramRow(), 3); // letters compared without regard to case
    QTest::keyClicks(box, "9");   // no match: the selection stays
    EXPECT_EQ(w.ProgramRow(), 3);

    // Emptying the box selects the first program that has a value there.
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(box->text(), "");
    EXPECT_EQ(w.ProgramRow(), 2);
}

TEST(ProgramK, SearchTextWithPolishLettersOrAQuote) {
    FakeSource s = Source();
    ProgramK w(s, kCaptions);
    Show(w);
    QLineEdit* box = w.Text1(1);
    Enter(box);
    Type(box, QStringLiteral("śr"));
    EXPECT_EQ(w.CurrentProgram().value("ID").toInt(), 14);
    box->clear();
    Type(box, QStringLiteral("o'b"));
    EXPECT_EQ(box->text(), QStringLiteral("o'b"));
    EXPECT_EQ(w.CurrentProgram().value("ID").toInt(), 15);
    Type(box, QStringLiteral("'"));
    EXPECT_EQ(w.CurrentProgram().value("ID").toInt(), 15);
}

TEST(ProgramK, UpAndDownStayWithinTheRows) {
    FakeSource s = Source();
    ProgramK w(s, kCaptions);
    Show(w);
    QTableWidget* g = w.Grid1();
    QTest::keyClick(g, Qt::Key_Up);
    EXPECT_EQ(w.ProgramRow(), 1);
    QTest::keyClick(g, Qt::Key_Down);
    EXPECT_EQ(w.ProgramRow(), 2);
    // The window handles the keys before its controls, also in a search box.
    QTest::keyClick(w.Text1(0), Qt::Key_Down);
    EXPECT_EQ(w.ProgramRow(), 3);
    for (int i = 0; i < 5; ++i) QTest::keyClick(g, Qt::Key_Down);
    EXPECT_EQ(w.ProgramRow(), 5);
    EXPECT_EQ(g->currentRow(), 4);
    EXPECT_EQ(g->selectionModel()->selectedRows().first().row(), 4);
}

TEST(ProgramK, SelectedRowScrollsToTheTop) {
    FakeSource s;
    for (int i = 1; i <= 60; ++i)
        s.rows << Program(i, QStringLiteral("%1").arg(i, 3, 10, QChar(u'0')), QStringLiteral("P%1").arg(i),
                          QStringLiteral("R%1").arg(i, 3, 10, QChar(u'0')), QVariant());
    ProgramK w(s, kCaptions);
    Show(w);
    QTableWidget* g = w.Grid1();
    w.Text1(2)->setText("R040");        // searching without entering the box
    EXPECT_EQ(w.ProgramRow(), 40);
    EXPECT_EQ(g->rowAt(0), 39);
    QTest::keyClick(g, Qt::Key_Up); // row 39 is above the visible part
    EXPECT_EQ(g->rowAt(0), 38);
    QTest::keyClick(g, Qt::Key_Down); // row 40 is visible: no scrolling
    EXPECT_EQ(g->rowAt(0), 38);
}

TEST(ProgramK, DoubleClicksOpenTheParametersAndChoose) {
    FakeSource s = Source();
    ProgramK w(s, kCaptions);
    Show(w);
    DoubleClick(w.Grid1(), 3);
    ASSERT_TRUE(w.ShowsParameters());
    EXPECT_EQ(s.parameterRequests, QList<qint32>{13});
    QTableWidget* g2 = w.Grid2();
    EXPECT_TRUE(g2->isVisible());
    EXPECT_FALSE(w.Grid1()->isVisible());
    for (int i = 0; i < w.Text1Count(); ++i) EXPECT_FALSE(w.Text1(i)->isVisible()) << i;
    EXPECT_TRUE(w.SSCommand1()->isEnabled());
    EXPECT_TRUE(w.SSCommand3()->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), g2);
    ASSERT_EQ(g2->columnCount(), 4);
    EXPECT_EQ(g2->horizontalHeaderItem(0)->text(), "Lp");
    EXPECT_EQ(g2->horizontalHeaderItem(1)->text(), "Nazwa parametru");
    EXPECT_EQ(g2->horizontalHeaderItem(2)->text(), QStringLiteral("Nominał"));
    EXPECT_EQ(g2->horizontalHeaderItem(3)->text(), "Jednostka");
    EXPECT_EQ(Column(g2, 0), QStringList({"1", "2", "3"}));
    EXPECT_EQ(Column(g2, 2), QStringList({"12,50", "145,0", "58"}));
    EXPECT_EQ(Column(g2, 3), QStringList({"mm", "mm", "HRC"}));
    EXPECT_EQ(w.ParameterRow(), 1);
    const QFontMetrics fm = g2->fontMetrics();
    EXPECT_GT(g2->columnWidth(1), fm.horizontalAdvance(QStringLiteral("Nazwa parametru")));

    DoubleClick(g2, 2);
    EXPECT_TRUE(w.DialogAccepted());
    EXPECT_EQ(w.ChosenProgramID(), 13);
    EXPECT_EQ(w.ChosenParameterID(), 132);
    EXPECT_FALSE(w.isVisible());
}

TEST(ProgramK, EnterOpensTheParametersThenChooses) {
    FakeSource s = Source();
    ProgramK w(s, kCaptions);
    Show(w);
    QTest::keyClick(w.Grid1(), Qt::Key_Return);
    ASSERT_TRUE(w.ShowsParameters());
    EXPECT_EQ(s.parameterRequests, QList<qint32>{11});
    QTest::keyClick(w.Grid2(), Qt::Key_Down); // a single row: stays
    EXPECT_EQ(w.ParameterRow(), 1);
    QTest::keyClick(w.Grid2(), Qt::Key_Enter);
    EXPECT_TRUE(w.DialogAccepted());
    EXPECT_EQ(w.ChosenProgramID(), 11);
    EXPECT_EQ(w.ChosenParameterID(), 111);
}

TEST(ProgramK, BackReturnsToTheProgramList) {
    FakeSource s = Source();
    ProgramK w(s, kCaptions);
    Show(w);
    QTest::keyClick(w.Grid1(), Qt::Key_Down);
    QTest::keyClick(w.Grid1(), Qt::Key_Down);
    QTest::keyClick(w.Grid1(), Qt::Key_Return);
    ASSERT_TRUE(w.ShowsParameters());
    QTest::mouseClick(w.SSCommand3(), Qt::LeftButton);
    EXPECT_FALSE(w.ShowsParameters());
    EXPECT_TRUE(w.Grid1()->isVisible());
    EXPECT_FALSE(w.Grid2()->isVisible());
    EXPECT_FALSE(w.SSCommand1()->isEnabled());
    EXPECT_FALSE(w.SSCommand3()->isVisible());
    for (int i = 0; i < w.Text1Count(); ++i) EXPECT_TRUE(w.Text1(i)->isVisible()) << i;
    EXPECT_EQ(w.ProgramRow(), 3);
    // Enter on the program list opens the parameters again.
    QTest::keyClick(w.Grid1(), Qt::Key_Return);
    EXPECT_TRUE(w.ShowsParameters());
    EXPECT_EQ(s.parameterRequests, QList<qint32>({13, 13}));
    QTest::mouseClick(w.SSCommand1(), Qt::LeftButton);
    EXPECT_TRUE(w.DialogAccepted());
    EXPECT_EQ(w.ChosenParameterID(), 131);
}

TEST(ProgramK, CancelReturnsNoChoice) {
    {
        FakeSource s = Source();
        ProgramK w(s, kCaptions);
        Show(w);
        QTest::keyClick(w.Grid1(), Qt::Key_Return);
        ASSERT_TRUE(w.ShowsParameters());
        QTest::mouseClick(w.SSCommand2(), Qt::LeftButton);
        EXPECT_FALSE(w.DialogAccepted());
        EXPECT_EQ(w.ChosenProgramID(), 0);
        EXPECT_EQ(w.ChosenParameterID(), 0);
        EXPECT_FALSE(w.isVisible());
    }
    {
        FakeSource s = Source();
        ProgramK w(s, kCaptions);
        Show(w);
        QTest::keyClick(w.Text1(1), Qt::Key_Escape);
        EXPECT_FALSE(w.DialogAccepted());
        EXPECT_FALSE(w.isVisible());
    }
    {
        // Enter on the focused Anuluj button is that button's click.
        FakeSource s = Source();
        ProgramK w(s, kCaptions);
        Show(w);
        QTest::keyClick(w.Grid1(), Qt::Key_Return);
        w.SSCommand2()->setFocus();
        QTest::keyClick(w.SSCommand2(), Qt::Key_Return);
        EXPECT_FALSE(w.DialogAccepted());
        EXPECT_FALSE(w.isVisible());
    }
    {
        FakeSource s = Source();
        ProgramK w(s, kCaptions);
        Show(w);
        EXPECT_TRUE(w.close());
        EXPECT_FALSE(w.DialogAccepted());
    }
}

TEST(ProgramK, ProgramWithoutParametersShowsTheMessageAndStays) {
    RecordingPresenter messages;
    FakeSource s = Source();
    ProgramK w(s, kCaptions);
    Show(w);
    QTest::keyClick(w.Grid1(), Qt::Key_Down);
    QTest::keyClick(w.Grid1(), Qt::Key_Return);
    ASSERT_EQ(messages.seen.size(), 1);
    const MessageRequest& m = messages.seen.first();
    EXPECT_EQ(m.text, QStringLiteral("Wskazany program kontroli nie zawiera definicji parametrów mierzalnych.") +
                          QChar(13) + QStringLiteral("Wskaź inny program kontroli !"));
    EXPECT_EQ(m.style, 16);
    EXPECT_EQ(m.alignment, 2);
    EXPECT_FALSE(m.question);
    EXPECT_FALSE(w.ShowsParameters());
    EXPECT_TRUE(w.Grid1()->isVisible());
    EXPECT_FALSE(w.SSCommand1()->isEnabled());
    EXPECT_EQ(w.ProgramRow(), 2);
    // Wybierz is not possible from the program list.
    QTest::mouseClick(w.SSCommand1(), Qt::LeftButton);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.DialogAccepted());
}

TEST(ProgramK, WithoutIdentificationFieldsOnlyRunningNumbers) {
    FakeSource s = Source();
    ProgramK w(s, {});
    Show(w);
    ASSERT_EQ(w.Grid1()->columnCount(), 1);
    EXPECT_EQ(Column(w.Grid1(), 0), QStringList({"1", "2", "3", "4", "5"}));
    ASSERT_EQ(w.Text1Count(), 1);
    Enter(w.Text1(0));
    Type(w.Text1(0), "3");
    EXPECT_EQ(w.SortColumn(), "");
    EXPECT_EQ(w.ProgramRow(), 1);
    QTest::keyClick(w.Grid1(), Qt::Key_Down);
    QTest::keyClick(w.Grid1(), Qt::Key_Down);
    QTest::keyClick(w.Grid1(), Qt::Key_Return);
    ASSERT_TRUE(w.ShowsParameters());
    QTest::keyClick(w.Grid2(), Qt::Key_Return);
    EXPECT_EQ(w.ChosenProgramID(), 13);
}

TEST(ProgramK, EmptyProgramListIsHarmless) {
    FakeSource s;
    ProgramK w(s, kCaptions);
    Show(w);
    EXPECT_EQ(w.Grid1()->rowCount(), 0);
    EXPECT_EQ(w.ProgramRow(), 0);
    QTest::keyClick(w.Grid1(), Qt::Key_Down);
    QTest::keyClick(w.Grid1(), Qt::Key_Return);
    Type(w.Text1(1), "A");
    EXPECT_FALSE(w.ShowsParameters());
    EXPECT_TRUE(s.parameterRequests.isEmpty());
}

TEST(ProgramK, HorizontalScrollingMovesTheBoxes) {
    FakeSource s = Source();
    s.rows[0].set("ID1", QStringLiteral("Pierścień uszczelniający wału korbowego silnika wysokoprężnego"));
    ProgramK w(s, kCaptions);
    w.resize(Px(w, 5000), Px(w, 4000));
    Show(w);
    QTableWidget* g = w.Grid1();
    QScrollBar* bar = g->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_FALSE(w.Text1(3)->isVisible()); // its column lies right of the view
    bar->setValue(bar->maximum()); // column 1 starts left of the view now
    EXPECT_FALSE(w.Text1(0)->isVisible());
    EXPECT_FALSE(w.Text1(1)->isVisible());
    for (int i = 2; i < 4; ++i) {
        const int pos = g->columnViewportPosition(i);
        if (pos < g->viewport()->width()) {
            EXPECT_TRUE(w.Text1(i)->isVisible()) << i;
            EXPECT_EQ(w.Text1(i)->x(), g->viewport()->mapTo(&w, QPoint(pos, 0)).x()) << i;
            EXPECT_LE(w.Text1(i)->geometry().right(), g->viewport()->mapTo(&w, QPoint(g->viewport()->width(), 0)).x());
        }
    }
    EXPECT_TRUE(w.Text1(3)->isVisible());
    bar->setValue(0);
    EXPECT_TRUE(w.Text1(1)->isVisible());
}

TEST(DbProgramChoiceSource, ReadsActiveProgramsAndMeasurableParameters) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    DbConnection conn;
    ASSERT_TRUE(conn.openSqliteFile(dir.filePath("Norv.mdb"), false));
    ASSERT_TRUE(ApplySchema(conn));
    const auto program = [&](int nrp, int lx, int arch, const QVariant& id2) {
        Record r;
        r.set("NrP", nrp);
        r.set("Lx", lx);
        r.set("ArchP", arch);
        r.set("ID1", QStringLiteral("Program %1").arg(nrp));
        r.set("ID2", id2);
        return conn.append("SPC_Programy", r);
    };
    ASSERT_TRUE(program(3, 1, 0, "B"));
    ASSERT_TRUE(program(1, 1, 0, "C"));
    ASSERT_TRUE(program(2, 1, 1, "A")); // archived
    ASSERT_TRUE(program(4, 0, 0, "A")); // no active parameter count
    ASSERT_TRUE(program(5, 2, 0, "A"));
    const auto parameter = [&](int idp, int lp, int typ, const QVariant& skala, const QString& name) {
        Record r;
        r.set("IDP", idp);
        r.set("LP", lp);
        r.set("TypKarty", typ);
        r.set("SkalaSiatki", skala);
        r.set("Nazwa", name);
        return conn.append("SPC_Setap", r);
    };
    ASSERT_TRUE(parameter(1, 2, 0, 20, "druga"));
    ASSERT_TRUE(parameter(1, 1, 1, 20, "pierwsza"));
    ASSERT_TRUE(parameter(1, 3, 2, 20, "karta typu 2"));
    ASSERT_TRUE(parameter(1, 4, 0, QVariant(), "bez skali"));
    ASSERT_TRUE(parameter(2, 1, 0, 20, "innego programu"));

    DbProgramChoiceSource source(conn);
    const auto ids = [](const QList<Record>& rows, const char* column) {
        QStringList out;
        for (const Record& r : rows) out << r.value(column).toString();
        return out;
    };
    EXPECT_EQ(ids(source.programs({}), "NrP"), QStringList({"1", "3", "5"}));
    EXPECT_EQ(ids(source.programs("ID2"), "ID2"), QStringList({"A", "B", "C"}));
    EXPECT_EQ(ids(source.parameters(1), "Nazwa"), QStringList({"pierwsza", "druga"}));
    EXPECT_TRUE(source.parameters(99).isEmpty());
}
