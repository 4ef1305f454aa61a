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

    explicit Window(const SyntheticGrid& grid = {}) : g(grid), clean(g.picture()), parameter(GridParameter(g)) {
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
};

} // namespace

// Read with the list hidden, the list pointing at a mark, and a click in the
// entry mode landing on the cell under the mouse.
TEST(ReadingController, ReadListPointAndEnter) {
    Window w;
    Blacken(w.clean, w.g, 4, 1);
    Blacken(w.clean, w.g, 2, 7);
    QTest::mouseClick(w.command7, Qt::LeftButton);
    EXPECT_EQ(w.state.MeasurementCount(), 2);
    EXPECT_FALSE(w.command7->isEnabled());
    for (auto* b : {w.command10, w.command11, w.command12}) EXPECT_TRUE(b->isEnabled());
    EXPECT_TRUE(w.state.measurements()[0].value.isNull()) << "the list is hidden";
    EXPECT_EQ(w.p1.pixel(w.g.centre(4, 1)), 0xffff0000u) << "boxes drawn on the caller's picture";

    QTest::mouseClick(w.command10, Qt::LeftButton);
    ASSERT_EQ(w.list1->count(), 3);
    EXPECT_EQ(w.list1->item(2)->text(), "2. \t4.\t10,15");
    EXPECT_FALSE(w.command11->isEnabled());
    w.list1->setCurrentRow(2); // a line points at its mark; the header hides the pointer
    const QPoint c = w.g.centre(4, 1);
    EXPECT_TRUE(w.image4->isVisible());
    EXPECT_EQ(w.image4->pos(), QPoint(c.x() - 8 + 1, c.y() - 8));
    w.list1->setCurrentRow(0);
    EXPECT_FALSE(w.image4->isVisible());
    QTest::mouseClick(w.close, Qt::LeftButton);
    EXPECT_FALSE(w.panel->isVisible());

    QTest::mouseClick(w.command11, Qt::LeftButton);
    EXPECT_EQ(w.label4->text(), "Tryb wprowadzania.");
    w.clickP1(w.g.centre(6, 3) + QPoint(-10, 6));
    ASSERT_EQ(w.state.MeasurementCount(), 3);
    EXPECT_EQ(std::pair(w.state.measurements()[2].section, w.state.measurements()[2].row), std::pair(6, 3));
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
