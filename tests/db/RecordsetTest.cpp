#include "db/Recordset.h"

#include <gtest/gtest.h>

using namespace kartovo;

namespace {

Recordset Programs() {
    const QStringList cols{QStringLiteral("ID"), QStringLiteral("ID1")};
    QList<Record> rows;
    rows.append(Record(cols, {1, QStringLiteral("Wałek")}));
    rows.append(Record(cols, {2, QVariant()}));
    rows.append(Record(cols, {3, QStringLiteral("wałek drugi")}));
    rows.append(Record(cols, {4, QStringLiteral("Tuleja")}));
    return Recordset(cols, rows);
}

} // namespace

TEST(Recordset, NavigationLikeACursor) {
    Recordset rs = Programs();
    EXPECT_EQ(rs.position(), 1);
    EXPECT_EQ(rs.value(QStringLiteral("id")).toInt(), 1);
    rs.movePrevious();
    EXPECT_TRUE(rs.bof());
    EXPECT_TRUE(rs.current().isEmpty());
    rs.moveLast();
    rs.moveNext();
    rs.moveNext(); // stays after the end
    EXPECT_TRUE(rs.eof());
    rs.movePrevious();
    EXPECT_EQ(rs["ID"].toInt(), 4);
    rs.moveFirst();
    rs.move(2);
    EXPECT_EQ(rs["ID"].toInt(), 3);
    rs.move(-5);
    EXPECT_TRUE(rs.bof());
    rs.move(10);
    EXPECT_TRUE(rs.eof());
    rs.setPosition(2);
    EXPECT_TRUE(rs.current().isNull(QStringLiteral("ID1")));

    Recordset empty(QStringList{QStringLiteral("ID")}, {});
    EXPECT_TRUE(empty.bof() && empty.eof());
    EXPECT_FALSE(empty.value(QStringLiteral("ID")).isValid());
}

TEST(Recordset, FindFirstStartingWith) {
    Recordset rs = Programs();
    rs.moveLast();
    // From the first row, letters without regard to case; the null row never matches.
    EXPECT_TRUE(rs.findFirstStartingWith(QStringLiteral("ID1"), QStringLiteral("WAŁ")));
    EXPECT_EQ(rs["ID"].toInt(), 1);
    EXPECT_TRUE(rs.findFirstStartingWith(QStringLiteral("id1"), QStringLiteral("wałek d")));
    EXPECT_EQ(rs.position(), 3);
    EXPECT_FALSE(rs.findFirstStartingWith(QStringLiteral("ID1"), QStringLiteral("x'; DROP")));
    EXPECT_EQ(rs.position(), 3); // nothing found: the position stays
    EXPECT_TRUE(rs.findFirstStartingWith(QStringLiteral("ID1"), QString()));
    EXPECT_EQ(rs.position(), 1);
}
