#include "app/ui/CardController.h"

#include "app/AutoMode.h"
#include "app/ui/MainWindow.h"
#include "db/DbSession.h"
#include "dialogs/DbProgramChoiceSource.h"
#include "dialogs/ui/ProgramK.h"
#include "imaging/ImageFile.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/WorkingFolder.h"
#include "recognition/ui/InfoProg.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace kartovo {

namespace {
// A dialog made while the main window is closed to input would inherit that;
// the window is open for the dialog's time only (the dialog is modal).
class OpenForDialog {
public:
    explicit OpenForDialog(QWidget& w) : m_w(w), m_was(w.isEnabled()) { m_w.setEnabled(true); }
    ~OpenForDialog() { m_w.setEnabled(m_was); }

private:
    QWidget& m_w;
    bool m_was;
};
} // namespace

CardController::CardController(MainWindow& window) : QObject(&window), m_window(window) {
    setObjectName(QStringLiteral("CardController"));
    m_fileDialog = [this](const QString& title, const QString& filter, const QString& folder) {
        // Qt's own dialog speaks the program's language (Qt's Polish texts);
        // a desktop's native one follows the desktop instead.
        return QFileDialog::getOpenFileName(&m_window, title, folder, filter, nullptr,
                                            QFileDialog::DontUseNativeDialog);
    };
    if (auto* command4 = qobject_cast<QPushButton*>(control("Command4")))
        connect(command4, &QPushButton::clicked, this, &CardController::Command4Click);
}

QWidget* CardController::control(const char* name) const {
    return m_window.findChild<QWidget*>(QLatin1String(name));
}

FileChoice CardController::GetFileOpen(const QString& title, const QString& mask, const QString& folder) {
    return FileChoiceFor(m_fileDialog ? m_fileDialog(title, QtFileFilter(mask), folder) : QString());
}

void CardController::Command4Click() {
    if (m_busy) return;
    const FileChoice choice = GetFileOpen(kImageFileTitle, kImageFileMask, m_window.run().initialFolder);
    if (!choice.DialogAccepted) return;
    m_window.run().initialFolder = choice.folder();
    OpenFile(choice.ChosenFilePath);
}

bool CardController::OpenFile(const QString& path) {
    if (m_busy) return false;
    // The chosen file is only read: decoded once, and its content's hash
    // tells at the save whether this card was stored before.
    QByteArray content;
    QImage picture;
    QString why;
    if (!ReadPictureFile(path, content, &why) || !LoadPictureData(content, path, picture, &why)) {
        ShowMessage(CardPipeline::UnreadableImageText(why), 2, 16);
        return false;
    }
    // From here on the new card is taken: nothing of the earlier one stays.
    m_window.dropCard();
    m_scannerSource = false;
    m_card.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
    setCardFile(AutoMode::FileHash(content), QFileInfo(path).fileName());
    return runPipeline(true, &picture);
}

bool CardController::ZaladujPlikGraf(bool showMessages) { return runPipeline(showMessages, nullptr); }

bool CardController::ZaladujPlikGraf(bool showMessages, QImage picture) {
    return runPipeline(showMessages, &picture);
}

bool CardController::runPipeline(bool showMessages, QImage* decoded) {
    if (m_busy) return false;
    m_busy = true;
    CardPipeline pipeline(m_card, m_window.pictures(), Conn(), Base());
    pipeline.setView(this);
    pipeline.setOptions(m_window.currentOptions());
    pipeline.setAutoMode(m_window.run().autoMode);
    pipeline.setReadCommand(m_readCommand);
    pipeline.setSaveCommand(m_saveCommand);
    if (decoded) pipeline.ZaladujPlikGraf(showMessages, std::move(*decoded));
    else pipeline.ZaladujPlikGraf(showMessages);
    m_busy = false;
    if (!m_card.Fault.isEmpty()) ShowMessage(m_card.Fault, 2, 16);
    return true;
}

void CardController::beginBusy() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_window.setEnabled(false);
    m_lastProgress = -1;
    m_previousPresenter = SetMessagePresenter([this](const MessageRequest& request) {
        OpenForDialog open(m_window);
        return m_previousPresenter ? m_previousPresenter(request) : false;
    });
}

void CardController::endBusy() {
    SetMessagePresenter(std::move(m_previousPresenter));
    m_previousPresenter = {};
    m_window.setEnabled(true);
    QApplication::restoreOverrideCursor();
}

void CardController::setStatus(const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(control("Label3"))) label->setText(text);
}

void CardController::showStatus(bool visible) {
    if (QWidget* label = control("Label3")) label->setVisible(visible);
}

void CardController::showProgress(bool visible) {
    if (auto* bar = qobject_cast<QProgressBar*>(control("ProgBarXP1"))) {
        bar->setValue(0);
        bar->setVisible(visible);
    }
}

void CardController::setProgress(int percent) {
    // The window is closed to input meanwhile; it only repaints and stays alive.
    if (percent == m_lastProgress) return;
    m_lastProgress = percent;
    if (auto* bar = qobject_cast<QProgressBar*>(control("ProgBarXP1"))) bar->setValue(qBound(0, percent, 100));
    QCoreApplication::processEvents();
}

void CardController::showCardView(bool visible) {
    for (const char* name : {"P1", "P3"})
        if (QWidget* w = control(name)) w->setVisible(visible);
}

void CardController::showCodeField(bool visible) {
    if (QWidget* w = control("P4")) w->setVisible(visible);
}

void CardController::setReadButtons(bool readable) {
    m_window.setCardReadable(readable);
    for (const char* name : {"Command7", "Image1", "Image2"})
        if (QWidget* w = control(name)) w->setEnabled(readable);
    disableListButtons();
}

void CardController::disableListButtons() {
    for (const char* name : {"Command10", "Command11", "Command12"})
        if (QWidget* w = control(name)) w->setEnabled(false);
}

bool CardController::focusListCommand(bool runIt) {
    auto* command10 = qobject_cast<QPushButton*>(control("Command10"));
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
    OpenForDialog open(m_window);
    if (m_confirmDialog) return m_confirmDialog(program, parameter);
    InfoProg dialog(program, parameter, programCaptions(), &m_window);
    dialog.exec();
    return dialog.DialogAccepted();
}

bool CardController::chooseProgram(std::int32_t& programId, std::int32_t& parameterId) {
    OpenForDialog open(m_window);
    if (m_choiceDialog) return m_choiceDialog(programId, parameterId);
    DbProgramChoiceSource source(Conn());
    ProgramK dialog(source, programCaptions(), &m_window);
    dialog.exec();
    if (!dialog.DialogAccepted()) return false;
    programId = dialog.ChosenProgramID();
    parameterId = dialog.ChosenParameterID();
    return true;
}

} // namespace kartovo
