#include "reading/ui/ReadingController.h"

#include "platform/Logging.h"
#include "platform/Messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>

namespace kartovo {

namespace {
QString ReadingStatusText() { return QStringLiteral("Wyszukuję pomiary:"); }
} // namespace

ReadingController::ReadingController(const ReadingWidgets& w, ReadingState& state, QImage& p1, QImage& p3,
                                     QObject* parent)
    : QObject(parent), m_state(state), m_p1(p1), m_p3(p3) {
    m_command7 = w.command7;
    m_command10 = w.command10;
    m_command11 = w.command11;
    m_command12 = w.command12;
    m_command13 = w.command13;
    m_ssCommand2 = w.ssCommand2;
    m_label2 = w.label2;
    m_label3 = w.label3;
    m_label4 = w.label4;
    m_panel = w.ssPanel1;
    m_p1View = w.p1;
    m_p3View = w.p3;
    m_image4 = w.image4;
    m_list1 = w.list1;
    m_progress = w.progBarXP1;

    if (m_command7) connect(m_command7, &QAbstractButton::clicked, this, [this] { Command7Click(); });
    if (m_command10) connect(m_command10, &QAbstractButton::clicked, this, &ReadingController::Command10Click);
    if (m_ssCommand2) connect(m_ssCommand2, &QAbstractButton::clicked, this, &ReadingController::Command10Click);
    if (m_command11) connect(m_command11, &QAbstractButton::clicked, this, &ReadingController::Command11Click);
    if (m_command12) connect(m_command12, &QAbstractButton::clicked, this, &ReadingController::Command12Click);
    if (m_list1) connect(m_list1, &QListWidget::currentRowChanged, this, &ReadingController::List1Selected);
    if (m_p1View) {
        m_p1View->setMouseTracking(true);
        m_p1View->installEventFilter(this);
    }
}

bool ReadingController::listVisible() const { return m_panel && m_panel->isVisible(); }

double ReadingController::viewScale() const {
    const double s = m_viewScale ? m_viewScale() : 1.0;
    return s > 0.0 ? s : 1.0;
}

void ReadingController::notifyPictures() {
    if (m_picturesChanged) {
        m_picturesChanged();
        return;
    }
    if (m_p1View) m_p1View->update();
    if (m_p3View) m_p3View->update();
}

void ReadingController::fillList(const QStringList& lines) {
    if (!m_list1) return;
    m_list1->clear();
    m_list1->addItems(lines);
}

bool ReadingController::Command7Click() {
    if (m_state.running() || !m_input) return false;
    const bool autoMode = m_autoMode && m_autoMode();
    const ReadingInput input = m_input();
    if (input.cleanGrid.isNull()) {
        qCWarning(lcReading) << "No card picture to read";
        return false;
    }
    const double threshold = m_threshold ? m_threshold()
                             : m_label2  ? ThresholdFraction(m_label2->text())
                                         : 0.2;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_progress) {
        m_progress->setValue(0);
        m_progress->show();
    }
    if (m_label3) {
        m_label3->setText(ReadingStatusText());
        m_label3->show();
    }

    // The reading takes a few milliseconds: no event is handled meanwhile, so
    // nothing can start another card or reading under it.
    ReadingState::Hooks hooks;
    hooks.progress = [&](int percent) {
        if (m_progress) m_progress->setValue(qBound(0, percent, 100));
    };
    // With the list hidden the values wait for "Po&miary".
    const bool computeValues = autoMode || listVisible();
    const ReadingState::ReadResult result = m_state.Czytaj(input.cleanGrid, input.parameter, input.grid, threshold,
                                                           m_p1, m_p3, computeValues, hooks);

    if (m_progress) m_progress->hide();
    if (m_label3) m_label3->hide();
    if (!autoMode) {
        if (result.done()) {
            for (QAbstractButton* b : {m_command10.data(), m_command11.data(), m_command12.data()})
                if (b) b->setEnabled(true);
            if (m_command7) m_command7->setEnabled(false);
            if (listVisible()) fillList(m_state.listLines());
        } else if (result.status != ReadingState::ReadStatus::Busy) {
            // Nothing to list or correct; "&Czytaj" stays for another threshold.
            for (QAbstractButton* b : {m_command10.data(), m_command11.data(), m_command12.data()})
                if (b) b->setEnabled(false);
            if (m_list1) m_list1->clear();
        }
    }
    notifyPictures();
    QApplication::restoreOverrideCursor();
    if (result.status != ReadingState::ReadStatus::Busy && !result.done()) {
        if (autoMode)
            qCWarning(lcReading).noquote() << JoinLines(result.message);
        else
            ShowMessage(result.message);
    }
    return result.done();
}

void ReadingController::Command10Click() {
    if (m_panel && m_panel->isHidden()) fillList(m_state.prepareList());
    if (m_image4) m_image4->hide();
    if (m_panel) {
        m_panel->setVisible(m_panel->isHidden());
        if (m_panel->isVisible()) {
            m_panel->raise();
            if (m_command13) m_command13->setFocus();
        }
    }
    const bool hidden = !m_panel || m_panel->isHidden();
    if (m_command11) m_command11->setEnabled(hidden);
    if (m_command12) m_command12->setEnabled(hidden);
}

void ReadingController::Command11Click() {
    m_state.toggleEntryMode();
    if (m_label4) m_label4->setText(m_state.modeText());
}

void ReadingController::Command12Click() {
    m_state.toggleDeletionMode();
    if (m_label4) m_label4->setText(m_state.modeText());
}

ReadingState::ClickResult ReadingController::P1Click() {
    // Corrections belong to the time between a reading and the list.
    if (m_command11 && !m_command11->isEnabled()) return {};
    const ReadingState::ClickResult result = m_state.click(m_p1, m_p3);
    if (result.hit) notifyPictures();
    return result;
}

void ReadingController::List1Selected(int line) {
    if (!m_image4) return;
    const std::optional<QPoint> at = m_state.pointerPosition(line, m_image4->size());
    if (!at) {
        m_image4->hide();
        return;
    }
    // The pointer keeps its size; its centre goes to the mark as the view shows it.
    const double s = viewScale();
    const QPointF centre = (QPointF(*at) + QPointF(m_image4->width() / 2.0, m_image4->height() / 2.0)) * s;
    QPoint pos = (centre - QPointF(m_image4->width() / 2.0, m_image4->height() / 2.0)).toPoint();
    QWidget* parent = m_image4->parentWidget();
    if (m_p1View && parent && parent != m_p1View) pos = parent->mapFromGlobal(m_p1View->mapToGlobal(pos));
    m_image4->move(pos);
    m_image4->show();
    m_image4->raise();
}

bool ReadingController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_p1View) {
        switch (event->type()) {
        case QEvent::MouseMove: {
            const QPointF p = static_cast<QMouseEvent*>(event)->position() / viewScale();
            m_state.setMousePosition(static_cast<float>(p.x()), static_cast<float>(p.y()));
            break;
        }
        case QEvent::MouseButtonPress: {
            // A click without a move before it still acts where it happened.
            const auto* me = static_cast<QMouseEvent*>(event);
            const QPointF p = me->position() / viewScale();
            m_state.setMousePosition(static_cast<float>(p.x()), static_cast<float>(p.y()));
            if (me->button() == Qt::LeftButton) P1Click();
            break;
        }
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kartovo
