#include "evaluation/ui/IDDanych.h"

#include "db/Connection.h"
#include "dialogs/ui/Kalendarz.h"
#include "evaluation/CardSaver.h"
#include "evaluation/IdentificationLists.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/Variants.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QCloseEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace kartovo {

namespace {

int Twips(const QWidget* w, int twips) { return qRound(twips * w->logicalDpiX() / 1440.0); }

QString Indexed(const char* name, int i) { return QLatin1String(name) + QLatin1Char('_') + QString::number(i); }

// A small wall calendar for the button beside the date.
QIcon CalendarIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(80, 80, 80), 1.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(3, 5, 26, 24), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 30, 30));
    p.drawRect(QRectF(4, 6, 24, 6));
    p.setBrush(QColor(90, 90, 90));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col) p.drawRect(QRectF(7 + col * 5.5, 15 + row * 4.5, 3, 3));
    p.setBrush(QColor(60, 60, 60));
    p.drawRect(QRectF(9, 2, 2.5, 6));
    p.drawRect(QRectF(20.5, 2, 2.5, 6));
    return QIcon(pm);
}

bool IsEnter(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

const QString kTimeFormat = QStringLiteral("HH:mm");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

} // namespace

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    emit clicked();
}

IDDanych::IDDanych(const BaseSettings& base, const QVariant& programId, IdentificationListSource& lists,
                   QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("IDDanych"));
    setWindowTitle(QStringLiteral("Identyfikacja danych pomiarowych"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    buildControls();
    fillFields(base, programId, lists);

    const QDateTime now = QDateTime::currentDateTime();
    m_text2->setText(now.date().toString(kDateFormat));
    m_text3->setText(now.time().toString(kTimeFormat));
}

void IDDanych::buildControls() {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(Twips(this, 90));
    grid->setVerticalSpacing(Twips(this, 75));
    grid->setColumnMinimumWidth(1, Twips(this, 3900));

    const QStringList captions{QStringLiteral("Data:"), QStringLiteral("Czas:"), QString()};
    for (int i = 0; i < 3; ++i) {
        m_label3[i] = new QLabel(captions[i], this);
        m_label3[i]->setObjectName(Indexed("Label3", i));
    }
    m_label3[0]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_label3[1]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // Date with its calendar button.
    m_text2 = new QLineEdit(this);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setMaxLength(10);
    m_text2->setFixedWidth(m_text2->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-000")) + Twips(this, 180));
    m_image1 = new QToolButton(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setIcon(CalendarIcon());
    m_image1->setToolTip(QStringLiteral("Kalendarz"));
    m_image1->setAutoRaise(true);
    m_image1->setFocusPolicy(Qt::NoFocus);
    m_image1->setCursor(Qt::PointingHandCursor);
    const int side = m_text2->sizeHint().height();
    m_image1->setFixedSize(side, side);
    m_image1->setIconSize(QSize(side - 4, side - 4));
    auto* dateRow = new QHBoxLayout;
    dateRow->setSpacing(Twips(this, 60));
    dateRow->addWidget(m_text2);
    dateRow->addWidget(m_image1);
    dateRow->addStretch(1);
    grid->addWidget(m_label3[0], 0, 0);
    grid->addLayout(dateRow, 0, 1);

    // Time with the three quick times of the shifts.
    m_text3 = new QLineEdit(this);
    m_text3->setObjectName(QStringLiteral("Text3"));
    m_text3->setMaxLength(5);
    m_text3->setFixedWidth(m_text3->fontMetrics().horizontalAdvance(QStringLiteral("00:000")) + Twips(this, 180));
    auto* timeRow = new QHBoxLayout;
    timeRow->setSpacing(Twips(this, 150));
    timeRow->addWidget(m_text3);
    const QStringList quick{QStringLiteral("06:00"), QStringLiteral("14:00"), QStringLiteral("22:00")};
    for (int i = 0; i < 3; ++i) {
        m_label2[i] = new ClickLabel(quick[i], this);
        m_label2[i]->setObjectName(Indexed("Label2", i));
        m_label2[i]->setCursor(Qt::PointingHandCursor);
        m_label2[i]->setToolTip(QStringLiteral("Wstaw czas %1").arg(quick[i]));
        QFont f = m_label2[i]->font();
        f.setUnderline(true);
        m_label2[i]->setFont(f);
        QPalette pal = m_label2[i]->palette();
        pal.setColor(QPalette::WindowText, QColor(0, 0, 160));
        m_label2[i]->setPalette(pal);
        connect(m_label2[i], &ClickLabel::clicked, this, [this, i] { m_text3->setText(m_label2[i]->text()); });
        timeRow->addWidget(m_label2[i]);
    }
    timeRow->addStretch(1);
    grid->addWidget(m_label3[1], 1, 0);
    grid->addLayout(timeRow, 1, 1);

    for (int i = 0; i < kFieldCount; ++i) {
        m_label4[i] = new QLabel(this);
        m_label4[i]->setObjectName(Indexed("Label4", i + 1));
        m_label4[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_text4[i] = new QComboBox(this);
        m_text4[i]->setObjectName(Indexed("Text4", i + 1));
        m_text4[i]->setEditable(true);
        m_text4[i]->setInsertPolicy(QComboBox::NoInsert);
        m_text4[i]->setMaxVisibleItems(15);
        m_text4[i]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        m_text4[i]->setMinimumContentsLength(20);
        // Suggestions pop up under the field; nothing is filled in that the
        // operator did not type or choose.
        m_text4[i]->completer()->setCompletionMode(QCompleter::PopupCompletion);
        m_text4[i]->lineEdit()->setText(QString());
        m_label4[i]->setBuddy(m_text4[i]);
        m_label4[i]->hide();
        m_text4[i]->hide();
        grid->addWidget(m_label4[i], 2 + i, 0);
        grid->addWidget(m_text4[i], 2 + i, 1);
        m_text4[i]->installEventFilter(this);
        m_text4[i]->lineEdit()->installEventFilter(this);
    }

    m_text8 = new QPlainTextEdit(this);
    m_text8->setObjectName(QStringLiteral("Text8"));
    m_text8->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text8->setTabChangesFocus(true);
    m_text8->setFixedHeight(Twips(this, 900));
    m_label3[2]->hide();
    m_text8->hide();
    grid->addWidget(m_label3[2], 2 + kFieldCount, 0, 1, 2);
    grid->addWidget(m_text8, 3 + kFieldCount, 0, 1, 2);

    m_save = new QPushButton(QStringLiteral("&Zapisz"), this);
    m_save->setObjectName(QStringLiteral("SSCommand6"));
    m_cancel = new QPushButton(QStringLiteral("&Anuluj"), this);
    m_cancel->setObjectName(QStringLiteral("SSCommand1"));
    const QStringList hints{QStringLiteral("- Enter"), QStringLiteral("- Esc")};
    for (int i = 0; i < 2; ++i) {
        m_label1[i] = new QLabel(hints[i], this);
        m_label1[i]->setObjectName(Indexed("Label1", 7 + i));
        QPalette pal = m_label1[i]->palette();
        pal.setColor(QPalette::WindowText, QColor(96, 96, 96));
        m_label1[i]->setPalette(pal);
    }
    for (QPushButton* b : {m_save, m_cancel}) {
        b->setAutoDefault(true);
        b->setMinimumWidth(Twips(this, 1300));
    }
    connect(m_save, &QPushButton::clicked, this, &IDDanych::save);
    connect(m_cancel, &QPushButton::clicked, this, &IDDanych::cancel);
    connect(m_image1, &QToolButton::clicked, this, &IDDanych::pickDate);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(Twips(this, 90));
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_label1[0]);
    buttons->addSpacing(Twips(this, 300));
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_label1[1]);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    const int edge = Twips(this, 180);
    layout->setContentsMargins(edge, edge, edge, edge);
    layout->setSpacing(Twips(this, 240));
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_text2->installEventFilter(this);
    m_text3->installEventFilter(this);

    QWidget* previous = m_text2;
    auto chain = [&previous](QWidget* next) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    };
    chain(m_text3);
    for (QComboBox* c : m_text4) chain(c);
    chain(m_text8);
    chain(m_save);
    chain(m_cancel);
}

void IDDanych::fillFields(const BaseSettings& base, const QVariant& programId, IdentificationListSource& lists) {
    m_count = std::clamp<int>(base.DataIdentificationCount, 0, kFieldCount);
    if (base.DataIdentificationCount > kFieldCount)
        qCWarning(lcEvaluation) << "only" << kFieldCount << "of" << base.DataIdentificationCount
                                << "descriptive fields fit the identification window";
    for (int i = 1; i <= m_count; ++i) {
        const DataIdentificationEntry& entry = base.DataIdentification[i];
        const QString name = entry.Nazwa.toString();
        QLabel* caption = m_label4[i - 1];
        QComboBox* box = m_text4[i - 1];
        caption->setText(name + QLatin1Char(':'));
        caption->show();
        box->show();
        // A null Pole is not "yes": the field then takes its dictionary.
        m_free[i - 1] = IsPresent(entry.Pole) && ToNumber(entry.Pole) != 0;
        IdentificationList list = QStringList();
        if (m_free[i - 1]) {
            list = lists.earlierValues(i, programId);
        } else {
            QPalette pal = box->palette();
            pal.setColor(QPalette::Text, QColor(255, 0, 0)); // colour 12 of the palette
            box->setPalette(pal);
            box->lineEdit()->setPalette(pal);
            list = lists.dictionary(i);
            if (!list.ok())
                m_listErrors.append(QStringLiteral("Nie można odczytać listy wartości pola ") + name.toUpper() +
                                    QStringLiteral(" (tabela SPC_OpisID%1):").arg(i) + kLineBreak + list.error());
        }
        if (list) box->addItems(*list);
        box->setCurrentIndex(-1);
        box->lineEdit()->clear();
    }

    const QVariant nazwaOp = base.WorkingParameters.value(QStringLiteral("NazwaOp"));
    m_notesShown = nazwaOp.isValid() && !nazwaOp.isNull();
    if (m_notesShown) {
        m_label3[2]->setText(nazwaOp.toString());
        m_label3[2]->show();
        m_text8->show();
    }
    const QVariant required = base.WorkingParameters.value(QStringLiteral("CzyWymagany"));
    m_notesRequired = IsPresent(required) && ToNumber(required) == 1;
}

IdentificationEntries IDDanych::entries() const {
    IdentificationEntries e;
    e.date = m_text2->text();
    e.time = m_text3->text();
    for (int i = 0; i < m_count; ++i) {
        IdentificationEntries::Field f;
        f.caption = m_label4[i]->text();
        f.free = m_free[i];
        f.text = m_text4[i]->currentText();
        f.chosen = !f.free && m_text4[i]->findText(f.text, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
        e.fields.append(f);
    }
    e.notesShown = m_notesShown;
    e.notesRequired = m_notesRequired;
    e.notes = m_text8->toPlainText();
    return e;
}

SampleIdentification IDDanych::identification() const {
    const IdentificationEntries e = entries();
    SampleIdentification id;
    const QDate date = ReadIdentificationDate(e.date);
    id.date = date.isValid() ? date.toString(kDateFormat) : e.date;
    id.time = e.time;
    for (const IdentificationEntries::Field& f : e.fields) id.descriptive.append(f.text);
    if (m_notesShown) id.notes = e.notes;
    return id;
}

void IDDanych::save() {
    const IdentificationVerdict verdict = CheckIdentification(entries());
    if (!verdict.ok()) {
        ShowMessage(verdict.message);
        focusOn(verdict);
        return;
    }
    m_accepted = true;
    QDialog::accept();
}

void IDDanych::cancel() { reject(); }

void IDDanych::reject() {
    m_accepted = false;
    QDialog::reject();
}

void IDDanych::closeEvent(QCloseEvent* event) {
    // The close box cancels like "&Anuluj".
    m_accepted = false;
    QDialog::closeEvent(event);
}

void IDDanych::focusOn(const IdentificationVerdict& verdict) {
    QWidget* target = nullptr;
    switch (verdict.focus) {
    case IdentificationFocus::Date: target = m_text2; break;
    case IdentificationFocus::Time: target = m_text3; break;
    case IdentificationFocus::Field: target = m_text4[verdict.field - 1]; break;
    case IdentificationFocus::Notes: target = m_text8; break;
    case IdentificationFocus::None: break;
    }
    if (target && target->isVisible() && target->isEnabled()) target->setFocus(Qt::OtherFocusReason);
}

void IDDanych::pickDate() {
    if (!m_text2->isEnabled()) return;
    if (const auto chosen = PickDateText(m_image1, m_text2->text())) m_text2->setText(*chosen);
}

void IDDanych::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_text2->setFocus(Qt::OtherFocusReason);
    if (!m_listErrors.isEmpty()) {
        // Once the window is up, so that the operator sees which window it concerns.
        const QString text = m_listErrors.join(kLineBreak);
        m_listErrors.clear();
        QTimer::singleShot(0, this, [text] { ShowMessage(text); });
    }
}

bool IDDanych::eventFilter(QObject* watched, QEvent* event) {
    if (IsEnter(event)) {
        // An open list takes Enter for its own choice.
        for (QComboBox* c : m_text4)
            if ((watched == c || watched == c->lineEdit()) && c->view() && c->view()->isVisible())
                return QDialog::eventFilter(watched, event);
        focusNextChild();
        return true;
    }
    if (event->type() == QEvent::FocusIn) {
        // Only a field the operator moves to selects its text: the focus that
        // comes back when the suggestion list closes (or the window is
        // activated again) must leave the typing where it was.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const bool movedTo = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                             reason == Qt::ShortcutFocusReason || reason == Qt::OtherFocusReason;
        for (QComboBox* c : m_text4) {
            if (!movedTo) break;
            if (watched == c || watched == c->lineEdit()) {
                QLineEdit* edit = c->lineEdit();
                QTimer::singleShot(0, edit, [edit] { edit->selectAll(); });
                break;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool RunManualSave(QWidget* parent, DbConnection& conn, const SaveContext& context, QString* error,
                   SaveResult* outcome) {
    if (error) error->clear();
    SampleIdentification identification;
    {
        DbIdentificationListSource lists(conn);
        IDDanych window(context.base, context.program.value(QStringLiteral("ID")), lists, parent);
        window.exec();
        if (!window.dialogAccepted()) return false;
        identification = window.identification();
    }

    SaveInput input;
    input.measurements = context.measurements;
    input.parameter = context.parameter;
    input.program = context.program;
    input.constants = context.base.SampleConstants;
    input.identification = identification;
    input.cardHash = context.cardHash;
    input.cardName = context.cardName;
    input.storeAgain = context.storeAgain;
    const SaveResult result = SaveCard(conn, input);
    if (outcome) *outcome = result;
    if (result.ok()) return true;
    if (error) *error = result.error;
    ShowMessage(SaveFailureMessage(result));
    return false;
}

} // namespace kartovo
