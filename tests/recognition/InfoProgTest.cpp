#include "recognition/ui/InfoProg.h"

#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>

using namespace kartovo;

// Captions and values, no ink at the edge, centred; TAK and Enter accept, NIE, Esc and closing refuse.
TEST(InfoProg, ShowsTheProgramAndTheParameterAndTakesTheAnswer) {
    Record program({"ID"}, {7});
    QStringList captions;
    for (int i = 1; i <= 10; ++i) {
        program.set(QStringLiteral("ID%1").arg(i), QStringLiteral("W%1").arg(i));
        captions << QStringLiteral("Pole %1").arg(i);
    }
    program.set("ID4", QVariant()), program.set("ID5", 12.5);
    captions[0] = QStringLiteral("Numer rysunku technicznego wyrobu gotowego");
    Record diameter({"Nazwa", "WN", "Format", "Jednostka"}, {QStringLiteral("Średnica"), 12.5, "0.00", "mm"});
    InfoProg w(program, diameter, captions);
    QHash<QString, int> x;
    for (const InfoProgText& t : w.infoLayout().texts) x.insert(t.text, t.x);
    for (const QString& text : {captions[0], captions[9], QStringLiteral(": W1"), QStringLiteral(": "),
                                QStringLiteral(": 12,5"), QStringLiteral("Średnica 12,50 [mm]")})
        EXPECT_TRUE(x.contains(text)) << text.toStdString();
    EXPECT_EQ(x[": W1"], x[captions[0]] + 50);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QImage img = w.grab().toImage();
    int left = img.width(), right = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 160) left = std::min(left, x), right = std::max(right, x);
    EXPECT_TRUE(left >= 1 && right >= 0 && right < img.width() - 1) << left << " " << right;
    EXPECT_NEAR(w.frameGeometry().center().x(), w.screen()->availableGeometry().center().x(), 2);
    w.close();
    const std::pair<std::function<void(InfoProg&)>, bool> answers[] = {
        {[](InfoProg& w) { QTest::keyClick(&w, Qt::Key_Return); }, true},
        {[](InfoProg& w) { QTest::keyClick(w.yesButton(), Qt::Key_Escape); }, false},
        {[](InfoProg& w) { QTest::mouseClick(w.yesButton(), Qt::LeftButton); }, true},
        {[](InfoProg& w) { QTest::mouseClick(w.noButton(), Qt::LeftButton); }, false},
        {[](InfoProg& w) { w.noButton()->setFocus(), QTest::keyClick(w.noButton(), Qt::Key_Return); }, false},
        {[](InfoProg& w) { QTest::mouseClick(w.yesButton(), Qt::LeftButton), w.show(), w.close(); }, false}};
    int n = 0;
    for (const auto& [act, yes] : answers) {
        InfoProg dialog(program, diameter, captions);
        dialog.show();
        act(dialog);
        EXPECT_TRUE(dialog.DialogAccepted() == yes && !dialog.isVisible()) << n++;
    }

    diameter.set("WN", QVariant()), diameter.set("Format", QVariant());
    EXPECT_EQ(InfoProg::parameterLine(diameter), QStringLiteral("Średnica  [mm]"));
    diameter.set("WN", 1234.5678), diameter.set("Format", "#,##0.000");
    EXPECT_EQ(InfoProg::parameterLine(diameter), QStringLiteral("Średnica 1\u00A0234,568 [mm]"));
}
