#include "recognition/ui/InfoProg.h"

#include <QImage>
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

// Columns of the leftmost and rightmost dark pixels of a picture.
std::pair<int, int> InkColumns(const QImage& img) {
    int left = img.width(), right = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 160) left = std::min(left, x), right = std::max(right, x);
    return {left, right};
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
    const auto [left, right] = InkColumns(img);
    EXPECT_GE(left, 1);
    EXPECT_LT(right, img.width() - 1);
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
