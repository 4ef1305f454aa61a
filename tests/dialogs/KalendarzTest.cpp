#include "dialogs/ui/Kalendarz.h"

#include "common/TestHelpers.h"

#include <QCalendarWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <gtest/gtest.h>

#include <optional>
#include <tuple>

using namespace kartovo;

// The typed day number of the year: clamped to the year's length, other text ignored.
TEST(Kalendarz, DayNumberWithinTheYearInStepWithTheCalendar) {
    const struct {
        QDate start;
        const char *typed, *shown; // the box afterwards
        QDate date;
    } cases[] = {{QDate(2024, 3, 1), "366", "366", QDate(2024, 12, 31)}, // leap year
                 {QDate(2024, 3, 1), "400", "366", QDate(2024, 12, 31)},
                 {QDate(2023, 3, 1), "366", "365", QDate(2023, 12, 31)}, // not the next New Year's Day
                 {QDate(2024, 7, 15), "0", "1", QDate(2024, 1, 1)},     {QDate(2024, 7, 15), "-7", "1", QDate(2024, 1, 1)},
                 {QDate(2024, 7, 15), "32", "32", QDate(2024, 2, 1)},   {QDate(2024, 7, 15), "x", "x", QDate(2024, 7, 15)},
                 {QDate(2024, 7, 15), "", "", QDate(2024, 7, 15)}};
    for (const auto& c : cases) {
        Kalendarz k;
        k.setDate(c.start);
        k.show();
        EXPECT_EQ(std::pair(k.dayText()->text(), k.spinner()->maximum()), std::pair(QString::number(c.start.dayOfYear()), c.start.daysInYear())) << c.typed;
        k.dayText()->selectAll(); // as the operator does: select all, type
        QTest::keyClick(k.dayText(), Qt::Key_Delete);
        QTest::keyClicks(k.dayText(), QString::fromLatin1(c.typed));
        EXPECT_EQ(std::pair(k.dayText()->text(), k.date()), std::pair(QString::fromLatin1(c.shown), c.date)) << c.typed;
    }
    // The calendar, the spinner and the box stay in step.
    Kalendarz k;
    k.setDate(QDate(2024, 12, 31));
    k.show();
    QTableView* table = k.monthView()->findChild<QTableView*>();
    table->setFocus();
    const std::tuple<QWidget*, int, QDate, const char*> steps[] = {
        {table, Qt::Key_Left, QDate(2024, 12, 30), "365"},
        {table, Qt::Key_Right, QDate(2024, 12, 31), "366"},
        {table, Qt::Key_Right, QDate(2025, 1, 1), "1"}, // into the next, shorter year
        {k.spinner()->downButton(), 0, QDate(2025, 1, 1), "1"}, // not below the first day
        {k.spinner()->upButton(), 0, QDate(2025, 1, 2), "2"},
        {k.spinner()->upButton(), 0, QDate(2025, 1, 3), "3"}, {k.dayText(), Qt::Key_Down, QDate(2025, 1, 2), "2"}};
    for (const auto& [w, key, date, day] : steps) {
        key ? QTest::keyClick(w, Qt::Key(key)) : QTest::mouseClick(w, Qt::LeftButton);
        EXPECT_EQ(std::pair(k.date(), k.dayText()->text()), std::pair(date, QString::fromLatin1(day)));
    }
    EXPECT_EQ(k.spinner()->maximum(), 365);
}

// Beside its button, on the field's date (today for an unreadable one); the close box and Esc cancel.
TEST(Kalendarz, ChosenOrCancelledBesideItsButton) {
    QWidget window;
    window.setGeometry(100, 100, 400, 300);
    auto* button = new QPushButton(QStringLiteral("..."), &window);
    button->setGeometry(50, 40, 30, 20);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const struct {
        const char* field;
        QDate shown;
        char act; // t: 366 typed and Enter, d: double click, c: the close box, e: Esc
        std::optional<QString> chosen;
    } cases[] = {{"2024-02-29", QDate(2024, 2, 29), 't', QStringLiteral("2024-12-31")},
                 {"2024-05-10", QDate(2024, 5, 10), 'd', QStringLiteral("2024-05-10")},
                 {"2024-05-10", QDate(2024, 5, 10), 'c', std::nullopt},
                 {"2024-02-30", QDate::currentDate(), 'e', std::nullopt}};
    for (const auto& c : cases) {
        QPoint placedAt;
        QDate shown;
        auto answer = kartovo::testing::WhenModalShown([&](QWidget* modal) {
            auto* k = qobject_cast<Kalendarz*>(modal);
            placedAt = k->pos();
            shown = k->date();
            QTableView* table = k->monthView()->findChild<QTableView*>();
            table->setFocus();
            const QPoint centre = table->visualRect(table->selectionModel()->selectedIndexes().first()).center();
            if (c.act == 't') {
                k->dayText()->setText(QStringLiteral("366"));
                QTest::keyClick(k->dayText(), Qt::Key_Return);
            } else if (c.act == 'd') {
                QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, centre);
                QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, centre);
            } else {
                c.act == 'c' ? void(k->close()) : QTest::keyClick(k->monthView(), Qt::Key_Escape);
            }
        });
        EXPECT_EQ((std::pair{PickDateText(button, QString::fromLatin1(c.field)), shown}), std::pair(c.chosen, c.shown)) << c.field; // in this order
        EXPECT_GT(placedAt.x(), button->mapToGlobal(QPoint(button->width(), 0)).x()); // not over the button
    }
}
