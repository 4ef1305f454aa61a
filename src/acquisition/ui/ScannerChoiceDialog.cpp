#include "acquisition/ui/ScannerChoiceDialog.h"

#include "acquisition/ScannerSettings.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kartovo {

ScannerChoiceDialog::ScannerChoiceDialog(const QList<ScannerDevice>& devices, SettingsStore& store, QWidget* parent)
    : QDialog(parent), m_devices(devices), m_store(store) {
    setObjectName(QStringLiteral("ScannerChoiceDialog"));
    setWindowTitle(QStringLiteral("Wybór skanera"));
    setModal(true);

    auto* label = new QLabel(QStringLiteral("Wskaż skaner, którym będą skanowane karty:"), this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("List1"));
    label->setBuddy(m_list);

    const QString remembered = store.read(kScannerSection, kScannerKey).trimmed();
    int current = 0;
    for (int i = 0; i < devices.size(); ++i) {
        auto* item = new QListWidgetItem(devices[i].description(), m_list);
        item->setData(Qt::UserRole, devices[i].name);
        if (devices[i].name == remembered) current = i;
    }
    if (!devices.isEmpty()) m_list->setCurrentRow(current);

    m_ok = new QPushButton(QStringLiteral("&OK"), this);
    m_ok->setObjectName(QStringLiteral("CommandOK"));
    m_ok->setDefault(true);
    m_ok->setEnabled(!devices.isEmpty());
    auto* cancel = new QPushButton(QStringLiteral("&Anuluj"), this);
    cancel->setObjectName(QStringLiteral("CommandAnuluj"));

    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemActivated, this, [this] { accept(); });
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { m_ok->setEnabled(row >= 0); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    resize(460, 260);
    m_list->setFocus();
}

QString ScannerChoiceDialog::selectedDevice() const {
    const QListWidgetItem* item = m_list->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void ScannerChoiceDialog::accept() {
    const QString device = selectedDevice();
    if (device.isEmpty()) return;
    RememberScanner(m_store, device);
    QDialog::accept();
}

bool WskazSkaner(QWidget* parent, SettingsStore& store) {
    QList<ScannerDevice> devices;
    {
        // Looking for scanners can take seconds (network and USB probing).
        Scanner scanner;
        QEventLoop loop;
        QObject::connect(&scanner, &Scanner::devicesListed, &loop, [&](const QList<ScannerDevice>& found) {
            devices = found;
            loop.quit();
        });
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (scanner.listDevicesAsync()) loop.exec(QEventLoop::ExcludeUserInputEvents);
        QApplication::restoreOverrideCursor();
    }
    if (devices.isEmpty()) {
        ShowMessage(kNoScannerMessage, 2, 16);
        return false;
    }
    ScannerChoiceDialog dialog(devices, store, parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace kartovo
