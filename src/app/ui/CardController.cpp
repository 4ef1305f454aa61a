#include "app/ui/CardController.h"

#include "app/AutoMode.h"
#include "app/ui/MainWindow.h"
#include "app/ui/Controls.h"
#include "app/ui/PictureView.h"
#include "db/DbSession.h"
#include "dialogs/DbProgramChoiceSource.h"
#include "dialogs/ui/ProgramK.h"
#include "imaging/ImageFile.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/WorkingFolder.h"
#include "recognition/ui/InfoProg.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <atomic>

namespace kartovo {

namespace {

// The pipeline's view on the worker thread: every call goes to the window's
// thread in order, and is dropped there once its card is no longer the
// window's (a newer card took its place).
class QueuedView : public PipelineView {
public:
    QueuedView(CardController* target, quint64 generation) : m_target(target), m_generation(generation) {}

    void setStatus(const QString& text) override {
        post([text](CardController& c) { c.setStatus(text); });
    }
    void showStatus(bool visible) override {
        post([visible](CardController& c) { c.showStatus(visible); });
    }
    void showProgress(bool visible) override {
        post([visible](CardController& c) { c.showProgress(visible); });
    }
    void setProgress(int percent) override {
        if (percent == m_lastProgress) return; // the road reports once per column
        m_lastProgress = percent;
        post([percent](CardController& c) { c.setProgress(percent); });
    }
    void showCardView(bool visible) override {
        post([visible](CardController& c) { c.showCardView(visible); });
    }
    void showCodeField(bool visible) override {
        post([visible](CardController& c) { c.showCodeField(visible); });
    }
    void disableListButtons() override {
        post([](CardController& c) { c.disableListButtons(); });
    }

private:
    template <class F> void post(F f) {
        QMetaObject::invokeMethod(
            m_target,
            [target = m_target, generation = m_generation, f = std::move(f)] {
                if (target->generation() == generation) f(*target);
            },
            Qt::QueuedConnection);
    }

