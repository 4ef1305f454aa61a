#pragma once

#include "app/AutoMode.h"
#include "app/ui/MainWidgets.h"

#include <QDateTime>
#include <QObject>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace kartovo {

class MainWindow;

// Automatic mode of the main window: the "Auto OFF"/"Auto ON" button
// (Command1), the exchange folder's choice (Image3 beside Text1) and the
// looks into the folder on Timer1. No window or question appears while it
// runs; every outcome goes to standard error.
class AutoController : public QObject {
    Q_OBJECT
public:
    // The folder dialog: the current folder in, the chosen one out (empty when cancelled).
    using FolderDialog = std::function<QString(const QString& folder)>;

    AutoController(MainWindow& window, const MainWidgets& widgets);
    ~AutoController() override;

    void setFolderDialog(FolderDialog dialog) { m_folderDialog = std::move(dialog); }
    AutoMode& mode() { return *m_mode; }

    void Command1Click();
    void Image3Click();
    // One look into the exchange folder; the timer waits meanwhile and starts
    // again 30 s after it ended while automatic mode is on.
    void Timer1Timer();

    static QString folderDialogTitle();
    // What the window shows while automatic mode is on.
    QString statusText() const;
    int storedSinceOn() const { return m_storedSinceOn; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateCommand1();
    void updateStatus();

    MainWindow& m_window;
    MainWidgets m_widgets;
    QPushButton* m_command1 = nullptr;
    QTimer* m_timer1 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QWidget* m_panel2 = nullptr;
    FolderDialog m_folderDialog;
    std::unique_ptr<AutoCardProcessor> m_processor;
    std::unique_ptr<AutoMode> m_mode;
    bool m_inTick = false;
    QWidget* m_command6 = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_countdown = nullptr;
    QDateTime m_lastLook;
    int m_storedSinceOn = 0;
    int m_refusedAtLastLook = 0;
    QString m_lastRefusal;
};

} // namespace kartovo
