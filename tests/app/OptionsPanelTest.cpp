#include "AppTestSupport.h"

#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

using namespace kartovo;

namespace {

// The panel inside a started main window, opened with "&Ustawienia".
class OptionsPanelTest : public test::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        configureDatabaseFile();
    }
    void startWindow() {
        m_window = std::make_unique<MainWindow>();
        m_window->setEndProgram([](int) {});
        m_window->setDatabaseStartup([](const DatabaseConfig&) { return true; });
        ASSERT_TRUE(m_window->start());
        m_window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
        m_panel = m_window->optionsPanel();
    }
    template <typename T = QWidget>
    T* child(const char* name) const {
        T* c = m_window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QPushButton* settingsButton() const { return child<QPushButton>("Command6"); }
    void clickBox(const char* name) {
        auto* box = child<QCheckBox>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    bool shown(const char* name) const { return child(name)->isVisibleTo(m_panel); }
    void openPanel() {
        QTest::mouseClick(settingsButton(), Qt::LeftButton);
        ASSERT_TRUE(m_panel->isVisible());
    }

    std::unique_ptr<MainWindow> m_window;
    OptionsPanel* m_panel = nullptr;
};

} // namespace

TEST_F(OptionsPanelTest, SettingsButtonTogglesAndFocusesTheScannerButton) {
    startWindow();
    EXPECT_FALSE(m_panel->isVisible());
    openPanel();
    EXPECT_TRUE(child("Command14")->hasFocus());
    EXPECT_GE(m_panel->x() + m_panel->width(), m_window->centralWidget()->width() - 19 - 1);
    // Enter on the focused button acts as a click.
    settingsButton()->setFocus();
    QTest::keyClick(settingsButton(), Qt::Key_Return);
    EXPECT_FALSE(m_panel->isVisible());
    openPanel();
    QTest::mouseClick(child("XPButton1"), Qt::LeftButton);
    EXPECT_FALSE(m_panel->isVisible());
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(OptionsPanelTest, ClosingIsRefusedWhileAVisibleSensitivityListHasNoChoice) {
    set(QStringLiteral("Start"), QStringLiteral("KonwersjaCB"), QStringLiteral("1"));
    set(QStringLiteral("Start"), QStringLiteral("FiltrCB"), QStringLiteral("1"));
    set(QStringLiteral("Start"), QStringLiteral("CzuloscK"), QStringLiteral("-1"));
    set(QStringLiteral("Start"), QStringLiteral("CzuloscF"), QStringLiteral("-1"));
    startWindow();
    openPanel();
    auto* conversion = child<QComboBox>("Combo3");
    auto* noise = child<QComboBox>("Combo4");
    EXPECT_EQ(conversion->currentIndex(), -1);

    QTest::mouseClick(child("XPButton1"), Qt::LeftButton);
    EXPECT_TRUE(m_panel->isVisible());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages.back().text, QStringLiteral("Nie wskazano czułości konwersji - Popraw !"));
    EXPECT_TRUE(conversion->hasFocus());

    conversion->setCurrentIndex(1);
    QTest::mouseClick(settingsButton(), Qt::LeftButton);
    EXPECT_TRUE(m_panel->isVisible());
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages.back().text, QStringLiteral("Nie wskazano czułości filrowania - Popraw !"));
    EXPECT_TRUE(noise->hasFocus());

    noise->setCurrentIndex(2);
    QTest::mouseClick(settingsButton(), Qt::LeftButton);
    EXPECT_FALSE(m_panel->isVisible());
    EXPECT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_panel->conversionSensitivity(), 1);
    EXPECT_EQ(m_panel->filterSensitivity(), 2);
}

