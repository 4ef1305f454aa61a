#pragma once

#include "PipelineSupport.h"

#include "app/ui/CardController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "db/DbSession.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QTimer>

#include <functional>
#include <memory>

namespace kartovo::test {

inline QByteArray FileHash(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// The main window on the demo database, shown, with the file dialog answered
// by the test (m_chosen; empty is a cancel).
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
    QString tempBmp() const { return WorkingFile(QStringLiteral("temp.bmp")); }

    // Runs `act` on the modal window once it is shown, as long as the returned
    // timer lives.
    [[nodiscard]] static std::unique_ptr<QTimer> whenModalShown(std::function<void(QWidget*)> act) {
        auto timer = std::make_unique<QTimer>();
        QTimer* t = timer.get();
        QObject::connect(t, &QTimer::timeout, [t, act] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                t->stop();
                act(modal);
            }
        });
        t->start(20);
        return timer;
    }

    std::unique_ptr<MainWindow> m_window;
    QString m_chosen;
    QList<QStringList> m_dialogCalls;
};

} // namespace kartovo::test
