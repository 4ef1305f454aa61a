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
#include <QThread>

namespace kartovo {

ScanController::ScanController(MainWindow& window, const MainWidgets& widgets, CardController& cards)
    : QObject(&window), m_window(window), m_widgets(widgets), m_cards(cards) {
    setObjectName(QStringLiteral("ScanController"));
    connect(m_widgets.command2, &QPushButton::clicked, this, [this] { Command2Click(); });
    connect(m_widgets.optionsPanel->scannerButton(), &QPushButton::clicked, this, &ScanController::Command14Click);
}

ScanSettings ScanController::nextScanSettings() const {
    ScanSettings settings = ScanSettingsFromStore(SettingsStore());
    settings.resolution = m_widgets.optionsPanel->scanResolution();
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
    m_widgets.label3->hide();

    const QString path = WorkingFile(QStringLiteral("temp.bmp"));
    m_cards.card().ImagePath = path;
    if (QFileInfo::exists(path) && !QFile::remove(path)) {
        // A refused scan would leave the old card's file as if it were the new one's.
        qCWarning(lcApp) << "Cannot delete the earlier card" << path;
        return false;
    }

    const ScanSettings settings = nextScanSettings();
    m_cancelled = false;
    m_scanner = new Scanner(this);
    connect(m_scanner, &Scanner::progress, this, &ScanController::onProgress);
    Scanner* scanner = m_scanner;
    m_thread = QThread::create([this, scanner, settings] {
        QImage picture;
        int result = scanner->scan(settings, picture);
        if (result == ScanOk && picture.isNull()) result = ScanBadData;
        if (result == ScanOk)
            qCInfo(lcApp) << "Scanned" << picture.width() << "x" << picture.height();
        QMetaObject::invokeMethod(
            this, [this, result, picture = std::move(picture)]() mutable { onFinished(result, std::move(picture)); },
            Qt::QueuedConnection);
    });
    m_thread->setObjectName(QStringLiteral("Skan"));
    m_thread->start();
    qCInfo(lcApp) << "Scanning" << (settings.device.isEmpty() ? QStringLiteral("(first scanner)") : settings.device)
                  << "at" << settings.resolution << "dpi";
    closeOperatorCommands();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    onProgress(0);
    return true;
}

ScanController::~ScanController() {
    if (m_scanner) m_scanner->cancel();
    if (m_thread) m_thread->wait();
    delete m_thread;
}

void ScanController::cancelScan() {
    if (!m_scanner) return;
    m_cancelled = true;
    m_scanner->cancel();
}

void ScanController::onProgress(int percent) {
    m_widgets.label3->setText(QStringLiteral("Skanowanie: %1%").arg(qBound(0, percent, 100)));
    m_widgets.label3->show();
}

void ScanController::onFinished(int result, QImage picture) {
    if (!m_scanner) return;
    m_thread->wait(); // returning from its last line
    delete m_thread;
    m_thread = nullptr;
    delete m_scanner;
    m_scanner = nullptr;
    // A cancel that came after the last line still ends the scan as cancelled.
    if (result == ScanOk && m_cancelled) result = ScanCancelled;
    QApplication::restoreOverrideCursor();
    reopenOperatorCommands();
    m_widgets.label3->hide();

    if (result != ScanOk) {
        qCInfo(lcApp) << "Scan ended without a picture, result" << result;
        emit scanEnded(result);
        return;
    }
    // The picture as a bitmap of it would read back: 32-bit RGB.
    if (picture.format() != QImage::Format_RGB32) picture.convertTo(QImage::Format_RGB32);
    m_cards.ZaladujPlikGraf(true, std::move(picture));
    emit scanEnded(result);
}

void ScanController::closeOperatorCommands() {
    // No second scan, file or automatic mode while the device works; the rest of
    // the window (scroll bars, options) stays usable.
    m_closed.clear();
    QList<QWidget*> commands{m_widgets.ssPanel2, m_widgets.command1, m_widgets.optionsPanel->scannerButton()};
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
