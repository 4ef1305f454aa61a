// The main window's card commands after the pipeline: reading, the measurement
// list, corrections and the save.
#include "app/CardSave.h"
#include "app/ui/AutoController.h"
#include "app/ui/CardController.h"
#include "app/ui/ListPanel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/ScanController.h"
#include "db/DbSession.h"
#include "evaluation/ui/IDDanych.h"
#include "imaging/ImageFile.h"
#include "platform/Logging.h"
#include "reading/ui/ReadingController.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTime>

namespace kartovo {

void MainWindow::wireCardCommands() {
    // The controller toggles the list panel itself (values are recomputed on showing).
    m_readingController = new ReadingController(this, m_reading, m_pictures.edit(Picture::P1),
                                                m_pictures.edit(Picture::P3), this);
    m_readingController->setInput([this] {
        const CardState& card = m_cards->card();
        // A stored, refused or dropped card has nothing left to read.
        if (!card.DialogAccepted) return ReadingInput{};
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
    m_readingController->setViewScale([this] { return m_cardScale; });
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

QString MainWindow::StoredAgainQuestion(const QString& cardName) {
    QString text = QStringLiteral("Ta karta została już zapisana w bazie danych");
    if (!cardName.isEmpty()) text += QStringLiteral(" (plik ") + cardName + QLatin1Char(')');
    return text + QLatin1Char('.') + kLineBreak + QStringLiteral("Zapisać ponownie?");
}

QString MainWindow::SavedStatusText(const QString& parameter, int rows, const QString& time) {
    if (rows == 0)
        return QStringLiteral("Karta %1: brak pełnej próbki, nic nie zapisano, godz. %2").arg(parameter, time);
    return QStringLiteral("Zapisano kartę %1: próbek (wierszy SPC_Baza) %2, godz. %3").arg(parameter).arg(rows).arg(time);
}

void MainWindow::setStatusLine(const QString& text) {
    if (auto* label3 = findChild<QLabel*>(QStringLiteral("Label3"))) {
        label3->setText(text);
        label3->show();
    }
}

void MainWindow::Command13Click() {
    CardState& card = m_cards->card();
    // Only the card on screen, read and not stored yet, can be saved.
    if (!card.DialogAccepted || !m_reading.hasReading() || m_cards->busy() || !DbSession::instance().isOpen())
        return;
    SaveContext context;
    context.cardHash = m_cards->cardHash();
    context.cardName = m_cards->cardName();
    if (!context.cardHash.isEmpty() && m_storedCheck && m_storedCheck(Conn(), context.cardHash)) {
        if (!AskQuestion(StoredAgainQuestion(context.cardName), 2, 128 + kDefaultSecondButton)) return;
        context.storeAgain = true;
    }
    // Every path to the save shows the list first; recompute anyway so a
    // correction made since then is never stored with a stale value.
    m_reading.SortujPomiary();
    m_reading.computeValues();
    for (const MeasurementEntry& e : m_reading.measurements()) context.measurements.append({e.value, e.section});
    context.parameter = card.CardParameter.current();
    context.program = card.ControlProgram.current();
    context.base = Base();
    SaveResult result;
    if (!RunManualSave(this, Conn(), context, nullptr, &result)) return;
    const QString parameter = context.parameter.value(QStringLiteral("Nazwa")).toString() +
                              QStringLiteral(" (parametr ") + context.parameter.value(QStringLiteral("ID")).toString() +
                              QLatin1Char(')');
    qCInfo(lcApp).noquote() << "card stored:" << parameter << result.rowsStored << "rows";
    resetForNextCard();
    setStatusLine(SavedStatusText(parameter, result.rowsStored, QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
}

void MainWindow::dropCard() {
    // The list closes without recomputing: its lines belong to the card that goes.
    m_listPanel->hide();
    m_listPanel->list()->clear();
    if (auto* image4 = findChild<QWidget*>(QStringLiteral("Image4"))) image4->hide();
    m_reading.clear();
    if (m_reading.entryMode()) m_reading.toggleEntryMode();
    if (m_reading.deletionMode()) m_reading.toggleDeletionMode();
    if (auto* label4 = findChild<QLabel*>(QStringLiteral("Label4"))) label4->clear();
    m_pictures.clear(Picture::P1);
    m_pictures.clear(Picture::P3);
    for (const char* name : {"P1", "P3"})
        if (auto* w = findChild<QWidget*>(QLatin1String(name))) w->hide();
    for (const char* name : {"Command7", "Image1", "Image2", "Command10", "Command11", "Command12"})
        if (auto* w = findChild<QWidget*>(QLatin1String(name))) w->setEnabled(false);
    m_cards->card().DialogAccepted = false;
    m_nothingToRead = true;
    m_cards->setCardFile({}, {});
}

void MainWindow::resetForNextCard() {
    dropCard();
    m_pictures.clear(Picture::P2);
    auto* skan = findChild<QPushButton*>(QStringLiteral("Command2"));
    auto* plik = findChild<QPushButton*>(QStringLiteral("Command4"));
    if (skan) skan->setEnabled(true);
    if (plik) plik->setEnabled(true);
    QPushButton* focus = m_cards->scannerSource() ? skan : plik;
    if (focus) focus->setFocus();
}

} // namespace kartovo
