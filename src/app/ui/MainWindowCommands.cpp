// The main window's card commands after the pipeline: reading, the measurement
// list, corrections and the save.
#include "app/CardSave.h"
#include "app/ui/AutoController.h"
#include "app/ui/CardController.h"
#include "app/ui/ListPanel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/Controls.h"
#include "app/ui/PictureView.h"
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
    ReadingWidgets widgets;
    widgets.command7 = m_widgets.command7;
    widgets.command10 = m_widgets.command10;
    widgets.command11 = m_widgets.command11;
    widgets.command12 = m_widgets.command12;
    widgets.command13 = m_widgets.listPanel->saveButton();
    widgets.ssCommand2 = m_widgets.listPanel->closeButton();
    widgets.label2 = m_widgets.label2;
    widgets.label3 = m_widgets.label3;
    widgets.label4 = m_widgets.label4;
    widgets.ssPanel1 = m_widgets.listPanel;
    widgets.list1 = m_widgets.listPanel->list();
    widgets.progBarXP1 = m_widgets.progBarXP1;
    widgets.p1 = m_widgets.p1;
    widgets.p3 = m_widgets.p3;
    widgets.image4 = m_widgets.image4;
    m_readingController = new ReadingController(widgets, m_reading, m_pictures.edit(Picture::P1),
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
        return ReadingInput{clean, card.CardParameter, card.Grid};
    });
    m_readingController->setAutoMode([this] { return m_run.autoMode; });
    m_readingController->setViewScale([this] { return m_cardScale; });
    m_readingController->setPicturesChanged([this] {
        m_pictures.changed(Picture::P1);
        m_pictures.changed(Picture::P3);
    });
    m_cards->setReadCommand([this] { m_cards->card().DialogAccepted = m_readingController->Command7Click(); });
    m_cards->setSaveCommand([this] {
        // Recorded by its file's content, as the folder's cards are.
        SaveAutomaticCard(m_cards->card(), m_reading.measurements(), Conn(), Base(), m_cards->cardHash(),
                          m_cards->cardName());
    });

    connect(m_widgets.listPanel->saveButton(), &QPushButton::clicked, this, &MainWindow::Command13Click);

    // "&Skan" and "&Wskaż skaner".
    new ScanController(*this, m_widgets, *m_cards);
    new AutoController(*this, m_widgets);
}

QString MainWindow::storedAgainQuestion(const QString& cardName) {
    QString text = QStringLiteral("Ta karta została już zapisana w bazie danych");
    if (!cardName.isEmpty()) text += QStringLiteral(" (plik ") + cardName + QLatin1Char(')');
    return text + QLatin1Char('.') + kLineBreak + QStringLiteral("Zapisać ponownie?");
}

QString MainWindow::savedStatusText(const QString& parameter, int rows, const QString& time) {
    if (rows == 0)
        return QStringLiteral("Karta %1: brak pełnej próbki, nic nie zapisano, godz. %2").arg(parameter, time);
    return QStringLiteral("Zapisano kartę %1: próbek (wierszy SPC_Baza) %2, godz. %3").arg(parameter).arg(rows).arg(time);
}

void MainWindow::setStatusLine(const QString& text) {
    m_widgets.label3->setText(text);
    m_widgets.label3->show();
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
        if (!AskQuestion(storedAgainQuestion(context.cardName), 2, 128 + kDefaultSecondButton)) return;
        context.storeAgain = true;
    }
    // Every path to the save shows the list first; recompute anyway so a
    // correction made since then is never stored with a stale value.
    m_reading.SortujPomiary();
    m_reading.computeValues();
    for (const MeasurementEntry& e : m_reading.measurements()) context.measurements.append({e.value, e.section});
    context.parameter = card.CardParameter;
    context.program = card.ControlProgram.current();
    context.base = Base();
    SaveResult result;
    if (!RunManualSave(this, Conn(), context, nullptr, &result)) return;
    const QString parameter = context.parameter.Nazwa +
                              QStringLiteral(" (parametr ") + context.parameter.ID.toString() +
                              QLatin1Char(')');
    qCInfo(lcApp).noquote() << "card stored:" << parameter << result.rowsStored << "rows";
    resetForNextCard();
    setStatusLine(savedStatusText(parameter, result.rowsStored, QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
}

void MainWindow::dropCard() {
    // A card still on its way is dropped as well.
    m_cards->cancel();
    // The list closes without recomputing: its lines belong to the card that goes.
    m_widgets.listPanel->hide();
    m_widgets.listPanel->list()->clear();
    m_widgets.image4->hide();
    m_reading.clear();
    if (m_reading.entryMode()) m_reading.toggleEntryMode();
    if (m_reading.deletionMode()) m_reading.toggleDeletionMode();
    m_widgets.label4->clear();
    m_pictures.clear(Picture::P1);
    m_pictures.clear(Picture::P3);
    for (QWidget* w : std::initializer_list<QWidget*>{m_widgets.p1, m_widgets.p3}) w->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{m_widgets.command7, m_widgets.image1, m_widgets.image2,
                                                      m_widgets.command10, m_widgets.command11, m_widgets.command12})
        w->setEnabled(false);
    m_cards->card().DialogAccepted = false;
    m_nothingToRead = true;
    m_cards->setCardFile({}, {});
}

void MainWindow::resetForNextCard() {
    dropCard();
    m_pictures.clear(Picture::P2);
    m_widgets.command2->setEnabled(true);
    m_widgets.command4->setEnabled(true);
    (m_cards->scannerSource() ? m_widgets.command2 : m_widgets.command4)->setFocus();
}

} // namespace kartovo
