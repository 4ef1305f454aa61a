#include "recognition/ui/InfoProg.h"
#include "recognition/ui/PrintAt.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <ostream>

using namespace kartovo;

static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

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

QStringList Captions(int n) {
    QStringList c;
    for (int i = 1; i <= n; ++i) c << QStringLiteral("Pole %1").arg(i);
    return c;
}

const InfoProgText* Find(const InfoProgLayout& l, const QString& text) {
    for (const InfoProgText& t : l.texts)
        if (t.text == text) return &t;
    return nullptr;
}

const QString kHeading = QStringLiteral("Zeskanowana karta związana jest z następującym programem kontroli:");
const QString kAbout = QStringLiteral("i dotyczy parametru:");
const QString kQuestion = QStringLiteral("Czy poprawnie zidentyfikowano parametr ?");
const QString kParameter = QStringLiteral("Średnica 12,50 [mm]");

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

TEST(InfoProg, LayoutWithoutIdentificationFields) {
    InfoProg w(Program(0), Diameter(), {});
    const InfoProgLayout& l = w.Layout();
    ASSERT_EQ(l.texts.size(), 4);
    const InfoProgText* heading = Find(l, kHeading);
    ASSERT_TRUE(heading);
    EXPECT_EQ(heading->x, 50);
    EXPECT_EQ(heading->y, 50);
    EXPECT_EQ(heading->alignment, 0);
    EXPECT_FALSE(heading->bold);
    const InfoProgText* about = Find(l, kAbout);
    ASSERT_TRUE(about);
    EXPECT_EQ(about->x, 50);
    EXPECT_EQ(about->y, 400);
    const InfoProgText* param = Find(l, kParameter);
    ASSERT_TRUE(param);
    EXPECT_EQ(param->y, 700);
    EXPECT_TRUE(param->bold);
    EXPECT_EQ(param->pointSize, 14);
    EXPECT_EQ(param->alignment, 1);
    EXPECT_EQ(param->x, l.width / 2);
    const InfoProgText* question = Find(l, kQuestion);
    ASSERT_TRUE(question);
    EXPECT_EQ(question->y, 1200);
    EXPECT_EQ(question->x, l.width / 2);
    EXPECT_EQ(question->color, QColor(255, 0, 0));
    EXPECT_EQ(l.buttonTop, 1800);
    EXPECT_EQ(l.height, 2900);

    // The widget follows the layout at the screen's resolution.
    EXPECT_EQ(w.height(), TwipsToPixelsRounded(2900, w));
    EXPECT_EQ(w.yesButton()->y(), TwipsToPixelsRounded(1800, w));
    EXPECT_EQ(w.noButton()->y(), TwipsToPixelsRounded(1800, w));
    EXPECT_EQ(w.yesButton()->objectName(), "SSCommand1");
    EXPECT_EQ(w.yesButton()->text(), "TAK");
    EXPECT_EQ(w.noButton()->objectName(), "SSCommand2");
    EXPECT_EQ(w.noButton()->text(), "NIE");
    EXPECT_LT(w.yesButton()->x(), w.noButton()->x());
}

TEST(InfoProg, TenFieldsListCaptionsAndValues) {
    Record program = Program(10);
    program.set("ID4", QVariant()); // a null value prints as nothing
    program.set("ID5", 12.5);
    InfoProg w(program, Diameter(), Captions(10));
    const InfoProgLayout& l = w.Layout();
    EXPECT_EQ(l.buttonTop, 4800);
    EXPECT_EQ(l.height, 5900);
    for (int i = 1; i <= 10; ++i) {
        const InfoProgText* cap = Find(l, QStringLiteral("Pole %1").arg(i));
        ASSERT_TRUE(cap) << i;
        EXPECT_EQ(cap->y, 300 * i + 50);
        EXPECT_EQ(cap->x, 1500);
        EXPECT_EQ(cap->alignment, 2);
        EXPECT_FALSE(cap->bold);
    }
    const InfoProgText* v1 = Find(l, ": W1");
    ASSERT_TRUE(v1);
    EXPECT_EQ(v1->x, 1550);
    EXPECT_EQ(v1->y, 350);
    EXPECT_TRUE(v1->bold);
    ASSERT_TRUE(Find(l, ": "));
    EXPECT_EQ(Find(l, ": ")->y, 1250);
    ASSERT_TRUE(Find(l, ": 12,5"));
    EXPECT_EQ(Find(l, kAbout)->y, 3400);
    EXPECT_EQ(Find(l, kParameter)->y, 3700);
    EXPECT_EQ(Find(l, kQuestion)->y, 4200);
}

TEST(InfoProg, LongCaptionMovesTheValueColumnInsteadOfLeavingTheWindow) {
    const QString longCaption = QStringLiteral("Numer rysunku technicznego wyrobu gotowego");
    InfoProg w(Program(2), Diameter(), {longCaption, QStringLiteral("Kod")});
    const InfoProgLayout& l = w.Layout();
    const InfoProgText* cap = Find(l, longCaption);
    ASSERT_TRUE(cap);
    EXPECT_GT(cap->x, 1500);
    EXPECT_EQ(Find(l, "Kod")->x, cap->x);
    EXPECT_EQ(Find(l, ": W1")->x, cap->x + 50);

    QImage img = w.grab().toImage();
    const int top = TwipsToPixelsRounded(350, w), bottom = TwipsToPixelsRounded(600, w);
    const QRect ink = Ink(img, QRect(0, top, img.width(), bottom - top));
    ASSERT_FALSE(ink.isNull());
    EXPECT_GE(ink.left(), 1);
    EXPECT_LT(ink.right(), img.width() - 1);
}

