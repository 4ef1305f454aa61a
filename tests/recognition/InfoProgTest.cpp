#include "recognition/ui/InfoProg.h"
#include "recognition/ui/PrintAt.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>
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

const QString kParameter = QStringLiteral("Średnica 12,50 [mm]");

// Bounds of the non-white pixels of an image.
QRect Ink(const QImage& img) {
    int l = INT_MAX, t = INT_MAX, r = -1, b = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 160) {
                l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
            }
    return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

} // namespace

// What the operator reads: every field's caption with its value (a null
// value as nothing), the parameter in its format, nothing cut at the window's
// edge even for a long caption, the window in the middle of the screen.
TEST(InfoProg, ShowsTheProgramFieldsAndTheParameterInsideTheWindow) {
    Record program = Program(10);
    program.set("ID4", QVariant());
    program.set("ID5", 12.5);
    QStringList captions = Captions(10);
    captions[0] = QStringLiteral("Numer rysunku technicznego wyrobu gotowego");
    InfoProg w(program, Diameter(), captions);
    const InfoProgLayout& l = w.Layout();
    for (const QString& text : {captions[0], captions[9], QStringLiteral(": W1"), QStringLiteral(": "),
                                QStringLiteral(": 12,5"), kParameter})
        EXPECT_TRUE(Find(l, text)) << text.toStdString();
    EXPECT_EQ(Find(l, ": W1")->x, Find(l, captions[0])->x + 50) << "values follow the longest caption";

    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QImage img = w.grab().toImage();
    const QRect ink = Ink(img);
    ASSERT_FALSE(ink.isNull());
    EXPECT_GE(ink.left(), 1);
    EXPECT_LT(ink.right(), img.width() - 1);
    const QPoint screenCentre = w.screen()->availableGeometry().center();
    EXPECT_NEAR(w.frameGeometry().center().x(), screenCentre.x(), 2);
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

TEST(InfoProg, Answers) {
    struct Case {
        const char* how;
        std::function<void(InfoProg&)> act;
        bool yes;
    };
    const Case cases[] = {
        {"Enter", [](InfoProg& w) { QTest::keyClick(&w, Qt::Key_Return); }, true},
        {"Enter on TAK", [](InfoProg& w) { QTest::keyClick(w.yesButton(), Qt::Key_Enter); }, true},
        {"Esc", [](InfoProg& w) { QTest::keyClick(w.yesButton(), Qt::Key_Escape); }, false},
        {"TAK", [](InfoProg& w) { QTest::mouseClick(w.yesButton(), Qt::LeftButton); }, true},
        {"NIE", [](InfoProg& w) { QTest::mouseClick(w.noButton(), Qt::LeftButton); }, false},
        {"Enter on NIE",
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
    for (const Case& c : cases) {
        InfoProg w(Program(1), Diameter(), Captions(1));
        w.show();
        c.act(w);
        EXPECT_EQ(w.DialogAccepted(), c.yes) << c.how;
        EXPECT_FALSE(w.isVisible()) << c.how;
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
}
