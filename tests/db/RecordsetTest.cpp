#include "db/Recordset.h"

#include <gtest/gtest.h>

using namespace kartovo;

// Moves like a cursor that stops before the first and after the last row; a
// search starts at the first row, without regard to case, and never matches
// a null; nothing found leaves the position.
TEST(Recordset, NavigationAndSearchLikeACursor) {
    const QStringList cols{QStringLiteral("ID"), QStringLiteral("ID1")};
    Recordset rs(cols, {Record(cols, {1, QStringLiteral("Wałek")}), Record(cols, {2, QVariant()}),
                        Record(cols, {3, QStringLiteral("wałek drugi")}), Record(cols, {4, QStringLiteral("Tuleja")})});
    EXPECT_EQ(rs.position(), 1);
    EXPECT_EQ(rs.value(QStringLiteral("id")).toInt(), 1);
    rs.movePrevious();
    EXPECT_TRUE(rs.bof() && rs.current().isEmpty());
    rs.moveLast();
    rs.moveNext();
    rs.moveNext();
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

    EXPECT_TRUE(rs.findFirstStartingWith(QStringLiteral("ID1"), QStringLiteral("WAŁ")));
    EXPECT_EQ(rs["ID"].toInt(), 1);
    EXPECT_TRUE(rs.findFirstStartingWith(QStringLiteral("id1"), QStringLiteral("wałek d")));
    EXPECT_FALSE(rs.findFirstStartingWith(QStringLiteral("ID1"), QStringLiteral("x'; DROP")));
    EXPECT_EQ(rs.position(), 3);
    EXPECT_TRUE(rs.findFirstStartingWith(QStringLiteral("ID1"), QString()));
    EXPECT_EQ(rs.position(), 1);

    Recordset empty(QStringList{QStringLiteral("ID")}, {});
    EXPECT_TRUE(empty.bof() && empty.eof());
    EXPECT_FALSE(empty.value(QStringLiteral("ID")).isValid());
}
