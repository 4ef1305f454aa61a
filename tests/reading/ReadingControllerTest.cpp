#include "ReadingFixtures.h"

#include "common/TestHelpers.h"
#include "platform/Messages.h"
#include "reading/ui/ReadingController.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

constexpr QRgb kRed = 0xffff0000u;
constexpr QRgb kWhite = 0xffffffffu;

// Shows a picture held elsewhere, one image pixel per screen pixel.
class ImageView : public QWidget {
public:
    ImageView(const QImage& image, QWidget* parent) : QWidget(parent), m_image(image) {}
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(0, 0, m_image);
    }

private:
    const QImage& m_image;
};

// The controls the reading works with, laid out as on the main window.
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
    ImageView *p3View, *p1View;
    QLabel* image4;
    ReadingState state;
    ReadingController* controller;
    bool autoMode = false;

    explicit Window(const SyntheticGrid& grid = {}, QVariant probka = 5)
        : g(grid), clean(BlankGrid(g)), p1(clean), p3(BlankCountStrip(g.width())),
          parameter(GridParameter(g, probka)), p3View(new ImageView(p3, &root)), p1View(new ImageView(p1, &root)),
          image4(new QLabel(p1View)) {
        for (auto* b : {command10, command11, command12}) b->setEnabled(false);
        progress->hide();
        p3View->setGeometry(0, 58, g.width(), 19);
        p1View->setGeometry(0, 80, g.width(), g.height());
        image4->resize(16, 16);
        image4->hide();
        panel->setGeometry(g.width() + 10, 80, 200, 300);
        list1->setGeometry(4, 4, 190, 250);
        command13->move(4, 260);
        close->move(100, 260);
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
    std::pair<int, int> column(int s) const { return {(s - 1) * g.cw + 1, s * g.cw}; }
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

TEST(ReadingController, EntryByClickAddsOneEntryPerCell) {
    Window w;
    Blacken(w.clean, w.g, 4, 5);
    w.controller->Command7Click();
    QTest::mouseClick(w.command11, Qt::LeftButton);
    ASSERT_TRUE(w.state.entryMode());

    // On a grid line: nothing (the row line between rows 1 and 2 of section 4).
    const int lineY = w.g.height() - 1 - 2 * w.g.rh;
    w.clickP1(QPoint(w.g.centre(4, 1).x(), lineY));
    EXPECT_EQ(w.state.MeasurementCount(), 1);
    w.clickP1(QPoint(3 * w.g.cw, w.g.centre(4, 1).y())); // column line
    EXPECT_EQ(w.state.MeasurementCount(), 1);

    // An empty cell of section 4, row 1: one entry, a box, the count 2 stays red (of 5).
    const QPoint cell = w.g.centre(4, 1) + QPoint(-10, 6);
    w.clickP1(cell);
    ASSERT_EQ(w.state.MeasurementCount(), 2);
    const MeasurementEntry& e = w.state.measurements()[1];
    EXPECT_EQ(e.section, 4);
    EXPECT_EQ(e.row, 1);
    EXPECT_EQ(QPoint(e.x, e.y), w.g.centre(4, 1));
    EXPECT_EQ(w.p1.pixel(w.g.centre(4, 1)), kRed);
    EXPECT_EQ(w.state.columnCounts()[3], 2);

    // Again in the same cell: still one entry for it.
    w.clickP1(cell + QPoint(2, -3));
    EXPECT_EQ(w.state.MeasurementCount(), 2);
    // A click in the cell the reading found adds nothing either.
    w.clickP1(w.g.centre(4, 5));
    EXPECT_EQ(w.state.MeasurementCount(), 2);
    // Outside the grid.
    w.clickP1(QPoint(w.g.width() + 1, 10));
    EXPECT_EQ(w.state.MeasurementCount(), 2);

    // The list sorts the new entry into its section.
    w.controller->Command10Click();
    EXPECT_EQ(w.listItems().mid(1), (QStringList{"1. \t4.\t10,55", "2. \t4.\t10,15"}));
    // With the list shown clicks do nothing.
    w.clickP1(w.g.centre(6, 6));
    EXPECT_EQ(w.state.MeasurementCount(), 2);
}

TEST(ReadingController, DeletionOnlyInsideTheRedBox) {
    Window w;
    Blacken(w.clean, w.g, 2, 3);
    Blacken(w.clean, w.g, 2, 8);
    w.controller->Command7Click();
    w.controller->Command12Click();
    const QPoint c = w.g.centre(2, 3);
    // In the marked cell but beside its box (box is cw/2 x rh/2 on the centre).
    w.clickP1(c + QPoint(w.g.cw / 4 + 2, 0));
    EXPECT_EQ(w.state.MeasurementCount(), 2);
    // On the box's edge: a neighbour of the pixel is not red.
    w.clickP1(c + QPoint(w.g.cw / 4, 0));
    EXPECT_EQ(w.state.MeasurementCount(), 2);
    // Inside the box.
    w.clickP1(c + QPoint(3, 2));
    ASSERT_EQ(w.state.MeasurementCount(), 1);
    EXPECT_EQ(w.state.measurements()[0].row, 8);
    const QRect cell = w.g.cell(2, 3);
    EXPECT_EQ(CountPixels(w.p1.copy(cell), 0, cell.width(), kRed), 0) << "no red left in the cell";
    const QRect other = w.g.cell(2, 8);
    EXPECT_GT(CountPixels(w.p1.copy(other), 0, other.width(), kRed), 0);
    EXPECT_EQ(w.p1.pixel(c), kWhite);
    EXPECT_EQ(w.state.columnCounts()[1], 1);
    // Clicking the whitened cell again removes nothing more.
    w.clickP1(c + QPoint(3, 2));
    EXPECT_EQ(w.state.MeasurementCount(), 1);
}

TEST(ReadingController, ATwoDigitCountIsClearedCompletely) {
    Window w(SyntheticGrid{4, 20, 40, 20}, 12);
    for (int row = 0; row < 11; ++row) Blacken(w.clean, w.g, 2, row);
    w.controller->Command7Click();
    ASSERT_EQ(w.state.columnCounts()[1], 11);
    const auto [a, b] = w.column(2);
    const int wide = InkPixels(w.p3, a, b);
    w.controller->Command12Click();
    w.clickP1(w.g.centre(2, 10) + QPoint(1, 1));
    ASSERT_EQ(w.state.columnCounts()[1], 10);
    w.clickP1(w.g.centre(2, 9) + QPoint(1, 1));
    w.clickP1(w.g.centre(2, 8) + QPoint(1, 1));
    ASSERT_EQ(w.state.columnCounts()[1], 8);
    // Exactly a freshly printed "8" in bold red, nothing of "11" or "10" around it.
    QImage fresh = BlankCountStrip(w.p3.width());
    PrintCount(fresh, w.state.grid().GridOriginX + 1.5f * w.state.grid().ColumnWidth, 8, w.parameter);
    EXPECT_EQ(w.p3.copy(a, 0, b - a, 19), fresh.copy(a, 0, b - a, 19));
    EXPECT_LT(InkPixels(w.p3, a, b), wide);
    EXPECT_GT(CountPixels(w.p3, a, b, kRed), 0);
    // The other columns keep their counts.
    EXPECT_GT(InkPixels(w.p3, 1, w.g.cw), 0);
}
