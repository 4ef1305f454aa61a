#include "app/ui/AutoController.h"

#include "app/ui/CardController.h"
#include "app/ui/Controls.h"
#include "app/ui/ListPanel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "db/DbSession.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/SettingsStore.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

namespace kartovo {

AutoController::AutoController(MainWindow& window, const MainWidgets& widgets)
    : QObject(&window), m_window(window), m_widgets(widgets) {
    setObjectName(QStringLiteral("AutoController"));
    m_command1 = widgets.command1;
    m_timer1 = widgets.timer1;
    m_text1 = widgets.optionsPanel->exchangeFolderField();
    m_panel2 = widgets.ssPanel2;
    // While a scan holds the operator's commands, the mode cannot be switched on.
    if (m_panel2) m_panel2->installEventFilter(this);
    m_folderDialog = [this](const QString& folder) {
        return QFileDialog::getExistingDirectory(&m_window, folderDialogTitle(), folder);
    };
    m_processor = std::make_unique<AutoCardProcessor>(Conn(), Base(), window.pictures());
    m_processor->setView(window.cards());
    m_mode = std::make_unique<AutoMode>([this](QImage picture) {
        AutoCardResult result = m_processor->process(std::move(picture));
        if (!result.stored && !result.message.isEmpty()) m_lastRefusal = result.message;
        return result;
    });
    m_command6 = widgets.command6;
    // The window says what automatic mode does: a line at its foot, with a
    // countdown to the next look.
    m_status = new QLabel(window.statusBar());
    m_status->setObjectName(QStringLiteral("LabelAuto"));
    m_status->setTextFormat(Qt::PlainText);
    window.statusBar()->addWidget(m_status, 1);
    window.statusBar()->hide();
    m_countdown = new QTimer(this);
    m_countdown->setInterval(1000);
    connect(m_countdown, &QTimer::timeout, this, &AutoController::updateStatus);

    if (m_timer1) {
        m_timer1->setInterval(0);
        m_timer1->stop();
        connect(m_timer1, &QTimer::timeout, this, &AutoController::Timer1Timer);
    }
    if (m_command1) connect(m_command1, &QPushButton::clicked, this, &AutoController::Command1Click);
    if (m_text1) {
        connect(m_text1, &QLineEdit::textChanged, this, &AutoController::updateCommand1);
        // File names are appended to the folder directly.
        connect(m_text1, &QLineEdit::editingFinished, this, [this] {
            const QString withSeparator = ExchangeFolderWithSeparator(m_text1->text());
            if (withSeparator != m_text1->text()) m_text1->setText(withSeparator);
        });
    }
    connect(widgets.optionsPanel->folderImage(), &SmallImage::clicked, this, &AutoController::Image3Click);
    updateCommand1();
}

AutoController::~AutoController() = default;

QString AutoController::folderDialogTitle() { return QStringLiteral("Folder składowania grafik"); }

bool AutoController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_panel2 && event->type() == QEvent::EnabledChange) updateCommand1();
    return QObject::eventFilter(watched, event);
}

void AutoController::updateCommand1() {
    if (!m_command1) return;
    const bool folder = m_text1 && !m_text1->text().isEmpty();
    const bool free = m_window.run().autoMode || !m_panel2 || m_panel2->isEnabled();
    m_command1->setEnabled(folder && free);
}

void AutoController::Command1Click() {
    for (QWidget* panel : std::initializer_list<QWidget*>{m_widgets.listPanel, m_widgets.optionsPanel}) panel->hide();
    bool& on = m_window.run().autoMode;
    // Cards are stored without the operator from now on: nothing of the card
    // on screen may be read or stored afterwards.
    if (!on) m_window.dropCard();
    on = !on;
    if (m_command1) m_command1->setText(on ? QStringLiteral("Auto ON") : QStringLiteral("Auto OFF"));
    // Every operator command, the options included, waits while cards are stored.
    if (m_panel2) m_panel2->setEnabled(!on);
    if (m_command6) m_command6->setEnabled(!on);
    m_widgets.listPanel->setEnabled(!on);
    updateCommand1();
    qCInfo(lcApp) << "Automatic mode" << (on ? "on" : "off");
    if (on) {
        m_storedSinceOn = 0;
        m_refusedAtLastLook = 0;
        m_lastRefusal.clear();
        m_lastLook = {};
        m_countdown->start();
        m_window.statusBar()->show();
    } else {
        m_countdown->stop();
        m_window.statusBar()->hide();
    }
    updateStatus();
    if (!m_timer1 || m_inTick) return; // a running look re-arms the timer itself
    if (on) {
        m_timer1->setInterval(kAutoIntervalMs);
        m_timer1->start();
        // The first look comes at once, the next ones 30 s after each.
        QTimer::singleShot(0, this, [this] {
            if (m_window.run().autoMode && !m_inTick) Timer1Timer();
        });
    } else {
        m_timer1->stop();
        m_timer1->setInterval(0);
    }
}