TEST(InfoProg, ParameterLineUsesTheParameterFormat) {
    EXPECT_EQ(InfoProg::ParameterLine(Diameter()), kParameter);
    Record p = Diameter();
    p.set("WN", QVariant());
    p.set("Format", QVariant());
    EXPECT_EQ(InfoProg::ParameterLine(p), QStringLiteral("Średnica  [mm]"));
    p.set("WN", 1234.5678);
    p.set("Format", "#,##0.000");
    EXPECT_EQ(InfoProg::ParameterLine(p), QStringLiteral("Średnica 1\u00A0234,568 [mm]"));
}

TEST(InfoProg, DrawsTheTextsWhereTheLayoutSays) {
    InfoProg w(Program(1), Diameter(), Captions(1));
    const QImage img = w.grab().toImage();
    const auto rowInk = [&](int yTwips, int hTwips) {
        const int y = TwipsToPixelsRounded(yTwips, w);
        return Ink(img, QRect(0, y, img.width(), TwipsToPixelsRounded(hTwips, w)));
    };
    const QRect heading = rowInk(50, 250);
    ASSERT_FALSE(heading.isNull());
    EXPECT_NEAR(heading.left(), TwipsToPixels(50, w), 3);
    // The caption ends at 1500 twips, its value starts at 1550.
    const QRect captionRow = rowInk(350, 250);
    ASSERT_FALSE(captionRow.isNull());
    const QRect caption = Ink(img, QRect(0, captionRow.top(), TwipsToPixelsRounded(1500, w) + 1, captionRow.height()));
    EXPECT_NEAR(caption.right(), TwipsToPixels(1500, w), 3);
    // The question is red and centred.
    const int qy = TwipsToPixelsRounded(300 * 2 + 900, w);
    int red = 0, left = INT_MAX, right = -1;
    for (int y = qy; y < qy + 20; ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 100 && c.blue() < 100) {
                ++red;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    EXPECT_GT(red, 20);
    EXPECT_NEAR((left + right) / 2.0, img.width() / 2.0, 4);
}

TEST(InfoProg, ShowsCentredOnTheScreen) {
    InfoProg w(Program(3), Diameter(), Captions(3));
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QPoint screenCentre = w.screen()->availableGeometry().center();
    EXPECT_NEAR(w.frameGeometry().center().x(), screenCentre.x(), 2);
    EXPECT_NEAR(w.frameGeometry().center().y(), screenCentre.y(), 2);
}

TEST(InfoProg, Answers) {
    {
        InfoProg w(Program(1), Diameter(), Captions(1));
        w.show();
        QTest::keyClick(&w, Qt::Key_Return);
        EXPECT_TRUE(w.DialogAccepted());
        EXPECT_FALSE(w.isVisible());
    }
    {
        InfoProg w(Program(1), Diameter(), Captions(1));
        w.show();
        QTest::keyClick(w.yesButton(), Qt::Key_Enter);
        EXPECT_TRUE(w.DialogAccepted());
        EXPECT_FALSE(w.isVisible());
    }
    {
        InfoProg w(Program(1), Diameter(), Captions(1));
        w.show();
        QTest::keyClick(w.yesButton(), Qt::Key_Escape);
        EXPECT_FALSE(w.DialogAccepted());
        EXPECT_FALSE(w.isVisible());
    }
    {
        InfoProg w(Program(1), Diameter(), Captions(1));
        w.show();
        QTest::mouseClick(w.yesButton(), Qt::LeftButton);
        EXPECT_TRUE(w.DialogAccepted());
        w.show();
        QTest::mouseClick(w.noButton(), Qt::LeftButton);
        EXPECT_FALSE(w.DialogAccepted());
        EXPECT_FALSE(w.isVisible());
    }
    {
        // Enter on the focused NIE button is that button's answer.
        InfoProg w(Program(1), Diameter(), Captions(1));
        w.show();
        w.noButton()->setFocus();
        QTest::keyClick(w.noButton(), Qt::Key_Return);
        EXPECT_FALSE(w.DialogAccepted());
        EXPECT_FALSE(w.isVisible());
    }
    {
        InfoProg w(Program(1), Diameter(), Captions(1));
        w.show();
        QTest::mouseClick(w.yesButton(), Qt::LeftButton);
        ASSERT_TRUE(w.DialogAccepted());
        w.show();
        EXPECT_TRUE(w.close());
        EXPECT_FALSE(w.DialogAccepted());
    }
}

TEST(PrintAt, AlignsOnXWithTheTopAtY) {
    QImage img(400, 120, QImage::Format_RGB32);
    QFont f(QStringLiteral("DejaVu Sans"), 12);
    const auto draw = [&](int alignment) {
        img.fill(Qt::white);
        QPainter p(&img);
        p.setFont(f);
        p.setPen(Qt::black);
        PrintAt(p, 200, 30, QStringLiteral("HHHH"), alignment);
        return Ink(img);
    };
    const QRect start = draw(AlignStart);
    ASSERT_FALSE(start.isNull());
    EXPECT_NEAR(start.left(), 200, 3);
    EXPECT_GE(start.top(), 30);
    EXPECT_LT(start.top(), 30 + 8);
    const QRect end = draw(AlignEnd);
    EXPECT_NEAR(end.right(), 200, 3);
    EXPECT_EQ(end.top(), start.top());
    const QRect centre = draw(AlignCentre);
    EXPECT_NEAR((centre.left() + centre.right()) / 2.0, 200, 2);

    // A scaled painter works in its own units.
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.setFont(f);
        p.scale(0.5, 0.5);
        PrintAt(p, 400, 60, QStringLiteral("HHHH"), AlignEnd);
    }
    EXPECT_NEAR(Ink(img).right(), 200, 3);
}
