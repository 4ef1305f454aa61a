#include "ReadingFixtures.h"

#include "common/TestHelpers.h"
#include "reading/ui/ReadingController.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

constexpr QRgb kRed = 0xffff0000u;

// The controls the reading works with; the pictures are the caller's.
struct Window {
    SyntheticGrid g;
    QImage clean, p1, p3;
    Record parameter;
    QWidget root;
    QPushButton *command7 = new QPushButton(&root), *command10 = new QPushButton(&root),
                *command11 = new QPushButton(&root), *command12 = new QPushButton(&root);
    QLabel *label2 = new QLabel("20%", &root), *label4 = new QLabel(&root);
    QWidget* panel = new QWidget(&root);
    QListWidget* list1 = new QListWidget(panel);
    QPushButton* close = new QPushButton(panel);
    QWidget* p1View = new QWidget(&root);
    QLabel* image4 = new QLabel(p1View);
    ReadingState state;
    ReadingController* controller;
    bool autoMode = false;

    explicit Window(const SyntheticGrid& grid = {}, QVariant probka = 5)
        : g(grid), clean(g.picture()), parameter(GridParameter(g, probka)) {
        for (auto* b : {command10, command11, command12}) b->setEnabled(false);
        p1View->setGeometry(0, 80, g.width(), g.height());
        image4->resize(16, 16);
        image4->hide();
        panel->hide();
        root.resize(g.width() + 220, g.height() + 100);
        controller = new ReadingController({command7, command10, command11, command12, nullptr, close, label2, nullptr,
                                            label4, panel, list1, nullptr, p1View, nullptr, image4},
                                           state, p1, p3, &root);
        controller->setInput([this] { return ReadingInput{clean, parameter, RangeOf(parameter)}; });
        controller->setAutoMode([this] { return autoMode; });
        root.show();
    }
    void clickP1(QPoint p) {
        QTest::mouseMove(p1View, p);
        QTest::mouseClick(p1View, Qt::LeftButton, Qt::NoModifier, p);
    }
    QStringList listItems() const {
        QStringList out;
        for (int i = 0; i < list1->count(); ++i) out << list1->item(i)->text();
        return out;
    }
};

} // namespace

