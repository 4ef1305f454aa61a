#include "CardWindowSupport.h"

#include "app/ui/AutoController.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace kartovo::test {
namespace {

// The operator's day with the main window: a card read by hand, then
// automatic mode on (the first look at once, stored without any window, the
// stored file deleted as configured, the refused one kept) and off again.
using AutoWindowTest = CardWindowTest;

TEST_F(AutoWindowTest, AutomaticModeTakesOverFromTheOperatorAndGivesBack) {
    const QImage card = render(cardSpec(1), 150.0, Marks(5, [](int s) { return s; }));
    QImage white(600, 800, QImage::Format_RGB32);
    white.fill(Qt::white);
    const QString stored = m_folder + QStringLiteral("/karta.png"), refused = m_folder + QStringLiteral("/pusta.png");
    ASSERT_TRUE(card.save(stored) && white.save(refused));
    for (const QString& f : {stored, refused}) WriteFile(f, FileBytes(f));
    auto* command1 = control<QPushButton>("Command1");
    EXPECT_FALSE(command1->isEnabled()) << "no exchange folder yet";

    m_chosen = m_dir.filePath(QStringLiteral("reczna.png"));
    ASSERT_TRUE(card.save(m_chosen));
    for (const char* command : {"Command4", "Command7", "Command10"}) QTest::mouseClick(control(command), Qt::LeftButton);
    ASSERT_TRUE(m_window->hasUnsavedCard());

    m_window->optionsPanel()->exchangeFolderField()->setText(m_folder); // without the separator
    EXPECT_TRUE(command1->isEnabled());
    control<QCheckBox>("SSCheck4")->setChecked(true);
    const int before = rows(1);
    QTest::mouseClick(command1, Qt::LeftButton);
    EXPECT_TRUE(m_window->run().autoMode);
    EXPECT_FALSE(m_window->hasUnsavedCard()) << "the operator's card is dropped";
    EXPECT_EQ(m_window->reading().MeasurementCount(), 0);
    for (const char* name : {"Command2", "Command4", "Command6", "Command7", "Command13"})
        EXPECT_FALSE(control(name)->isEnabled()) << name;
    QTRY_COMPARE_WITH_TIMEOUT(rows(1), before + 1, 20000);
    QTRY_VERIFY(!QFile::exists(stored));
    EXPECT_TRUE(QFile::exists(refused));
    const QString status = control<QLabel>("LabelAuto")->text();
    for (const char* part : {"zapisane od włączenia: 1", "odrzucone w katalogu: 1", "ostatnia odmowa: Brak markera"})
        EXPECT_TRUE(status.contains(QString::fromUtf8(part))) << status.toStdString();
    EXPECT_TRUE(m_messages.empty());
    auto* timer = control<QTimer>("Timer1");
    EXPECT_TRUE(timer->isActive());

    command1->setFocus();
    QTest::keyClick(command1, Qt::Key_Return); // Enter acts as a click
    EXPECT_FALSE(m_window->run().autoMode);
    EXPECT_FALSE(timer->isActive());
    for (const char* name : {"Command2", "Command4", "Command6"}) EXPECT_TRUE(control(name)->isEnabled()) << name;
    EXPECT_EQ(rows(1), before + 1);
}

} // namespace
} // namespace kartovo::test
