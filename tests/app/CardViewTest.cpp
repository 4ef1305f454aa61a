#include "app/CardPictures.h"
#include "app/ui/ListPanel.h"
#include "app/ui/MainWindow.h"
#include "reading/ReadingFixtures.h"
#include "reading/ui/ReadingController.h"

#include <QApplication>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <tuple>

using namespace kartovo;
using namespace kartovo::testing;

// Horizontal range only for an overhang; vertical from sixty pixels before the edge.
TEST(CardViewScrolling, RangeOnlyForAnOverhang) {
    const std::tuple<int (*)(int, int), int, int, int> cases[] = {
        {HorizontalScrollMaximum, 800, 800, 0}, {HorizontalScrollMaximum, 801, 800, 21},
        {HorizontalScrollMaximum, 100000, 800, 32767}, {VerticalScrollMaximum, 540, 600, 0},
        {VerticalScrollMaximum, 541, 600, 41}, {VerticalScrollMaximum, 560, 600, 60}};
    for (const auto& [range, picture, client, expected] : cases) EXPECT_EQ(range(picture, client), expected) << picture;
}

// Reading on the program's window: a click on the scaled view marks the card's own cell, the
// count strip keeps the card's width, the list shows the user's locale.
TEST(CardView, ReadCorrectListAndZoomOnTheProgramWindow) {
    MainWindow window;
    CardPictures& pictures = window.pictures();
    const SyntheticGrid g;
    QImage clean = BlankGrid(g);
    Blacken(clean, g, 3, 4);
    const Record parameter = GridParameter(g, 1);
    pictures.setImage(Picture::P1, clean);
    // The window's own controller, fed with the synthetic card.
    ReadingState& state = window.reading();
    window.readingController()->setInput([&] { return ReadingInput{clean, parameter, RangeOf(parameter)}; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    auto* command7 = window.findChild<QPushButton*>("Command7");
    command7->setEnabled(true); // as a processed card leaves it
    QTest::mouseClick(command7, Qt::LeftButton);
    ASSERT_EQ(state.MeasurementCount(), 1);
    EXPECT_EQ(pictures.image(Picture::P3).size(), QSize(g.width(), 19));

    // A scaled card view: a click lands on the card's own cell, and the count
    // strip keeps the card's width.
    window.setCardScale(2.0);
    QWidget* p1 = window.findChild<QWidget*>("P1");
    EXPECT_EQ(p1->size(), pictures.image(Picture::P1).size() * 2);
    EXPECT_EQ(window.findChild<QWidget*>("P3")->width(), p1->width());
    QTest::mouseClick(window.findChild<QPushButton*>("Command11"), Qt::LeftButton); // adding marks
    const QPoint cell = g.centre(5, 2);
    QTest::mouseMove(p1, cell * 2);
    QTest::mouseClick(p1, Qt::LeftButton, Qt::NoModifier, cell * 2);
    ASSERT_EQ(state.MeasurementCount(), 2);
    EXPECT_EQ(state.measurements().back().section, 5);
    EXPECT_EQ(pictures.image(Picture::P1).pixel(cell), 0xffff0000u);

    // Values are shown in the user's locale, whatever it is.
    const QLocale user;
    QLocale::setDefault(QLocale::c());
    QTest::mouseClick(window.widgets().command10, Qt::LeftButton);
    QLocale::setDefault(user);
    EXPECT_EQ(window.listPanel()->list()->item(2)->text(), "2. \t5.\t10.25");

    // Ctrl and the wheel zoom out again.
    QWheelEvent wheel(QPointF(10, 10), p1->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(p1, &wheel);
    EXPECT_DOUBLE_EQ(window.cardScale(), 2.0 / 1.25);
}
