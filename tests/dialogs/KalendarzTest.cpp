#include "dialogs/ui/Kalendarz.h"

#include <QCalendarWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <functional>

using namespace kartovo;

namespace {

QTableView* DayTable(Kalendarz& k) {
    return k.monthView()->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview"));
}

// Replaces the day number as an operator does: select all, type.
void TypeDay(Kalendarz& k, const QString& text) {
    k.dayText()->selectAll();
    QTest::keyClick(k.dayText(), Qt::Key_Delete);
    QTest::keyClicks(k.dayText(), text);
}

struct Shown {
    Kalendarz k;
    explicit Shown(const QDate& d) {
        k.setDate(d);
        k.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&k));
    }
};

} // namespace

// The typed day number of the year: clamped to the year's length, other text ignored.
TEST(Kalendarz, TypedDayNumberWithinTheYear) {
    const struct {
        QDate start;
        const char* typed;
        const char* shown; // the box afterwards
        QDate date;
    } cases[] = {{QDate(2024, 3, 1), "366", "366", QDate(2024, 12, 31)},  // leap year
                 {QDate(2024, 3, 1), "400", "366", QDate(2024, 12, 31)},
                 {QDate(2023, 3, 1), "366", "365", QDate(2023, 12, 31)},  // not the next New Year's Day
                 {QDate(2024, 7, 15), "0", "1", QDate(2024, 1, 1)},
                 {QDate(2024, 7, 15), "-7", "1", QDate(2024, 1, 1)},
                 {QDate(2024, 7, 15), "32", "32", QDate(2024, 2, 1)},
                 {QDate(2024, 7, 15), "x", "x", QDate(2024, 7, 15)},      // unchanged
                 {QDate(2024, 7, 15), "", "", QDate(2024, 7, 15)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Shown s(c.start);
        EXPECT_EQ(s.k.dayText()->text(), QString::number(c.start.dayOfYear()));
        EXPECT_EQ(s.k.spinner()->maximum(), c.start.daysInYear());
        TypeDay(s.k, QString::fromLatin1(c.typed));
        EXPECT_EQ(s.k.dayText()->text(), QString::fromLatin1(c.shown));
        EXPECT_EQ(s.k.date(), c.date);
    }
}

TEST(Kalendarz, CalendarAndSpinnerStayInStep) {
    Shown s(QDate(2024, 12, 31));
    QTableView* table = DayTable(s.k);
    ASSERT_NE(table, nullptr);
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Left);
    EXPECT_EQ(s.k.date(), QDate(2024, 12, 30));
    EXPECT_EQ(s.k.dayText()->text(), QStringLiteral("365"));
    QTest::keyClick(table, Qt::Key_Right);
    QTest::keyClick(table, Qt::Key_Right); // into the next, shorter year
    EXPECT_EQ(s.k.date(), QDate(2025, 1, 1));
    EXPECT_EQ(s.k.dayText()->text(), QStringLiteral("1"));
    EXPECT_EQ(s.k.spinner()->maximum(), 365);

    QTest::mouseClick(s.k.spinner()->downButton(), Qt::LeftButton);
    EXPECT_EQ(s.k.dayText()->text(), QStringLiteral("1")); // not below the first day
    QTest::mouseClick(s.k.spinner()->upButton(), Qt::LeftButton);
    QTest::mouseClick(s.k.spinner()->upButton(), Qt::LeftButton);
    EXPECT_EQ(s.k.date(), QDate(2025, 1, 3));
    QTest::keyClick(s.k.dayText(), Qt::Key_Down);
    EXPECT_EQ(s.k.date(), QDate(2025, 1, 2));
    EXPECT_EQ(s.k.dayText()->text(), QStringLiteral("2"));
}

// A double click or Enter chooses the day; the close box cancels even after
// an earlier choice (Enter in the day box and Esc: below).
TEST(Kalendarz, ChosenOrCancelled) {
    const std::function<void(Kalendarz&, QTableView*)> actions[] = {
        [](Kalendarz&, QTableView* table) {
            const QPoint centre = table->visualRect(table->selectionModel()->selectedIndexes().first()).center();
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, centre);
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, centre);
        },
        [](Kalendarz&, QTableView* table) {
            QTest::keyClick(table, Qt::Key_Right);
            QTest::keyClick(table, Qt::Key_Return);
        },
        [](Kalendarz& k, QTableView* table) {
            QTest::keyClick(table, Qt::Key_Return);
            k.show();
            k.close();
        }};
    const QDate chosen[] = {QDate(2024, 5, 10), QDate(2024, 5, 11), QDate()};
    for (int i = 0; i < 3; ++i) {
        Shown s(QDate(2024, 5, 10));
        DayTable(s.k)->setFocus();
        actions[i](s.k, DayTable(s.k));
        EXPECT_EQ(s.k.dialogAccepted(), chosen[i].isValid()) << i;
        EXPECT_FALSE(s.k.isVisible()) << i;
        if (chosen[i].isValid()) EXPECT_EQ(s.k.date(), chosen[i]) << i;
    }
}

TEST(Kalendarz, OpensBesideItsButtonAndReturnsTheDateText) {
    QWidget window;
    window.setGeometry(100, 100, 400, 300);
    auto* button = new QPushButton(QStringLiteral("..."), &window);
    button->setGeometry(50, 40, 30, 20);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QPoint placedAt;
    // The dialog runs its own loop; answer it from inside.
    QTimer::singleShot(0, [&] {
        auto* k = qobject_cast<Kalendarz*>(QApplication::activeModalWidget());
        ASSERT_NE(k, nullptr);
        placedAt = k->pos();
        EXPECT_EQ(k->date(), QDate(2024, 2, 29));
        k->dayText()->setText(QStringLiteral("366"));
        QTest::keyClick(k->dayText(), Qt::Key_Return);
    });
    const auto chosen = PickDateText(button, QStringLiteral("2024-02-29"));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QStringLiteral("2024-12-31"));
    EXPECT_GT(placedAt.x(), button->mapToGlobal(QPoint(button->width(), 0)).x()); // beside, not over the button

    QTimer::singleShot(0, [] {
        auto* k = qobject_cast<Kalendarz*>(QApplication::activeModalWidget());
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->date(), QDate::currentDate()); // an unreadable field starts at today
        QTest::keyClick(k->monthView(), Qt::Key_Escape);
    });
    EXPECT_FALSE(PickDateText(button, QStringLiteral("2024-02-30")).has_value());
}
