#include "ReadingFixtures.h"

#include "common/TestHelpers.h"
#include "platform/Messages.h"
#include "reading/ui/ReadingController.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

constexpr QRgb kRed = 0xffff0000u;
constexpr QRgb kWhite = 0xffffffffu;

// The controls the reading works with.
struct Window {
    SyntheticGrid g;
    QImage clean, p1, p3;
    Record parameter;
    QWidget root;
    QPushButton *command7 = new QPushButton(&root), *command10 = new QPushButton(&root),
                *command11 = new QPushButton(&root), *command12 = new QPushButton(&root);
    QLabel *label2 = new QLabel("20%", &root), *label3 = new QLabel(&root), *label4 = new QLabel(&root);
    QProgressBar* progress = new QProgressBar(&root);
    QFrame* panel = new QFrame(&root);
    QListWidget* list1 = new QListWidget(panel);
    QPushButton *command13 = new QPushButton(panel), *close = new QPushButton(panel);
    QWidget *p3View = new QWidget(&root), *p1View = new QWidget(&root);
    QLabel* image4 = new QLabel(p1View);
    ReadingState state;
    ReadingController* controller;
    bool autoMode = false;

    explicit Window(const SyntheticGrid& grid = {}, QVariant probka = 5)
        : g(grid), clean(BlankGrid(g)), p1(clean), p3(BlankCountStrip(g.width())),
          parameter(GridParameter(g, probka)) {
        for (auto* b : {command10, command11, command12}) b->setEnabled(false);
        progress->hide();
        p1View->setGeometry(0, 80, g.width(), g.height());
        image4->resize(16, 16);
        image4->hide();
        panel->hide();
        root.resize(g.width() + 220, g.height() + 100);
        controller = new ReadingController({command7, command10, command11, command12, command13, close, label2,
                                            label3, label4, panel, list1, progress, p1View, p3View, image4},
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

TEST(ReadingController, ReadListPointAndModes) {
    Window w;
    Blacken(w.clean, w.g, 4, 1);
    Blacken(w.clean, w.g, 2, 7);
    QTest::mouseClick(w.command7, Qt::LeftButton);
    EXPECT_EQ(w.state.MeasurementCount(), 2);
    EXPECT_FALSE(w.command7->isEnabled());
    for (auto* b : {w.command10, w.command11, w.command12}) EXPECT_TRUE(b->isEnabled());
    EXPECT_TRUE(w.progress->isHidden());
    EXPECT_TRUE(w.label3->isHidden());
    EXPECT_TRUE(w.state.measurements()[0].value.isNull()) << "the list is hidden";
    EXPECT_EQ(w.p1.pixel(w.g.centre(4, 1)), kRed) << "boxes drawn on the caller's picture";

    QTest::mouseClick(w.command10, Qt::LeftButton);
    EXPECT_TRUE(w.panel->isVisible());
    EXPECT_EQ(w.listItems(), (QStringList{"Lp\tSekcja\tPomiar", "1. \t2.\t10,75", "2. \t4.\t10,15"}));
    EXPECT_EQ(w.root.focusWidget(), w.command13);
    EXPECT_FALSE(w.command11->isEnabled());
    // A line points at its mark; the header hides the pointer.
    w.list1->setCurrentRow(2);
    const QPoint c = w.g.centre(4, 1);
    EXPECT_TRUE(w.image4->isVisible());
    EXPECT_EQ(w.image4->pos(), QPoint(c.x() - 8 + 1, c.y() - 8));
    w.list1->setCurrentRow(0);
    EXPECT_FALSE(w.image4->isVisible());
    w.list1->setCurrentRow(1);

    // Hiding does not refill: a line changed by hand stays as it is.
    w.list1->item(1)->setText("x");
    QTest::mouseClick(w.close, Qt::LeftButton);
    EXPECT_FALSE(w.panel->isVisible());
    EXPECT_FALSE(w.image4->isVisible()) << "the list command hides the pointer";
    EXPECT_EQ(w.list1->item(1)->text(), "x");
    EXPECT_TRUE(w.command11->isEnabled());

    // The correction modes exclude each other.
    w.controller->Command11Click();
    EXPECT_EQ(w.label4->text(), "Tryb wprowadzania.");
    w.controller->Command12Click();
    EXPECT_EQ(w.label4->text(), "Tryb usuwania.");
    EXPECT_FALSE(w.state.entryMode());
    w.controller->Command12Click();
    EXPECT_EQ(w.label4->text(), "");

    // With the list shown, another reading fills it.
    w.panel->show();
    w.command7->setEnabled(true);
    w.controller->Command7Click();
    EXPECT_EQ(w.listItems().size(), 3);
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

// Entry adds one entry per empty cell (not on grid lines, not outside the
// grid); deletion takes only a click inside the red box; a two-digit count is
// reprinted whole; with the list shown clicks do nothing.
TEST(ReadingController, EntryAndDeletionCorrectTheReading) {
    Window w(SyntheticGrid{}, 12);
    for (int row = 0; row < 11; ++row) Blacken(w.clean, w.g, 2, row);
    Blacken(w.clean, w.g, 4, 5);
    w.controller->Command7Click();
    QTest::mouseClick(w.command11, Qt::LeftButton);
    ASSERT_TRUE(w.state.entryMode());
    const QPoint cell = w.g.centre(4, 1) + QPoint(-10, 6);
    for (const QPoint p : {QPoint(cell.x(), w.g.height() - 1 - 2 * w.g.rh), QPoint(3 * w.g.cw, cell.y()),
                           w.g.centre(4, 5), QPoint(w.g.width() + 1, 10)}) {
        w.clickP1(p);
        EXPECT_EQ(w.state.MeasurementCount(), 12) << p.x() << "," << p.y();
    }
    w.clickP1(cell);
    ASSERT_EQ(w.state.MeasurementCount(), 13);
    const MeasurementEntry& e = w.state.measurements()[12];
    EXPECT_EQ(e.section, 4);
    EXPECT_EQ(e.row, 1);
    EXPECT_EQ(QPoint(e.x, e.y), w.g.centre(4, 1));
    EXPECT_EQ(w.p1.pixel(w.g.centre(4, 1)), kRed);
    EXPECT_EQ(w.state.columnCounts()[3], 2);
    w.clickP1(cell + QPoint(2, -3));
    EXPECT_EQ(w.state.MeasurementCount(), 13);

    const auto [a, b] = w.g.column(2);
    const int wide = InkPixels(w.p3, a, b);
    w.controller->Command12Click();
    EXPECT_FALSE(w.state.entryMode());
    const QPoint c = w.g.centre(2, 10);
    w.clickP1(c + QPoint(w.g.cw / 4 + 2, 0)); // in the marked cell beside its box
    w.clickP1(c + QPoint(w.g.cw / 4, 0));     // on the box's edge: a neighbour is not red
    EXPECT_EQ(w.state.columnCounts()[1], 11);
    w.clickP1(c + QPoint(3, 2));
    ASSERT_EQ(w.state.columnCounts()[1], 10);
    EXPECT_EQ(CountPixels(w.p1.copy(w.g.cell(2, 10)), 0, w.g.cw, kRed), 0) << "no red left in the cell";
    EXPECT_GT(CountPixels(w.p1.copy(w.g.cell(2, 9)), 0, w.g.cw, kRed), 0);
    EXPECT_EQ(w.p1.pixel(c), kWhite);
    w.clickP1(c + QPoint(3, 2));
    w.clickP1(w.g.centre(2, 9) + QPoint(1, 1));
    w.clickP1(w.g.centre(2, 8) + QPoint(1, 1));
    ASSERT_EQ(w.state.columnCounts()[1], 8);
    // Exactly a freshly printed "8" in bold red, nothing of "11" or "10" around it.
    QImage fresh = BlankCountStrip(w.p3.width());
    PrintCount(fresh, w.state.grid().GridOriginX + 1.5f * w.state.grid().ColumnWidth, 8, w.parameter);
    EXPECT_EQ(w.p3.copy(a, 0, b - a, 19), fresh.copy(a, 0, b - a, 19));
    EXPECT_LT(InkPixels(w.p3, a, b), wide);
    EXPECT_GT(CountPixels(w.p3, a, b, kRed), 0);
    EXPECT_GT(InkPixels(w.p3, 1, w.g.cw), 0) << "the other columns keep their counts";

    // The list sorts the new entry into its section.
    w.controller->Command10Click();
    EXPECT_EQ(w.listItems().mid(9), (QStringList{"9. \t4.\t10,55", "10. \t4.\t10,15"}));
    w.clickP1(w.g.centre(2, 0));
    EXPECT_EQ(w.state.MeasurementCount(), 10);
}