    CardController* m_target;
    quint64 m_generation;
    int m_lastProgress = -1;
};

} // namespace

// One card on its road: its own state and pictures until the window takes them.
struct CardController::Job {
    Job(CardController* controller, quint64 gen) : generation(gen), queued(controller, gen) {
        // Made here, used on the worker, possibly let go there: no thread owns it.
        pictures.moveToThread(nullptr);
    }
    const quint64 generation;
    std::atomic<bool> cancelled{false};
    CardState card;
    CardPictures pictures;
    QueuedView queued;
    std::unique_ptr<CardPipeline> pipeline;
};

CardController::CardController(MainWindow& window, const MainWidgets& widgets)
    : QObject(&window), m_window(window), m_widgets(widgets) {
    setObjectName(QStringLiteral("CardController"));
    // One card at a time: a cancelled card ends before the next one writes
    // the working files.
    m_worker.setMaxThreadCount(1);
    m_fileDialog = [this](const QString& title, const QString& filter, const QString& folder) {
        // Qt's own dialog speaks the program's language (Qt's Polish texts);
        // a desktop's native one follows the desktop instead.
        return QFileDialog::getOpenFileName(&m_window, title, folder, filter, nullptr,
                                            QFileDialog::DontUseNativeDialog);
    };
    if (m_widgets.command4) connect(m_widgets.command4, &QPushButton::clicked, this, &CardController::Command4Click);
}

CardController::~CardController() {
    // The window's controls may be gone already: only the card is let go.
    if (m_opening) m_opening->cancelled = true;
    m_opening.reset();
    if (m_job) m_job->cancelled = true;
    m_job.reset();
    ++m_generation;
    m_worker.waitForDone();
    while (m_busyCursors > 0) endBusy();
}

FileChoice CardController::GetFileOpen(const QString& title, const QString& mask, const QString& folder) {
    return FileChoiceFor(m_fileDialog ? m_fileDialog(title, QtFileFilter(mask), folder) : QString());
}

void CardController::Command4Click() {
    const FileChoice choice = GetFileOpen(kImageFileTitle, kImageFileMask, m_window.run().initialFolder);
    if (!choice.DialogAccepted) return;
    m_window.run().initialFolder = choice.folder();
    openFile(choice.ChosenFilePath);
}

void CardController::openFile(const QString& path) {
    // A newer choice wins over a card still on its way.
    cancel();
    auto opening = std::make_shared<Opening>();
    m_opening = opening;
    beginBusy();
    // The chosen file is only read: decoded once, and its content's hash
    // tells at the save whether this card was stored before.
    m_worker.start([this, path, opening] {
        QByteArray content;
        QImage picture;
        QString why;
        if (!opening->cancelled && ReadPictureFile(path, content, &why) &&
            LoadPictureData(content, path, picture, &why))
            content = AutoMode::fileHash(content);
        else
            content.clear();
        QMetaObject::invokeMethod(
            this,
            [this, opening, path, why, hash = std::move(content), picture = std::move(picture)]() mutable {
                opened(opening, path, why, hash, std::move(picture));
            },
            Qt::QueuedConnection);
    });
}

void CardController::opened(const std::shared_ptr<Opening>& opening, const QString& path, const QString& why,
                            const QByteArray& hash, QImage picture) {
    if (opening != m_opening) return;
    m_opening.reset();
    endBusy();
    if (picture.isNull()) {
        ShowMessage(CardPipeline::unreadableImageText(why), 2, 16);
        return;
    }
    // From here on the new card is taken: nothing of the earlier one stays.
    m_window.dropCard();
    m_scannerSource = false;
    m_card.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
    setCardFile(hash, QFileInfo(path).fileName());
    runPipeline(true, std::move(picture));
}

bool CardController::ZaladujPlikGraf(bool showMessages, QImage picture) {
    return runPipeline(showMessages, std::move(picture));
}

void CardController::cancel() {
    if (m_opening) {
        m_opening->cancelled = true;
        m_opening.reset();
        endBusy();
    }
    if (!m_job) return;
    m_job->cancelled = true;
    m_job.reset();
    ++m_generation;
    showProgress(false);
    endBusy();
}

bool CardController::runPipeline(bool showMessages, QImage picture) {
    cancel();
    auto job = std::make_shared<Job>(this, ++m_generation);
    // Nothing of the card before stays on the window while this one is on its way.
    const QString path = m_card.ImagePath;
    m_card.resetCard();
    m_card.ImagePath = path;
    job->card.ImagePath = path;
    m_window.pictures().clear(Picture::P2);
    m_window.pictures().clear(Picture::P4);

    job->pipeline = std::make_unique<CardPipeline>(job->card, job->pictures, Conn(), Base());
    CardPipeline& pipeline = *job->pipeline;
    pipeline.setOptions(m_window.currentOptions());
    pipeline.setAutoMode(m_window.run().autoMode);
    pipeline.setReadCommand(m_readCommand);
    pipeline.setSaveCommand(m_saveCommand);
    pipeline.setCancel(&job->cancelled);
    pipeline.setView(this);
    pipeline.begin(showMessages);
    m_job = job;

    m_worker.start([this, job, picture = std::move(picture)]() mutable {
        CardPipeline& p = *job->pipeline;
        p.setView(&job->queued);
        p.prepare(std::move(picture));
        p.waitForFiles();
        QMetaObject::invokeMethod(this, [this, job] { prepared(job); }, Qt::QueuedConnection);
    });
    return true;
}

void CardController::prepared(const std::shared_ptr<Job>& job) {
    if (job->generation != m_generation) return;
    job->pipeline->setView(this);
    job->pipeline->identify();
    // The window may have taken another card while a question was open.
    if (job->generation != m_generation) return;
    m_worker.start([this, job] {
        job->pipeline->setView(&job->queued);
        job->pipeline->finish();
        QMetaObject::invokeMethod(this, [this, job] { finished(job); }, Qt::QueuedConnection);
    });
}

void CardController::finished(const std::shared_ptr<Job>& job) {
    if (job->generation != m_generation) return;
    m_job.reset();
    // The card becomes the window's: its state and pictures, the card view last.
    m_card = job->card;
    CardPictures& shown = m_window.pictures();
    for (const Picture p : {Picture::P2, Picture::P4, Picture::P1}) shown.setImage(p, job->pictures.image(p));
    CardPipeline& pipeline = *job->pipeline;
    pipeline.rebind(m_card, shown);
    pipeline.setView(this);
    pipeline.conclude();
    if (!m_card.Fault.isEmpty()) ShowMessage(m_card.Fault, 2, 16);
    emit cardDone();
}

void CardController::beginBusy() {
    // The window stays open to input; the pointer says that a card is on its way.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    ++m_busyCursors;
    m_lastProgress = -1;
}

void CardController::endBusy() {
    if (m_busyCursors == 0) return;
    --m_busyCursors;
    QApplication::restoreOverrideCursor();
}

void CardController::setStatus(const QString& text) {
    if (m_widgets.label3) m_widgets.label3->setText(text);
}

void CardController::showStatus(bool visible) {
    if (m_widgets.label3) m_widgets.label3->setVisible(visible);
}

void CardController::showProgress(bool visible) {
    if (!m_widgets.progBarXP1) return;
    m_widgets.progBarXP1->setValue(0);
    m_widgets.progBarXP1->setVisible(visible);
}

void CardController::setProgress(int percent) {
    if (percent == m_lastProgress) return;
    m_lastProgress = percent;
    if (m_widgets.progBarXP1) m_widgets.progBarXP1->setValue(qBound(0, percent, 100));
}

void CardController::showCardView(bool visible) {
    for (QWidget* w : {static_cast<QWidget*>(m_widgets.p1), static_cast<QWidget*>(m_widgets.p3)})
        if (w) w->setVisible(visible);
}

void CardController::showCodeField(bool visible) {
    if (m_widgets.p4) static_cast<QWidget*>(m_widgets.p4)->setVisible(visible);
}

void CardController::setReadButtons(bool readable) {
    m_window.setCardReadable(readable);
    for (QWidget* w : {static_cast<QWidget*>(m_widgets.command7), static_cast<QWidget*>(m_widgets.image1),
                       static_cast<QWidget*>(m_widgets.image2)})
        if (w) w->setEnabled(readable);
    disableListButtons();
}

void CardController::disableListButtons() {
    for (QPushButton* b : {m_widgets.command10, m_widgets.command11, m_widgets.command12})
        if (b) b->setEnabled(false);
}

bool CardController::focusListCommand(bool runIt) {
    QPushButton* command10 = m_widgets.command10;
    if (!command10 || !command10->isEnabled()) return false;
    command10->setFocus();
    if (runIt) command10->click();
    return true;
}

QStringList CardController::programCaptions() const {
    QStringList captions;
    const BaseSettings& base = Base();
    for (int i = 1; i <= base.ProgramIdentificationCount && i <= BaseSettings::kMaxProgramIdentification; ++i)
        captions << base.ProgramIdentification[static_cast<std::size_t>(i)].Nazwa.toString();
    return captions;
}

bool CardController::confirmIdentification(const Record& program, const Record& parameter) {
    if (m_confirmDialog) return m_confirmDialog(program, parameter);
    InfoProg dialog(program, parameter, programCaptions(), &m_window);
    dialog.exec();
    return dialog.DialogAccepted();
}

bool CardController::chooseProgram(std::int32_t& programId, std::int32_t& parameterId) {
    if (m_choiceDialog) return m_choiceDialog(programId, parameterId);
    DbProgramChoiceSource source(Conn());
    ProgramK dialog(source, programCaptions(), &m_window);
    dialog.exec();
    if (!dialog.DialogAccepted()) return false;
    programId = dialog.ChosenProgramID();
    parameterId = dialog.ChosenParameterID();
    return true;
}

void CardController::showMessage(const QString& text) { ShowMessage(text, 2, 16); }

bool CardController::askQuestion(const QString& text) { return AskQuestion(text, 2, 16); }

} // namespace kartovo
