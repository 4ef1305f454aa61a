#pragma once

#include "app/CardPictures.h"
#include "app/CardPipeline.h"
#include "app/CardState.h"
#include "app/FileChoice.h"
#include "app/ui/MainWidgets.h"

#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>

namespace kartovo {

class MainWindow;

// Takes a card from the operator's commands through the pipeline and shows
// the pipeline's progress on the main window. The card's state lives here,
// outside the widgets.
//
// Decoding, recognition and cleaning run on a worker thread while the window
// stays responsive; the lookup in the database and the questions to the
// operator run on the window's thread between them. A newer card (or the
// window closing) cancels the one in flight: what the worker still reports of
// it is dropped by its generation number, and the worker runs one card at a
// time, so the working files are never written by two cards at once.
class CardController : public QObject, public PipelineView {
    Q_OBJECT
public:
    // The open-file dialog: title, Qt filter and initial folder in, the
    // confirmed path out (empty when cancelled). Tests put their own in.
    using FileDialog = std::function<QString(const QString& title, const QString& filter, const QString& folder)>;
    // The confirmation and manual-choice windows, replaceable the same way.
    using ConfirmDialog = std::function<bool(const Record& program, const Record& parameter)>;
    using ChoiceDialog = std::function<bool(std::int32_t& programId, std::int32_t& parameterId)>;

    CardController(MainWindow& window, const MainWidgets& widgets);
    ~CardController() override;

    CardState& card() { return m_card; }
    const CardState& card() const { return m_card; }
    // A card is on its road (being decoded, on the worker or waiting for the operator).
    bool busy() const { return m_job != nullptr || m_opening != nullptr; }
    bool scannerSource() const { return m_scannerSource; }
    void setScannerSource(bool fromScanner) { m_scannerSource = fromScanner; }
    // The content hash (AutoMode::fileHash) and name of the file the card on
    // screen came from; empty when unknown.
    void setCardFile(QByteArray hash, QString name) {
        m_cardHash = std::move(hash);
        m_cardName = std::move(name);
    }
    const QByteArray& cardHash() const { return m_cardHash; }
    const QString& cardName() const { return m_cardName; }

    void setFileDialog(FileDialog dialog) { m_fileDialog = std::move(dialog); }
    void setConfirmDialog(ConfirmDialog dialog) { m_confirmDialog = std::move(dialog); }
    void setChoiceDialog(ChoiceDialog dialog) { m_choiceDialog = std::move(dialog); }
    // The read command of the pipeline (see CardPipeline::setReadCommand).
    void setReadCommand(CardPipeline::Command read) { m_readCommand = std::move(read); }
    // The save command that automatic mode runs after the reading.
    void setSaveCommand(CardPipeline::Command save) { m_saveCommand = std::move(save); }

    // "&Plik" (Command4).
    void Command4Click();
    // Loads the picture at `path` as "&Plik" does after its dialog (a file
    // given on the command line). The file is read and decoded on the worker;
    // one that does not decode is said and leaves the card on screen as it is.
    void openFile(const QString& path);
    // GetFileOpen with the program's file dialog.
    FileChoice GetFileOpen(const QString& title, const QString& mask, const QString& folder);
    // Starts the pipeline on a picture already decoded from its file; its
    // working copy is written to card().ImagePath. A card in flight is
    // cancelled; the outcome arrives later (cardDone).
    bool ZaladujPlikGraf(bool showMessages, QImage picture);
    // Drops the card in flight, if any: nothing of it reaches the window.
    void cancel();
    // Returns once the worker has let go of the working files.
    void waitForWorker() { m_worker.waitForDone(); }

    // PipelineView: the window's side of the road.
    void beginBusy() override;
    void endBusy() override;
    void setStatus(const QString& text) override;
    void showStatus(bool visible) override;
    void showProgress(bool visible) override;
    void setProgress(int percent) override;
    void showCardView(bool visible) override;
    void showCodeField(bool visible) override;
    void setReadButtons(bool readable) override;
    void disableListButtons() override;
    bool focusListCommand(bool runIt) override;
    bool confirmIdentification(const Record& program, const Record& parameter) override;
    bool chooseProgram(std::int32_t& programId, std::int32_t& parameterId) override;
    void showMessage(const QString& text) override;
    bool askQuestion(const QString& text) override;

    quint64 generation() const { return m_generation; }

signals:
    // The card's road has ended; card() holds its outcome.
    void cardDone();

private:
    struct Job;
    struct Opening {
        std::atomic<bool> cancelled{false};
    };
    void opened(const std::shared_ptr<Opening>& opening, const QString& path, const QString& why,
                const QByteArray& hash, QImage picture);
    bool runPipeline(bool showMessages, QImage picture);
    void prepared(const std::shared_ptr<Job>& job);
    void finished(const std::shared_ptr<Job>& job);
    QStringList programCaptions() const;

    MainWindow& m_window;
    MainWidgets m_widgets;
    CardState m_card;
    std::shared_ptr<Job> m_job;
    std::shared_ptr<Opening> m_opening;
    quint64 m_generation = 0;
    QThreadPool m_worker;
    bool m_scannerSource = false;
    QByteArray m_cardHash;
    QString m_cardName;
    int m_lastProgress = -1;
    int m_busyCursors = 0;
    FileDialog m_fileDialog;
    ConfirmDialog m_confirmDialog;
    ChoiceDialog m_choiceDialog;
    CardPipeline::Command m_readCommand;
    CardPipeline::Command m_saveCommand;
};

} // namespace kartovo