TEST_F(OptionsPanelTest, AHiddenListWithoutChoiceDoesNotBlockClosing) {
    set(QStringLiteral("Start"), QStringLiteral("CzuloscK"), QStringLiteral("-1"));
    startWindow();
    openPanel();
    EXPECT_FALSE(shown("Combo3"));
    QTest::mouseClick(settingsButton(), Qt::LeftButton);
    EXPECT_FALSE(m_panel->isVisible());
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(OptionsPanelTest, CheckBoxesShowTheirListsAndColourSettings) {
    set(QStringLiteral("Start"), QStringLiteral("CzuloscK"), QStringLiteral("2"));
    set(QStringLiteral("Start"), QStringLiteral("CzuloscF"), QStringLiteral("1"));
    startWindow();
    openPanel();
    EXPECT_FALSE(shown("Combo3"));
    EXPECT_FALSE(shown("Combo4"));
    EXPECT_TRUE(shown("Combo5"));
    EXPECT_TRUE(shown("XPCheck1"));
    EXPECT_FALSE(shown("FlatScrollBar1"));
    EXPECT_FALSE(shown("Picture2"));

    clickBox("SSCheck2");
    EXPECT_TRUE(shown("Combo3"));
    EXPECT_TRUE(shown("Label7"));
    EXPECT_EQ(child<QComboBox>("Combo3")->currentIndex(), 2);
    clickBox("SSCheck3");
    EXPECT_TRUE(shown("Combo4"));
    EXPECT_EQ(child<QComboBox>("Combo4")->currentIndex(), 1);
    clickBox("SSCheck3");
    EXPECT_FALSE(shown("Combo4"));
    EXPECT_FALSE(shown("Label8"));

    // Conversion and colour filter exclude each other.
    clickBox("SSCheck2");
    EXPECT_FALSE(shown("Combo3"));
    EXPECT_TRUE(shown("XPCheck1"));
    clickBox("XPCheck1");
    for (const char* name : {"FlatScrollBar1", "FlatScrollBar2", "FlatScrollBar3", "Picture2"})
        EXPECT_TRUE(shown(name)) << name;
    for (QWidget* w : m_window->findChildren<QWidget*>(QStringLiteral("XPOption1"))) EXPECT_TRUE(w->isVisibleTo(m_panel));
    for (QWidget* w : m_window->findChildren<QWidget*>(QStringLiteral("Label6"))) EXPECT_TRUE(w->isVisibleTo(m_panel));
    clickBox("SSCheck2");
    EXPECT_FALSE(child<QCheckBox>("XPCheck1")->isChecked());
    EXPECT_FALSE(shown("XPCheck1"));
    EXPECT_FALSE(shown("FlatScrollBar2"));
    EXPECT_FALSE(shown("Picture2"));
}

TEST_F(OptionsPanelTest, ListsKeepTheirPositionsAndIgnoreTypedKeys) {
    startWindow();
    openPanel();
    auto* rotation = child<QComboBox>("Combo5");
    rotation->setFocus();
    QTest::keyClick(rotation, Qt::Key_W);
    QTest::keyClick(rotation, Qt::Key_N);
    QKeyEvent polish(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("ś"));
    QApplication::sendEvent(rotation, &polish);
    EXPECT_EQ(rotation->currentIndex(), 0);
    EXPECT_EQ(m_panel->rotation(), 0);
    // Arrows still choose.
    QTest::keyClick(rotation, Qt::Key_Down);
    EXPECT_EQ(rotation->currentIndex(), 1);
    EXPECT_EQ(m_panel->rotation(), 1);
    rotation->setCurrentIndex(-1);
    EXPECT_EQ(m_panel->rotation(), -1);
}

TEST_F(OptionsPanelTest, ColourOptionsAndSlidersPaintThePreview) {
    set(QStringLiteral("Start"), QStringLiteral("FiltrKolor"), QStringLiteral("1"));
    set(QStringLiteral("Start"), QStringLiteral("FiltrRGB"), QStringLiteral("1"));
    set(QStringLiteral("Start"), QStringLiteral("FiltrBV"), QStringLiteral("40"));
    startWindow();
    openPanel();
    auto labels = m_window->findChildren<QLabel*>(QStringLiteral("Label6"));
    ASSERT_EQ(labels.size(), 3);
    EXPECT_EQ(labels[2]->text(), QStringLiteral("40"));
    EXPECT_EQ(m_panel->filterColour(), 1);

    child<QScrollBar>("FlatScrollBar1")->setValue(255);
    child<QScrollBar>("FlatScrollBar3")->setValue(0);
    EXPECT_EQ(child("Picture2")->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(labels[0]->text(), QStringLiteral("255"));
    EXPECT_EQ(labels[1]->text(), QStringLiteral("0"));
    EXPECT_EQ(labels[2]->text(), QStringLiteral("0"));

    auto options = m_window->findChildren<QRadioButton*>(QStringLiteral("XPOption1"));
    QTest::mouseClick(options[2], Qt::LeftButton, {}, QPoint(6, options[2]->height() / 2));
    EXPECT_EQ(m_panel->filterColour(), 2);
    QTest::mouseClick(options[0], Qt::LeftButton, {}, QPoint(6, options[0]->height() / 2));
    EXPECT_EQ(m_panel->filterColour(), 0);
}

TEST_F(OptionsPanelTest, ExchangeFolderTakesPolishLetters) {
    set(QStringLiteral("Start"), QStringLiteral("AutoDir"), QStringLiteral("/wymiana/"));
    startWindow();
    openPanel();
    auto* field = m_panel->exchangeFolderField();
    EXPECT_EQ(field->objectName(), QStringLiteral("Text1"));
    EXPECT_EQ(field->text(), QStringLiteral("/wymiana/"));
    field->setFocus();
    field->end(false);
    for (const QString& letter : {QStringLiteral("ż"), QStringLiteral("ó"), QStringLiteral("ł")}) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, letter);
        QApplication::sendEvent(field, &key);
    }
    QTest::keyClicks(field, "w/");
    m_window->close();
    EXPECT_EQ(stored(QStringLiteral("Start"), QStringLiteral("AutoDir")), QStringLiteral("/wymiana/żółw/"));
}
