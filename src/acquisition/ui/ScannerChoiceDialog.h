#pragma once

#include "acquisition/sane/Scanner.h"

#include <QDialog>
#include <QList>

class QListWidget;
class QPushButton;
class QWidget;

namespace kartovo {

class SettingsStore;

// The modal list of scanners behind "&Wskaż skaner". The remembered scanner
// is preselected (else the first, which scans when nothing is remembered);
// "&OK" or a double click stores the choice, Esc and "&Anuluj" change nothing.
class ScannerChoiceDialog : public QDialog {
    Q_OBJECT
public:
    ScannerChoiceDialog(const QList<ScannerDevice>& devices, SettingsStore& store, QWidget* parent = nullptr);

    // Device name of the selected row; empty when none.
    QString selectedDevice() const;

    void accept() override;

private:
    QList<ScannerDevice> m_devices;
    SettingsStore& m_store;
    QListWidget* m_list = nullptr;
    QPushButton* m_ok = nullptr;
};

// The "&Wskaż skaner" action: lists the scanners while the window stays
// responsive; with none, shows the no-scanner message; otherwise shows the
// dialog. True when a scanner was chosen and stored.
bool WskazSkaner(QWidget* parent, SettingsStore& store);

} // namespace kartovo
