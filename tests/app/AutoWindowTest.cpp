#include "CardWindowSupport.h"

#include "app/ui/AutoController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "db/DbSession.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace kartovo::test {
namespace {

// The main window on the demo database with the folder dialog answered by the test.
class AutoWindowTest : public CardWindowTest {
protected:
    void SetUp() override {
        CardWindowTest::SetUp();
        m_auto = m_window->findChild<AutoController*>(QStringLiteral("AutoController"));
        ASSERT_NE(m_auto, nullptr);
        m_auto->setFolderDialog([this](const QString& folder) {
            m_dialogFolders << folder;
            return m_chosen;
        });
    }
    template <typename T = QWidget> T* control(const char* name) {
        T* w = m_window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* folderField() { return control<QLineEdit>("Text1"); }

    AutoController* m_auto = nullptr;
    QStringList m_dialogFolders;
};

TEST_F(AutoWindowTest, ButtonSwitchesTheModeWithItsCaptionPanelsAndTimer) {
    auto* command1 = control<QPushButton>("Command1");
    auto* timer = control<QTimer>("Timer1");
    EXPECT_EQ(command1->text(), QStringLiteral("Auto OFF"));
    EXPECT_FALSE(command1->isEnabled()) << "no exchange folder yet";
    EXPECT_FALSE(timer->isActive());

    QTest::keyClicks(folderField(), QStringLiteral("/srv/skany"));
    EXPECT_TRUE(command1->isEnabled());
    folderField()->clear();
    EXPECT_FALSE(command1->isEnabled());
    QTest::keyClicks(folderField(), QStringLiteral("/srv/skany"));
    QTest::keyClick(folderField(), Qt::Key_Return);
    EXPECT_EQ(folderField()->text(), QStringLiteral("/srv/skany/")) << "names are appended to the folder";

    control("SSPanel4")->show();
    control("SSPanel1")->show();
    QTest::mouseClick(command1, Qt::LeftButton);
    EXPECT_TRUE(m_window->run().autoMode);
    EXPECT_EQ(command1->text(), QStringLiteral("Auto ON"));
    EXPECT_FALSE(control("SSPanel2")->isEnabled());
    EXPECT_FALSE(control("SSPanel1")->isVisible());
    EXPECT_FALSE(control("SSPanel4")->isVisible());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 30000);

    // Enter on the focused button acts as a click.
    command1->setFocus();
    QTest::keyClick(command1, Qt::Key_Return);
    EXPECT_FALSE(m_window->run().autoMode);
    EXPECT_EQ(command1->text(), QStringLiteral("Auto OFF"));
    EXPECT_TRUE(control("SSPanel2")->isEnabled());
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(timer->interval(), 0);
}

TEST_F(AutoWindowTest, NoSwitchingOnWhileAScanHoldsTheCommands) {
    auto* command1 = control<QPushButton>("Command1");
    folderField()->setText(QStringLiteral("/srv/skany/"));
    ASSERT_TRUE(command1->isEnabled());
    control("SSPanel2")->setEnabled(false); // as the scan does
    EXPECT_FALSE(command1->isEnabled());
    QTest::keyClicks(folderField(), QStringLiteral("x"));
    EXPECT_FALSE(command1->isEnabled());
    control("SSPanel2")->setEnabled(true);
    EXPECT_TRUE(command1->isEnabled());
}

TEST_F(AutoWindowTest, FolderChoiceKeepsTheSeparatorAndCancelChangesNothing) {
    folderField()->setText(QStringLiteral("/stary/"));
    m_chosen = QStringLiteral("/srv/nowy");
    QTest::mouseClick(control("Image3"), Qt::LeftButton);
    EXPECT_EQ(m_dialogFolders, QStringList{QStringLiteral("/stary/")});
    EXPECT_EQ(folderField()->text(), QStringLiteral("/srv/nowy/"));
    m_chosen.clear();
    QTest::mouseClick(control("Image3"), Qt::LeftButton);
    EXPECT_EQ(folderField()->text(), QStringLiteral("/srv/nowy/"));
}

TEST_F(AutoWindowTest, TickStoresTheFolderWithoutAnyWindowAndRearmsTheTimer) {
    const QString folder = m_dir.filePath(QStringLiteral("wymiana"));
    QDir().mkpath(folder);
    std::vector<CellMark> marks;
    for (int s = 1; s <= 5; ++s) marks.push_back({s, s});
    const QString card = folder + QStringLiteral("/karta.png");
    ASSERT_TRUE(render(cardSpec(1), 150.0, marks).save(card));
    QFile f(card);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    f.close();
    const QString refused = folder + QStringLiteral("/pusta.png");
    QImage white(600, 800, QImage::Format_RGB32);
    white.fill(Qt::white);
    ASSERT_TRUE(white.save(refused));

    folderField()->setText(folder); // without the separator
    control<QCheckBox>("SSCheck4")->setChecked(true);
    const int before = Conn().query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=1")).recordCount();
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    auto* timer = control<QTimer>("Timer1");
    ASSERT_TRUE(timer->isActive());
    m_auto->Timer1Timer();
    EXPECT_EQ(Conn().query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=1")).recordCount(), before + 1);
    EXPECT_FALSE(QFile::exists(card)) << "stored and configured for deletion";
    EXPECT_TRUE(QFile::exists(refused)) << "a refused card stays";
    EXPECT_TRUE(messages().isEmpty() && questions().isEmpty());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 30000);
    EXPECT_TRUE(m_window->isEnabled());
}

} // namespace
} // namespace kartovo::test
