#include "recognition/ui/InfoProg.h"
#include "recognition/ui/PrintAt.h"

#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>

using namespace kartovo;

namespace {

Record Program(int fields) {
    Record r;
    r.set("ID", 7);
    for (int i = 1; i <= fields; ++i) r.set(QStringLiteral("ID%1").arg(i), QStringLiteral("W%1").arg(i));
    return r;
}

Record Diameter() {
    Record p;
    p.set("Nazwa", QStringLiteral("Średnica"));
    p.set("WN", 12.5);
    p.set("Format", "0.00");
    p.set("Jednostka", "mm");
    return p;
}

QStringList Texts(const InfoProg& w) {
    QStringList texts;
    for (const InfoProgText& t : w.Layout().texts) texts << t.text;
    return texts;
}

// Bounds of the non-white pixels of an image part.
QRect Ink(const QImage& img, const QRect& area = {}) {
    const QRect a = area.isNull() ? img.rect() : area;
    int l = INT_MAX, t = INT_MAX, r = -1, b = -1;
    for (int y = a.top(); y <= a.bottom(); ++y)
        for (int x = a.left(); x <= a.right(); ++x)
            if (qGray(img.pixel(x, y)) < 160) {
                l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
            }
    return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

} // namespace

TEST(InfoProg, ShowsEveryFieldAndTheParameterInItsFormat) {
    Record program = Program(3);
    program.set("ID2", QVariant()); // a null value shows as nothing
    program.set("ID3", 12.5);
    const InfoProg w(program, Diameter(), {QStringLiteral("Rysunek"), QStringLiteral("Kod"), QStringLiteral("Partia")});
    const QStringList texts = Texts(w);
    for (const char* t : {"Rysunek", "Kod", "Partia", ": W1", ": ", ": 12,5"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(t))) << t;
    EXPECT_TRUE(texts.contains(QStringLiteral("Średnica 12,50 [mm]")));

    Record p = Diameter();
    p.set("WN", QVariant());
    p.set("Format", QVariant());
    EXPECT_EQ(InfoProg::ParameterLine(p), QStringLiteral("Średnica  [mm]"));
    p.set("WN", 1234.5678);
    p.set("Format", "#,##0.000");
    EXPECT_EQ(InfoProg::ParameterLine(p), QStringLiteral("Średnica 1\u00A0234,568 [mm]"));
}

TEST(InfoProg, LongCaptionMovesTheValuesInsteadOfLeavingTheWindow) {
    const QString longCaption = QStringLiteral("Numer rysunku technicznego wyrobu gotowego");
    InfoProg w(Program(2), Diameter(), {longCaption, QStringLiteral("Kod")});
    const QImage img = w.grab().toImage();
    const QRect ink = Ink(img);
    ASSERT_FALSE(ink.isNull());
    EXPECT_GE(ink.left(), 1);
    EXPECT_LT(ink.right(), img.width() - 1);
}

TEST(InfoProg, AnswersAsTheOperatorGivesThem) {
    const struct {
        const char* name;
        std::function<void(InfoProg&)> answer;
        bool accepted;
    } cases[] = {
        {"Return", [](InfoProg& w) { QTest::keyClick(&w, Qt::Key_Return); }, true},
        {"Enter on TAK", [](InfoProg& w) { QTest::keyClick(w.yesButton(), Qt::Key_Enter); }, true},
        {"Escape", [](InfoProg& w) { QTest::keyClick(w.yesButton(), Qt::Key_Escape); }, false},
        {"click TAK", [](InfoProg& w) { QTest::mouseClick(w.yesButton(), Qt::LeftButton); }, true},
        {"click NIE after TAK",
         [](InfoProg& w) {
             QTest::mouseClick(w.yesButton(), Qt::LeftButton);
             w.show();
             QTest::mouseClick(w.noButton(), Qt::LeftButton);
         },
         false},
        {"Return on NIE",
         [](InfoProg& w) {
             w.noButton()->setFocus();
             QTest::keyClick(w.noButton(), Qt::Key_Return);
         },
         false},
        {"closed after TAK",
         [](InfoProg& w) {
             QTest::mouseClick(w.yesButton(), Qt::LeftButton);
             w.show();
             w.close();
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InfoProg w(Program(1), Diameter(), {QStringLiteral("Pole 1")});
        w.show();
        c.answer(w);
        EXPECT_EQ(w.DialogAccepted(), c.accepted);
        EXPECT_FALSE(w.isVisible());
    }
}

TEST(PrintAt, AlignsOnXWithTheTopAtYInThePaintersUnits) {
    QImage img(400, 120, QImage::Format_RGB32);
    const auto draw = [&](int alignment, double scale) {
        img.fill(Qt::white);
        QPainter p(&img);
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
        p.setPen(Qt::black);
        p.scale(scale, scale);
        PrintAt(p, 200 / scale, 30 / scale, QStringLiteral("HHHH"), alignment);
        p.end();
        return Ink(img);
    };
    const QRect start = draw(AlignStart, 1);
    ASSERT_FALSE(start.isNull());
    EXPECT_NEAR(start.left(), 200, 3);
    EXPECT_GE(start.top(), 30);
    EXPECT_LT(start.top(), 30 + 8);
    const QRect end = draw(AlignEnd, 1);
    EXPECT_NEAR(end.right(), 200, 3);
    EXPECT_EQ(end.top(), start.top());
    const QRect centre = draw(AlignCentre, 1);
    EXPECT_NEAR((centre.left() + centre.right()) / 2.0, 200, 2);
    EXPECT_NEAR(draw(AlignEnd, 0.5).right(), 200, 3);
}
