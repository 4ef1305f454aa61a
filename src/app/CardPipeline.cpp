#include "app/CardPipeline.h"

#include "db/BaseSettings.h"
#include "db/Connection.h"
#include "imaging/ImageFile.h"
#include "imaging/PicMod.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/WorkingFolder.h"
#include "recognition/CardIdentification.h"
#include "recognition/Recognition.h"

#include <QElapsedTimer>
#include <QPainter>
#include <exception>

namespace kartovo {

CardPipeline::CardPipeline(CardState& card, CardPictures& pictures, DbConnection& conn, const BaseSettings& base)
    : m_card(&card), m_pictures(&pictures), m_conn(conn), m_base(base) {}

QString CardPipeline::startPixErrorText() {
    return QStringLiteral("Błąd przy przetwarzaniu obrazu. Prawdopodobnie zbyt duża rozdzielczość skanowania - "
                          "Przerywam !");
}

QString CardPipeline::manualChoiceQuestion() {
    return QStringLiteral("Czy chcesz ręcznie wskazać program kontroli zeskanowanej karty ?");
}

QString CardPipeline::unreadableImageText(const QString& detail) {
    QString text = QStringLiteral("Nie można odczytać obrazu karty.");
    if (!detail.isEmpty()) text += kLineBreak + detail;
    return text;
}

QString CardPipeline::refusedStatusText(const CardState& card) {
    const QString why = !card.Fault.isEmpty() ? card.Fault : card.Refusal;
    if (why.isEmpty()) return QStringLiteral("Karta odrzucona");
    return QStringLiteral("Karta odrzucona: ") + JoinLines(why);
}

CardPipeline::~CardPipeline() { waitForFiles(); }

void CardPipeline::writeTrace(const QImage& card, const MarkerSearch& search, const QString& path) {
    waitForFiles(); // never two writers of one file (the road's end waits as well)
    if (card.isNull() || cancelled()) return;
    // The trace is drawn on the file's rows as they are written: the card
    // itself stays as loaded while the cut-outs are taken from it.
    m_traceWrite = std::async(std::launch::async, [card, search, path] {
        const SearchTrace trace(search);
        QString why;
        if (!SavePictureBitmap(card, path, &why, [&trace](int row, uchar* bgr) { trace.paintRow(row, bgr); }))
            qCWarning(lcApp).noquote() << why;
    });
}

void CardPipeline::waitForFiles() {
    if (m_traceWrite.valid()) m_traceWrite.get();
}

void CardPipeline::showTracedCard() {
    if (!m_tracePending) return;
    m_tracePending = false; // painted once per card
    waitForFiles(); // no copy of the card is left in the background then
    QImage& card = m_pictures->edit(Picture::P2);
    PaintSearchTrace(card, m_traceSearch);
    {
        QPainter painter(&card);
        painter.setPen(QColor(0, 0, 255));
        painter.drawRect(m_traceOutline);
    }
    m_pictures->changed(Picture::P2);
}

void CardPipeline::refuseLater(const QString& text) {
    m_card->Refusal = text;
    m_card->DialogAccepted = false;
    m_laterRefusal = text;
    qCInfo(lcApp).noquote() << "card refused:" << JoinLines(text);
}

void CardPipeline::refuse(const QString& text) {
    refuseLater(text);
    m_laterRefusal.clear(); // said here, not again
    if (m_showMessages) m_view->showMessage(text);
}

void CardPipeline::fault(const std::exception& e) {
    // Nothing may leave the window closed to input: the fault ends this card.
    m_stopped = true;
    m_card->DialogAccepted = false;
    m_card->Fault = QStringLiteral("Błąd przy przetwarzaniu obrazu: %1").arg(QString::fromLocal8Bit(e.what()));
    qCWarning(lcApp).noquote() << m_card->Fault;
    m_view->showCardView(false);
}

void CardPipeline::save(Picture p, const QString& path) {
    // A cancelled card leaves the working files to the card after it.
    if (cancelled()) return;
    QString why;
    if (!SavePictureBitmap(m_pictures->image(p), path, &why))
        qCWarning(lcApp).noquote() << "cannot write" << path << why;
}

void CardPipeline::ZaladujPlikGraf(bool showMessages, QImage picture) {
    begin(showMessages);
    prepare(std::move(picture));
    identify();
    finish();
    conclude();
}

void CardPipeline::begin(bool showMessages) {
    m_showMessages = showMessages;
    m_stopped = false;
    m_startPixFailed = false;
    m_recognition = {};
    m_view->beginBusy();
    m_view->showCardView(false);
    m_card->resetCard(); // not accepted until the picture is prepared
    m_pictures->clear(Picture::P1);
}

void CardPipeline::prepare(QImage picture) {
    const ProgressCallback onProgress = [this](int percent) { progress(percent); };
    try {
        m_pictures->setImage(Picture::P2, std::move(picture));
        m_view->setStatus(QString());
        m_view->showStatus(true);
        m_view->showProgress(true);

        if (m_options.rotation != 0 && !cancelled()) {
            m_view->setStatus(QStringLiteral("Obracam obraz"));
            QImage rotated;
            RotatePicture(m_pictures->image(Picture::P2), rotated, m_options.rotation == 1 ? 90 : 270, onProgress);
            m_pictures->setImage(Picture::P1, rotated);
            save(Picture::P1, m_card->ImagePath);
            m_pictures->clear(Picture::P1);
            // The bitmap just written holds exactly these pixels.
            m_pictures->setImage(Picture::P2, std::move(rotated));
        }
        if (stopIfCancelled()) return;
        m_card->DialogAccepted = true;
        m_view->setStatus(QString());
        GetXY();
        // The card has no working copy yet unless the rotation or the
        // cut-out wrote one.
        if (m_options.rotation == 0 && !m_card->MarkersFound) save(Picture::P2, m_card->ImagePath);
    } catch (const std::exception& e) {
        fault(e);
    }
    stopIfCancelled();
}

bool CardPipeline::stopIfCancelled() {
    if (!cancelled()) return false;
    m_stopped = true;
    m_card->DialogAccepted = false;
    return true;
}

void CardPipeline::GetXY() {
    m_laterRefusal.clear(); // the card before may have left one
    m_view->showCodeField(false);
    QElapsedTimer clock;
    clock.start();
    // Recognition only reads the card; the trace file is written beside it
    // from the moment the searches are done.
    const QString tracePath = WorkingFile(QStringLiteral("Markery.bmp"));
    m_tracePending = false;  // set again once markers are found
    m_recognition = RecogniseCard(
        m_pictures->image(Picture::P2), [this](int percent) { progress(percent); }, false,
        [&](const QImage& card, const MarkerSearch& search) { writeTrace(card, search, tracePath); });
    RecognitionResult& r = m_recognition;
    qCDebug(lcApp) << "recognition" << clock.restart() << "ms";
    m_view->showStatus(false); // its text is empty since recognition began
    if (!r.markersFound) {
        // The working picture stays as loaded. No further question: without a
        // grid there is nothing to assign by hand.
        refuseLater(r.refusal);
        return;
    }

    const MarkerResult& m = r.markers;
    m_card->MarkersFound = true;
    m_card->GridRect =
        QRect(m.topMarker2X, m.sideMarker1Y, m.topMarker3X - m.topMarker2X, m.sideMarker2Y - m.sideMarker1Y);
    // The card gets its trace and the code field's outline (which the trace
    // file does not show) only when somebody may look at it.
    m_tracePending = true;
    m_traceSearch = std::move(r.search);
    m_traceOutline =
        QRect(m.topMarker1X, m.sideMarker3Y, m.topMarker3X - m.topMarker1X, m.sideMarker4Y - m.sideMarker3Y);
    m_pictures->setImage(Picture::P1, r.grid);
    save(Picture::P1, m_card->ImagePath);
    m_pictures->setImage(Picture::P4, r.codeField);
    save(Picture::P4, WorkingFile(QStringLiteral("Kod.bmp")));
    r.grid = {};
    r.codeField = {};
    m_view->showCodeField(true);
    qCDebug(lcApp) << "cut-outs written" << clock.restart() << "ms";

    m_card->CodeBits = r.code.bits;
    m_card->ParameterCode = r.code.id;
}

void CardPipeline::identify() {
    if (m_stopped) return;
    if (!m_laterRefusal.isEmpty()) {
        // Refused before the lookup: the picture or its markers.
        if (m_showMessages) m_view->showMessage(m_laterRefusal);
        return;
    }
    const RecognitionResult& r = m_recognition;
    try {
        if (!r.codeRead) {
            refuse(r.refusal);
        } else {
            QElapsedTimer clock;
            clock.start();
            CardIdentification id = IdentifyCard(m_conn, r.code.id);
            qCDebug(lcApp) << "lookup" << clock.restart() << "ms";
            if (!takeLookup(id)) {
                showTracedCard();
                return;
            }
            if (!id.identified()) {
                refuse(id.message);
            } else {
                if (m_showMessages) showTracedCard();
                if (m_options.askConfirmation && m_showMessages)
                    m_card->DialogAccepted = m_view->confirmIdentification(m_card->ControlProgram.current(),
                                                                          id.parameter.current());
                if (m_card->DialogAccepted) setRange();
            }
        }

        if (!m_card->DialogAccepted) showTracedCard();
        if (!m_card->DialogAccepted && m_showMessages && m_view->askQuestion(manualChoiceQuestion()))
            WskazProgramKontroli();
    } catch (const std::exception& e) {
        fault(e);
    }
}

void CardPipeline::finish() {
    if (m_stopped) return;
    const ProgressCallback onProgress = [this](int percent) { progress(percent); };
    try {
        if (!m_card->DialogAccepted) return; // the view stays hidden from the beginning
        const StationOptions& o = m_options;
        // P1 holds the grid cut-out that recognition has just written to
        // ImagePath; taken out, so that cleaning it makes no copy.
        QImage grid = std::move(m_pictures->edit(Picture::P1));
        if (o.colourFilter || o.convertToBW || o.removeNoise) {
            m_view->showStatus(true);
            if (o.convertToBW && !cancelled()) {
                // A plain label: the ampersand shows as it is.
                m_view->setStatus(QStringLiteral("Konwertuję obraz na B&W"));
                ConvertToBW(grid, onProgress);
            }
            if (o.colourFilter && !cancelled()) {
                m_view->setStatus(QStringLiteral("Filtruję kolory"));
                FilterColors(grid, o.filterColour, o.filterRed, o.filterGreen, o.filterBlue, onProgress);
            }
            if (o.removeNoise && !cancelled()) {
                m_view->setStatus(QStringLiteral("Usuwam z obrazu szum"));
                RemoveNoise(grid, o.filterSensitivity, onProgress);
            }
            m_view->showStatus(false);
            m_pictures->setImage(Picture::P2, grid);
            save(Picture::P2, m_card->ImagePath);
        } else {
            m_pictures->setImage(Picture::P2, grid);
        }
        m_pictures->setImage(Picture::P1, std::move(grid));
        m_view->showCardView(true);
        StartPix();
    } catch (const std::exception& e) {
        fault(e);
    }
    stopIfCancelled();
}

void CardPipeline::conclude() {
    // Unattended runs cannot answer a question; the card is refused all the same.
    if (m_startPixFailed && m_showMessages) m_view->askQuestion(startPixErrorText());
    const bool accepted = m_card->DialogAccepted;
    m_view->showStatus(!m_autoMode); // the automatic mode keeps its own status line
    if (!m_autoMode) {
        m_view->setStatus(accepted ? QStringLiteral("Gotowy do czytania") : refusedStatusText(*m_card));
        m_view->setReadButtons(accepted);
        const bool automatically = m_options.processAutomatically && accepted;
        if (automatically && m_readCommand) m_readCommand();
        m_view->focusListCommand(automatically);
    } else {
        if (accepted && m_readCommand) m_readCommand();
        if (m_card->DialogAccepted && m_readCommand && m_saveCommand) m_saveCommand();
    }
    waitForFiles(); // the road ends with its working files whole
    m_view->showProgress(false);
    m_view->endBusy();
}

bool CardPipeline::takeLookup(const CardIdentification& id) {
    m_card->CardParameter = id.parameter.eof() ? ParameterRow() : ParameterRow(id.parameter.current());
    m_card->ControlProgram = id.program;
    if (!id.failedOnDatabase()) return true;
    m_card->DialogAccepted = false;
    m_card->Fault = DatabaseErrorMessage(id.databaseError);
    return false;
}

void CardPipeline::setRange() {
    const QString why = UstawZakresyP(m_card->CardParameter, m_card->Grid).error();
    if (!why.isEmpty()) refuse(why);
}

void CardPipeline::WskazProgramKontroli() {
    std::int32_t programId = 0, parameterId = 0;
    m_card->DialogAccepted = m_view->chooseProgram(programId, parameterId);
    if (!m_card->DialogAccepted) return;
    CardIdentification id = LoadChosenCard(m_conn, programId, parameterId);
    if (!takeLookup(id)) return;
    if (!id.identified()) {
        refuse(id.message);
        return;
    }
    m_card->ChosenByHand = true;
    m_card->Refusal.clear();
    setRange();
}

void CardPipeline::StartPix() {
    try {
        QImage& p1 = m_pictures->edit(Picture::P1);
        if (p1.isNull()) throw std::runtime_error("empty card picture");
        SetGridEdges(m_card->Grid, p1);
        if (m_card->DialogAccepted) RysSiatka(p1, m_card->CardParameter, m_card->Grid);
        m_pictures->changed(Picture::P1);
        m_view->disableListButtons();
    } catch (const std::exception& e) {
        qCWarning(lcApp) << "StartPix:" << e.what();
        // The question is asked where the road ends, on the window's thread.
        m_startPixFailed = true;
        m_card->DialogAccepted = false;
        m_card->Refusal = startPixErrorText();
        m_pictures->clear(Picture::P1);
        m_pictures->clear(Picture::P2);
        m_view->showCardView(false);
    }
}

} // namespace kartovo