QString AutoController::statusText() const {
    if (!m_window.run().autoMode) return {};
    const QString folder = m_text1 ? m_text1->text() : QString();
    QStringList parts{QStringLiteral("Tryb automatyczny, katalog: ") + folder};
    if (m_inTick) {
        parts << QStringLiteral("przeglądam katalog...");
    } else {
        if (m_lastLook.isValid())
            parts << QStringLiteral("ostatnie przejrzenie: ") + m_lastLook.toString(QStringLiteral("HH:mm:ss"));
        if (m_timer1 && m_timer1->isActive())
            parts << QStringLiteral("następne za %1 s").arg(qMax(0, (m_timer1->remainingTime() + 999) / 1000));
    }
    parts << QStringLiteral("zapisane od włączenia: %1").arg(m_storedSinceOn)
          << QStringLiteral("odrzucone w katalogu: %1").arg(m_refusedAtLastLook);
    if (!m_mode->databaseReachable())
        parts << QStringLiteral("BRAK POŁĄCZENIA Z BAZĄ DANYCH - karty czekają w katalogu");
    if (!m_lastRefusal.isEmpty()) parts << QStringLiteral("ostatnia odmowa: ") + m_lastRefusal;
    return parts.join(QStringLiteral(" | "));
}

void AutoController::updateStatus() {
    if (!m_status) return;
    const QString text = statusText();
    m_status->setText(text);
    m_status->setToolTip(text); // a long refusal is cut at the window's edge
}

void AutoController::Image3Click() {
    const QString current = m_text1 ? m_text1->text() : QString();
    const QString chosen = m_folderDialog ? m_folderDialog(current) : QString();
    if (chosen.isEmpty() || !m_text1) return;
    m_text1->setText(ExchangeFolderWithSeparator(QDir::toNativeSeparators(chosen)));
}

void AutoController::Timer1Timer() {
    if (m_inTick) return;
    m_inTick = true;
    // The working files are automatic mode's now.
    m_window.cards()->cancel();
    m_window.cards()->waitForWorker();
    if (m_timer1) {
        m_timer1->stop();
        m_timer1->setInterval(0);
    }
    // Nobody is there to answer: anything the pipeline would show is logged instead.
    MessagePresenter previous = SetMessagePresenter([](const MessageRequest& request) {
        qCWarning(lcApp).noquote() << "automatic mode, not shown:" << JoinLines(request.text);
        return false;
    });
    const StationOptions options = m_window.currentOptions();
    m_processor->setOptions(options);
    m_mode->setFolder(options.exchangeFolder);
    m_mode->setDeleteStored(options.deleteProcessedFile);
    // The settle time is the station's setting; the window has no control for it.
    m_mode->setSettleMs(ReadStationOptions(SettingsStore()).settleSeconds * 1000);
    updateStatus();
    const AutoMode::Summary summary = m_mode->tick();
    SetMessagePresenter(std::move(previous));
    m_inTick = false;
    m_lastLook = QDateTime::currentDateTime();
    m_storedSinceOn += summary.stored;
    m_refusedAtLastLook = summary.refused;
    // Switching the mode off during a look stops the looks that would follow.
    if (m_timer1 && m_window.run().autoMode) {
        m_timer1->setInterval(kAutoIntervalMs);
        m_timer1->start();
    }
    updateStatus();
}

} // namespace kartovo
