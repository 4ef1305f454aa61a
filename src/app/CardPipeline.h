#pragma once

#include "app/CardPictures.h"
#include "app/CardState.h"
#include "app/StationOptions.h"
#include "db/Record.h"
#include "recognition/Markers.h"
#include "recognition/Recognition.h"

#include <QString>
#include <atomic>
#include <functional>
#include <future>

namespace kartovo {

class DbConnection;
struct BaseSettings;
struct CardIdentification;

// What the pipeline needs from whoever shows it: the main window, or nothing
// at all when cards are read without a window. Every method has a silent
// default, so a headless run needs no widgets.
class PipelineView {
public:
    virtual ~PipelineView() = default;

    // Busy pointer and the window closed to input (begin), and back (end).
    virtual void beginBusy() {}
    virtual void endBusy() {}
    // Status line Label3.
    virtual void setStatus(const QString& text) { (void)text; }
    virtual void showStatus(bool visible) { (void)visible; }
    // Progress bar ProgBarXP1: shown/hidden, and its position once per column.
    virtual void showProgress(bool visible) { (void)visible; }
    virtual void setProgress(int percent) { (void)percent; }
    // Card view P1 with its count strip P3; the code field P4.
    virtual void showCardView(bool visible) { (void)visible; }
    virtual void showCodeField(bool visible) { (void)visible; }
    // Command7 ("&Czytaj"), Image1 and Image2 enabled exactly when `readable`;
    // Command10, Command11, Command12 disabled.
    virtual void setReadButtons(bool readable) { (void)readable; }
    // Command10, Command11, Command12 disabled.
    virtual void disableListButtons() {}
    // After a manual load: Command10 gets the focus when enabled, and with
    // `runIt` it is run as well. False when Command10 is not enabled.
    virtual bool focusListCommand(bool runIt) { (void)runIt; return false; }
    // Confirmation window InfoProg: true for "TAK".
    virtual bool confirmIdentification(const Record& program, const Record& parameter) {
        (void)program, (void)parameter;
        return false;
    }
    // Manual choice window ProgramK: true with both ids when a parameter was chosen.
    virtual bool chooseProgram(std::int32_t& programId, std::int32_t& parameterId) {
        (void)programId, (void)parameterId;
        return false;
    }
    // A refusal of the card for the operator (style 16, centred), and a
    // question answered "TAK" (true) or "NIE". Only interactive runs ask.
    virtual void showMessage(const QString& text) { (void)text; }
    virtual bool askQuestion(const QString& text) {
        (void)text;
        return false;
    }
};

// The road of one card from its image file to "Gotowy do czytania": rotation,
// recognition (GetXY) and lookup, cleaning of the grid, grid drawing (StartPix),
// and in automatic mode the read and save commands.
class CardPipeline {
public:
    CardPipeline(CardState& card, CardPictures& pictures, DbConnection& conn, const BaseSettings& base);
    ~CardPipeline();
    CardPipeline(const CardPipeline&) = delete;
    CardPipeline& operator=(const CardPipeline&) = delete;

    void setView(PipelineView* view) { m_view = view ? view : &m_silent; }
    void setOptions(const StationOptions& options) { m_options = options; }
    const StationOptions& options() const { return m_options; }
    void setAutoMode(bool on) { m_autoMode = on; }

    // The read command ("&Czytaj", Command7) and the save command
    // ("&Zapisz", Command13) belong to the reading and the saving of marks;
    // until they are wired these stay empty and the pipeline stops at
    // "Gotowy do czytania".
    using Command = std::function<void()>;
    void setReadCommand(Command read) { m_readCommand = std::move(read); }
    void setSaveCommand(Command save) { m_saveCommand = std::move(save); }

    // Processes a card whose file has just been decoded into `picture` (every
    // mode reads its file once); ImagePath is where its working copy goes. The
    // outcome is card.DialogAccepted and the pictures. Messages and questions
    // (through the view) only when `showMessages`.
    void ZaladujPlikGraf(bool showMessages, QImage picture);

    // The same road in its stages, for a window that runs the stages without
    // database or questions off its own thread. begin, identify and conclude
    // belong to the thread of the database connection and the view; prepare
    // and finish touch only the card, its pictures and the working files.
    void begin(bool showMessages);
    // Rotation of the decoded picture, recognition, cut-outs written.
    void prepare(QImage picture);
    // Lookup of the card's parameter and program, refusals, questions.
    void identify();
    // Cleaning of the grid and the grid drawn (an identified card only).
    void finish();
    // Status, read buttons and the read and save commands.
    void conclude();
    // Another card and pictures for conclude (those the window shows).
    void rebind(CardState& card, CardPictures& pictures) {
        m_card = &card;
        m_pictures = &pictures;
    }
    // Asked between the steps: a set flag stops the card, refused, with no
    // further working file written.
    void setCancel(const std::atomic<bool>* cancelled) { m_cancel = cancelled; }
    bool cancelled() const { return m_cancel && m_cancel->load(); }
    // Manual choice of program and parameter; the outcome is DialogAccepted.
    void WskazProgramKontroli();
    // Grid edges of P1 and the grid drawn over it.
    void StartPix();

    // Texts the pipeline shows.
    static QString startPixErrorText();
    static QString manualChoiceQuestion();
    static QString unreadableImageText(const QString& detail);
    // Status line of a manual load that left no card to read.
    static QString refusedStatusText(const CardState& card);

    // The trace file is written in the background while the card goes on;
    // this waits for it. ZaladujPlikGraf returns with every file written.
    void waitForFiles();

private:
    // A cancelled card stops here, refused; true when it did.
    bool stopIfCancelled();
    // Refuses the card; the operator sees the refusal when messages are shown.
    void refuse(const QString& text);
    // The card is refused, the operator sees it at identify().
    void refuseLater(const QString& text);
    void fault(const std::exception& e);
    void GetXY();
    // Writes `card` with the search trace to "Markery.bmp" in the background.
    void writeTrace(const QImage& card, const MarkerSearch& search, const QString& path);
    // Paints the search trace and the code field's outline on the card in P2,
    // for display (the trace file does not show the outline).
    void showTracedCard();
    // The lookup's rows become the card's; false (the card faulted) when the database failed it.
    bool takeLookup(const CardIdentification& id);
    void setRange();
    void progress(int percent) { m_view->setProgress(percent); }
    void save(Picture p, const QString& path);

    CardState* m_card;
    CardPictures* m_pictures;
    DbConnection& m_conn;
    const BaseSettings& m_base;
    PipelineView m_silent;
    PipelineView* m_view = &m_silent;
    StationOptions m_options;
    bool m_autoMode = false;
    bool m_showMessages = true;
    const std::atomic<bool>* m_cancel = nullptr;
    bool m_stopped = false;         // a fault or a cancel ended the road
    QString m_laterRefusal;         // found by prepare, shown by identify
    bool m_startPixFailed = false;  // shown by conclude
    RecognitionResult m_recognition;
    Command m_readCommand;
    Command m_saveCommand;
    std::future<void> m_traceWrite;
    bool m_tracePending = false; // P2 is still to get the trace and the outline
    MarkerSearch m_traceSearch;
    QRect m_traceOutline;        // the code field
};

} // namespace kartovo
