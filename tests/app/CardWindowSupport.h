#pragma once

#include "PipelineSupport.h"

#include "app/ui/CardController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "db/DbSession.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace kartovo::test {

// The main window on the demo database; the file dialog answers m_chosen (empty: cancel).
class CardWindowTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        DatabaseConfig config;
        config.dbType = QStringLiteral("MDB");
        config.dbFolder = m_demo;
        ASSERT_TRUE(DbSession::instance().open(config));
        ASSERT_EQ(LoadBaseSettings(Conn(), DbSession::instance().baseSettings()), BaseSettingsOutcome::Loaded);
        m_window = std::make_unique<MainWindow>();
        StationOptions options;
        options.convertToBW = true;
        m_window->optionsPanel()->applyOptions(options);
        m_window->run().initialFolder = QStringLiteral("/poczatek/");
        m_window->cards()->setFileDialog([this](const QString& title, const QString& filter, const QString& folder) {
            m_dialogCalls << QStringList{title, filter, folder};
            return m_chosen;
        });
        // "&Plik" returns once its card has gone its road, unless a test
        // wants the card in flight.
        QObject::connect(control<QPushButton>("Command4"), &QPushButton::clicked, m_window.get(), [this] {
            if (m_clickWaits) (void)waitForCard();
        });
        m_window->show();
    }
    void TearDown() override {
        m_window.reset();
        DbSession::instance().reset();
        PipelineTest::TearDown();
    }
    template <typename T = QWidget> T* control(const char* name) {
        return m_window->findChild<T*>(QLatin1String(name));
    }
    QString status() { return control<QLabel>("Label3")->text(); }
    QString tempBmp() const { return WorkingFile(QStringLiteral("temp.bmp")); }

    // The card handed to the window has gone its whole road.
    [[nodiscard]] bool waitForCard() {
        return testing::WaitUntil([this] { return !m_window->cards()->busy(); });
    }
    // Chooses `path` through "&Plik" and waits for its card.
    void choose(const QString& path) {
        m_chosen = path;
        QTest::mouseClick(control<QPushButton>("Command4"), Qt::LeftButton);
        ASSERT_TRUE(waitForCard());
    }
    QString write(int id, const std::vector<CellMark>& marks, const QString& name) {
        const QString path = m_dir.filePath(name);
        return render(cardSpec(id, id), 150.0, marks).save(path) ? path : QString();
    }
    int rows(int parameter) {
        return Conn().query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=%1").arg(parameter)).recordCount();
    }

    std::unique_ptr<MainWindow> m_window;
    bool m_clickWaits = true;
    QString m_chosen;
    QList<QStringList> m_dialogCalls;
};

} // namespace kartovo::test
