// The main window's card commands after the pipeline: reading, the measurement
// list, corrections and the save.
#include "app/CardSave.h"
#include "app/ui/AutoController.h"
#include "app/ui/CardController.h"
#include "app/ui/ListPanel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ScanController.h"
#include "db/DbSession.h"
#include "evaluation/ui/IDDanych.h"
#include "imaging/ImageFile.h"
#include "platform/Logging.h"
#include "reading/ui/ReadingController.h"

#include <QPushButton>

namespace kartovo {

void MainWindow::wireCardCommands() {
    // The controller toggles the list panel itself (values are recomputed on showing).
    m_readingController = new ReadingController(this, m_reading, m_pictures.edit(Picture::P1),
                                                m_pictures.edit(Picture::P3), this);
    m_readingController->setInput([this] {
        const CardState& card = m_cards->card();
        QImage clean;
        QString error;
        // The clean grid as the pipeline saved it; the drawings on P1 are redone.
        if (!LoadPicture(card.ImagePath, clean, &error)) {
            qCWarning(lcApp) << "Cannot reload the card image" << card.ImagePath << error;
            clean = {};
        }
        return ReadingInput{clean, card.CardParameter.current(), card.Grid};
    });
    m_readingController->setAutoMode([this] { return m_run.autoMode; });
    m_readingController->setPicturesChanged([this] {
        m_pictures.changed(Picture::P1);
        m_pictures.changed(Picture::P3);
    });
    m_cards->setReadCommand([this] { m_cards->card().DialogAccepted = m_readingController->Command7Click(); });
    m_cards->setSaveCommand([this] {
        SaveCardAutomatically(m_cards->card(), m_reading.measurements(), Conn(), Base());
    });

    if (auto* command13 = findChild<QPushButton*>(QStringLiteral("Command13")))
        connect(command13, &QPushButton::clicked, this, &MainWindow::Command13Click);

    // "&Skan" and "&Wskaż skaner".
    new ScanController(*this, *m_cards);
    new AutoController(*this);
}

void MainWindow::Command13Click() {
    CardState& card = m_cards->card();
    if (!card.DialogAccepted || !DbSession::instance().isOpen()) return;
    // Every path to the save shows the list first; recompute anyway so a
    // correction made since then is never stored with a stale value.
    m_reading.SortujPomiary();
    m_reading.computeValues();
    SaveContext context;
    for (const MeasurementEntry& e : m_reading.measurements()) context.measurements.append({e.value, e.section});
    context.parameter = card.CardParameter.current();
    context.program = card.ControlProgram.current();
    context.base = Base();
    if (RunManualSave(this, Conn(), context)) resetForNextCard();
}

void MainWindow::resetForNextCard() {
    // The list panel is open while saving; its button's action closes it.
    if (m_listPanel->isVisible()) m_readingController->Command10Click();
    m_pictures.clear(Picture::P1);
    m_pictures.clear(Picture::P2);
    for (const char* name : {"P1", "P3"})
        if (auto* w = findChild<QWidget*>(QLatin1String(name))) w->hide();
    for (const char* name : {"Command7", "Command10", "Command11", "Command12"})
        if (auto* b = findChild<QPushButton*>(QLatin1String(name))) b->setEnabled(false);
    auto* skan = findChild<QPushButton*>(QStringLiteral("Command2"));
    auto* plik = findChild<QPushButton*>(QStringLiteral("Command4"));
    if (skan) skan->setEnabled(true);
    if (plik) plik->setEnabled(true);
    QPushButton* focus = m_cards->scannerSource() ? skan : plik;
    if (focus) focus->setFocus();
    m_cards->card().DialogAccepted = false;
}

} // namespace kartovo