// Read with the list hidden, list and pointer, then the corrections: entry
// adds one entry per empty cell (not on grid lines, not outside the grid);
// deletion takes only a click inside the red box; a two-digit count is
// reprinted whole; the list sorts a new entry into its section.
TEST(ReadingController, ReadListAndCorrect) {
    Window w(SyntheticGrid{}, 12);
    for (int row = 0; row < 11; ++row) Blacken(w.clean, w.g, 2, row);
    Blacken(w.clean, w.g, 4, 5);
    QTest::mouseClick(w.command7, Qt::LeftButton);
    EXPECT_EQ(w.state.MeasurementCount(), 12);
    EXPECT_FALSE(w.command7->isEnabled());
    for (auto* b : {w.command10, w.command11, w.command12}) EXPECT_TRUE(b->isEnabled());
    EXPECT_TRUE(w.state.measurements()[0].value.isNull()) << "the list is hidden";

    QTest::mouseClick(w.command10, Qt::LeftButton);
    EXPECT_TRUE(w.panel->isVisible());
    EXPECT_EQ(w.listItems().mid(11), (QStringList{"11. \t2.\t11,05", "12. \t4.\t10,55"}));
    EXPECT_FALSE(w.command11->isEnabled());
    w.list1->setCurrentRow(12); // a line points at its mark; the header hides the pointer
    const QPoint c45 = w.g.centre(4, 5);
    EXPECT_TRUE(w.image4->isVisible());
    EXPECT_EQ(w.image4->pos(), QPoint(c45.x() - 8 + 1, c45.y() - 8));
    w.list1->setCurrentRow(0);
    EXPECT_FALSE(w.image4->isVisible());
    w.clickP1(w.g.centre(2, 0)); // with the list shown clicks do nothing
    QTest::mouseClick(w.close, Qt::LeftButton);
    EXPECT_FALSE(w.panel->isVisible());
    EXPECT_TRUE(w.command11->isEnabled());

    QTest::mouseClick(w.command12, Qt::LeftButton);
    QTest::mouseClick(w.command11, Qt::LeftButton); // the modes exclude each other
    EXPECT_EQ(w.label4->text(), "Tryb wprowadzania.");
    ASSERT_TRUE(w.state.entryMode() && !w.state.deletionMode());
    const QPoint cell = w.g.centre(4, 1) + QPoint(-10, 6);
    for (const QPoint p : {QPoint(cell.x(), w.g.height() - 1 - 2 * w.g.rh), QPoint(3 * w.g.cw, cell.y()), c45,
                           QPoint(w.g.width() + 1, 10)}) {
        w.clickP1(p);
        EXPECT_EQ(w.state.MeasurementCount(), 12) << p.x() << "," << p.y();
    }
    w.clickP1(cell);
    w.clickP1(cell + QPoint(2, -3));
    ASSERT_EQ(w.state.MeasurementCount(), 13);
    const MeasurementEntry& e = w.state.measurements()[12];
    EXPECT_EQ(std::tuple(e.section, e.row, QPoint(e.x, e.y)), std::tuple(4, 1, w.g.centre(4, 1)));
    EXPECT_EQ(w.p1.pixel(w.g.centre(4, 1)), kRed);
    EXPECT_EQ(w.state.columnCounts()[3], 2);

    const auto [a, b] = w.g.column(2);
    const int wide = Ink(w.p3, a, b);
    QTest::mouseClick(w.command12, Qt::LeftButton);
    EXPECT_EQ(w.label4->text(), "Tryb usuwania.");
    const QPoint c = w.g.centre(2, 10);
    w.clickP1(c + QPoint(w.g.cw / 4 + 2, 0)); // in the marked cell beside its box
    w.clickP1(c + QPoint(w.g.cw / 4, 0));     // on the box's edge: a neighbour is not red
    EXPECT_EQ(w.state.columnCounts()[1], 11);
    w.clickP1(c + QPoint(3, 2));
    ASSERT_EQ(w.state.columnCounts()[1], 10);
    EXPECT_EQ(Ink(w.p1.copy(w.g.cell(2, 10)), 0, w.g.cw, kRed), 0) << "no red left in the cell";
    EXPECT_GT(Ink(w.p1.copy(w.g.cell(2, 9)), 0, w.g.cw, kRed), 0);
    w.clickP1(c + QPoint(3, 2));
    w.clickP1(w.g.centre(2, 9) + QPoint(1, 1));
    w.clickP1(w.g.centre(2, 8) + QPoint(1, 1));
    ASSERT_EQ(w.state.columnCounts()[1], 8);
    // Exactly a freshly printed "8" in bold red, nothing of "11" or "10" around it.
    QImage fresh = BlankCountStrip(w.p3.width());
    PrintCount(fresh, w.state.grid().GridOriginX + 1.5f * w.state.grid().ColumnWidth, 8, w.parameter);
    EXPECT_EQ(w.p3.copy(a, 0, b - a, 19), fresh.copy(a, 0, b - a, 19));
    EXPECT_LT(Ink(w.p3, a, b), wide);
    EXPECT_GT(Ink(w.p3, a, b, kRed), 0);
    EXPECT_GT(Ink(w.p3, 1, w.g.cw), 0) << "the other columns keep their counts";
    QTest::mouseClick(w.command12, Qt::LeftButton);
    EXPECT_EQ(w.label4->text(), "");

    QTest::mouseClick(w.command10, Qt::LeftButton);
    EXPECT_EQ(w.listItems().mid(9), (QStringList{"9. \t4.\t10,55", "10. \t4.\t10,15"}));
}

TEST(ReadingController, AutomaticModeComputesValuesAndTooManyMarksAreRefused) {
    Window w;
    w.autoMode = true;
    Blacken(w.clean, w.g, 3, 19);
    EXPECT_TRUE(w.controller->Command7Click());
    EXPECT_TRUE(w.command7->isEnabled());
    EXPECT_FALSE(w.command10->isEnabled());
    EXPECT_DOUBLE_EQ(w.state.measurements()[0].value.toDouble(), 11.95);
    EXPECT_EQ(w.list1->count(), 0);

    Window full(SyntheticGrid{256, 129, 4, 4});
    full.clean.fill(Qt::black);
    MessageRecorder shown;
    EXPECT_FALSE(full.controller->Command7Click());
    ASSERT_EQ(shown.requests.size(), 1u);
    EXPECT_TRUE(shown.requests[0].text.contains("32767"));
    EXPECT_TRUE(full.command7->isEnabled());
    EXPECT_FALSE(full.command10->isEnabled());
}
