#pragma once

#include "app/ui/MainWidgets.h"
#include "acquisition/sane/Scanner.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QVariant>

class QThread;
class QWidget;

namespace kartovo {

class CardController;
class MainWindow;

// "&Skan" (Command2) and "&Wskaż skaner" (Command14). A scan runs on a worker
// thread while the window stays responsive, then the scanned picture goes
// through the pipeline as a chosen file's decoded picture does: the page is
// never written out and read back.
class ScanController : public QObject {
    Q_OBJECT
public:
    ScanController(MainWindow& window, const MainWidgets& widgets, CardController& cards);

    // "&Skan": false when nothing was started (a scan or a card is in progress,
    // or the worker could not start).
    bool Command2Click();
    // "&Wskaż skaner": the remembered choice is used by every later scan.
    void Command14Click();

    bool busy() const { return m_scanner != nullptr; }
    // Stops the running scan; it ends like a failed one.
    void cancelScan();

    // The remembered scanner, colour, the resolution chosen on the options
    // panel and any extra device options.
    ScanSettings nextScanSettings() const;
    // Device options set on every scan after mode and resolution (special
    // devices, tests: the file device's "filename").
    void setDeviceOptions(QList<QPair<QString, QVariant>> options) { m_deviceOptions = std::move(options); }

    ~ScanController() override;

signals:
    // A scan has ended with `result` (0: a picture was scanned); the picture
    // is on its road (CardController::cardDone follows).
    void scanEnded(int result);

private:
    void onProgress(int percent);
    void onFinished(int result, QImage picture);
    void closeOperatorCommands();
    void reopenOperatorCommands();

    MainWindow& m_window;
    MainWidgets m_widgets;
    CardController& m_cards;
    Scanner* m_scanner = nullptr;
    QThread* m_thread = nullptr;
    bool m_cancelled = false;
    QList<QPair<QString, QVariant>> m_deviceOptions;
    QList<QPointer<QWidget>> m_closed;
};

} // namespace kartovo
