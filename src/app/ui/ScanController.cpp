#include "app/ui/ScanController.h"

#include "acquisition/ScannerSettings.h"
#include "acquisition/ui/ScannerChoiceDialog.h"
#include "app/ui/CardController.h"
#include "app/ui/ListPanel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsPanel.h"
#include "platform/Logging.h"
#include "platform/SettingsStore.h"
#include "platform/WorkingFolder.h"
#include "reading/ui/ReadingController.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace kartovo {

ScanController::ScanController(MainWindow& window, CardController& cards)
    : QObject(&window), m_window(window), m_cards(cards) {
    setObjectName(QStringLiteral("ScanController"));
    if (auto* command2 = qobject_cast<QPushButton*>(control("Command2")))
        connect(command2, &QPushButton::clicked, this, [this] { Command2Click(); });
    if (QPushButton* command14 = m_window.optionsPanel()->scannerButton())
        connect(command14, &QPushButton::clicked, this, &ScanController::Command14Click);
}

QWidget* ScanController::control(const char* name) const {
    return m_window.findChild<QWidget*>(QLatin1String(name));
}

ScanSettings ScanController::nextScanSettings() const {
    ScanSettings settings = ScanSettingsFromStore(SettingsStore());
    settings.resolution = m_window.optionsPanel()->scanResolution();
    settings.options += m_deviceOptions;
    return settings;
}

void ScanController::Command14Click() {
    if (busy()) return;
    SettingsStore store;
    WskazSkaner(&m_window, store);
}

bool ScanController::Command2Click() {
    if (busy() || m_cards.busy()) return false;
    m_cards.setScannerSource(true);

    // The earlier card is gone with its file: nothing of it may be read or stored.
    m_window.dropCard();
    if (QWidget* w = control("Label3")) w->hide();

    const QString path = WorkingFile(QStringLiteral("temp.bmp"));
    m_cards.card().ImagePath = path;
    if (QFileInfo::exists(path) && !QFile::remove(path)) {
        // Scanning over it could leave the old card to be processed as the new one.
        qCWarning(lcApp) << "Cannot delete the earlier card" << path;
        return false;
    }

    const ScanSettings settings = nextScanSettings();
    m_scanner = new Scanner(this);
    connect(m_scanner, &Scanner::progress, this, &ScanController::onProgress);
    connect(m_scanner, &Scanner::finished, this, &ScanController::onFinished);
    if (!m_scanner->acquireToFileAsync(path, settings)) {
        delete m_scanner;
        m_scanner = nullptr;
        return false;
    }
    qCInfo(lcApp) << "Scanning" << (settings.device.isEmpty() ? QStringLiteral("(first scanner)") : settings.device)
                  << "at" << settings.resolution << "dpi into" << path;
    closeOperatorCommands();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    onProgress(0);
    return true;
}

void ScanController::cancelScan() {
    if (m_scanner) m_scanner->cancel();
}

void ScanController::onProgress(int percent) {
    if (auto* label = qobject_cast<QLabel*>(control("Label3"))) {
        label->setText(QStringLiteral("Skanowanie: %1%").arg(qBound(0, percent, 100)));
        label->show();
    }
}

void ScanController::onFinished(int result) {
    if (!m_scanner) return;
    // The worker may still be returning from its signal; the object goes later.
    m_scanner->deleteLater();
    m_scanner = nullptr;
    QApplication::restoreOverrideCursor();
    reopenOperatorCommands();
    if (QWidget* label = control("Label3")) label->hide();

    if (result != ScanOk) {
        qCInfo(lcApp) << "Scan ended without a picture, result" << result;
        emit scanEnded(result);
        return;
    }
    if (QFileInfo(m_cards.card().ImagePath).isFile()) m_cards.ZaladujPlikGraf(true);
    m_window.setEnabled(true);
    emit scanEnded(result);
}

void ScanController::closeOperatorCommands() {
    // No second scan, file or automatic mode while the device works; the rest of
    // the window (scroll bars, options) stays usable.
    m_closed.clear();
    QList<QWidget*> commands{control("SSPanel2"), control("Command1"), m_window.optionsPanel()->scannerButton()};
    for (QWidget* w : commands) {
        if (!w || !w->isEnabled()) continue;
        w->setEnabled(false);
        m_closed << w;
    }
}

void ScanController::reopenOperatorCommands() {
    for (const QPointer<QWidget>& w : std::as_const(m_closed))
        if (w) w->setEnabled(true);
    m_closed.clear();
}

} // namespace kartovo
