#include "CardWindowSupport.h"

#include "app/ui/AutoController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "db/DbSession.h"

#include <QCheckBox>
#include <QLabel>
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
    // No operator command is usable meanwhile, the options included.
    for (const char* name : {"Command2", "Command4", "Command7", "Command10", "Command11", "Command12", "Command6",
                             "Command13", "Image1", "Image2"})
        EXPECT_FALSE(control(name)->isEnabled()) << name;
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 30000);
    auto* status = control<QLabel>("LabelAuto");
    EXPECT_TRUE(status->isVisible());
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("Tryb automatyczny, katalog: /srv/skany/")))
        << status->text().toStdString();

    // Enter on the focused button acts as a click.
    command1->setFocus();
    QTest::keyClick(command1, Qt::Key_Return);
    EXPECT_FALSE(m_window->run().autoMode);
    EXPECT_EQ(command1->text(), QStringLiteral("Auto OFF"));
    EXPECT_TRUE(control("SSPanel2")->isEnabled());
    EXPECT_TRUE(control("Command6")->isEnabled());
    EXPECT_FALSE(status->isVisible());
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
    QFile r(refused);
    ASSERT_TRUE(r.open(QIODevice::ReadWrite));
    ASSERT_TRUE(r.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    r.close();

    // A card read by the operator, its list open: switching on drops it.
    m_chosen = m_dir.filePath(QStringLiteral("reczna.png"));
    ASSERT_TRUE(render(cardSpec(1), 150.0, marks).save(m_chosen));
    QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("Command7"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("Command10"), Qt::LeftButton);
    ASSERT_TRUE(m_window->hasUnsavedCard());

    folderField()->setText(folder); // without the separator
    control<QCheckBox>("SSCheck4")->setChecked(true);
    auto rows = [] { return Conn().query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=1")).recordCount(); };
    const int before = rows();
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_FALSE(m_window->hasUnsavedCard());
    EXPECT_EQ(m_window->reading().MeasurementCount(), 0);
    auto* timer = control<QTimer>("Timer1");
    ASSERT_TRUE(timer->isActive());
    // The first look comes at once, not 30 s later.
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows() == before + 1; }, 20000));
    EXPECT_EQ(rows(), before + 1);
    const QString status = control<QLabel>("LabelAuto")->text();
    EXPECT_TRUE(status.contains(QStringLiteral("zapisane od włączenia: 1"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("odrzucone w katalogu: 1"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("ostatnia odmowa: Brak markera"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("ostatnie przejrzenie: ")) && status.contains(QStringLiteral("następne za ")))
        << status.toStdString();
    EXPECT_FALSE(QFile::exists(card)) << "stored and configured for deletion";
    EXPECT_TRUE(QFile::exists(refused)) << "a refused card stays";
    EXPECT_TRUE(messages().isEmpty() && questions().isEmpty());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 30000);
    EXPECT_TRUE(m_window->isEnabled());
}

} // namespace
} // namespace kartovo::test
