#include "dialogs/ui/Kalendarz.h"

#include "platform/Numbers.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace kartovo {

namespace {

int Twips(const QWidget* w, int twips) { return qRound(twips * w->logicalDpiX() / 1440.0); }

// A day number as the operator may type it: a plain decimal number, with a
// point or the Polish comma.
std::optional<double> DayNumber(const QString& text) {
    static const QRegularExpression numeric(QStringLiteral("^\\s*[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)\\s*$"));
    if (!numeric.match(text).hasMatch()) return std::nullopt;
    QString t = text.trimmed();
    t.replace(u',', u'.');
    return Val(t);
}

QDate ReadDate(const QString& text) {
    const QString t = text.trimmed();
    QDate d = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid()) d = QDate::fromString(t, QStringLiteral("yyyy-M-d"));
    return d;
}

} // namespace

DaySpinner::DaySpinner(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton** b : {&m_up, &m_down}) {
        *b = new QToolButton(this);
        (*b)->setArrowType(b == &m_up ? Qt::UpArrow : Qt::DownArrow);
        (*b)->setAutoRepeat(true);
        (*b)->setFocusPolicy(Qt::NoFocus);
        (*b)->setFixedSize(16, 11);
        layout->addWidget(*b);
    }
    connect(m_up, &QToolButton::clicked, this, [this] { emit stepped(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { emit stepped(-1); });
}

Kalendarz::Kalendarz(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Kalendarz"));
    setWindowTitle(QStringLiteral("Wskaż date"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    m_monthView = new QCalendarWidget(this);
    m_monthView->setObjectName(QStringLiteral("MonthView1"));
    m_monthView->setLocale(QLocale(QLocale::Polish, QLocale::Poland));
    m_monthView->setFirstDayOfWeek(Qt::Monday);
    m_monthView->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_monthView->setSelectedDate(QDate::currentDate());

    m_label = new QLabel(QStringLiteral("Dzień"), this);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_dayText = new QLineEdit(this);
    m_dayText->setObjectName(QStringLiteral("Text1"));
    m_dayText->setMaxLength(6);
    m_dayText->setFixedWidth(m_dayText->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    m_dayText->setAlignment(Qt::AlignRight);
    m_spinner = new DaySpinner(this);
    m_spinner->setObjectName(QStringLiteral("UpDown1"));
    m_label->setBuddy(m_dayText);

    auto* dayRow = new QHBoxLayout;
    dayRow->setSpacing(Twips(this, 60));
    dayRow->addStretch(1);
    dayRow->addWidget(m_label);
    auto* pair = new QHBoxLayout;
    pair->setSpacing(0);
    pair->addWidget(m_dayText);
    pair->addWidget(m_spinner);
    dayRow->addLayout(pair);

    // The window is the calendar plus a narrow frame and the day row.
    auto* layout = new QVBoxLayout(this);
    const int edge = Twips(this, 15);
    layout->setContentsMargins(edge, edge, edge, Twips(this, 60));
    layout->setSpacing(Twips(this, 60));
    layout->addWidget(m_monthView);
    layout->addLayout(dayRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_monthView, &QCalendarWidget::selectionChanged, this, [this] {
        if (m_fromText) return;
        updateMaximum();
        showDayNumber();
    });
    connect(m_monthView, &QCalendarWidget::activated, this, &Kalendarz::choose);
    connect(m_dayText, &QLineEdit::textChanged, this, &Kalendarz::dayTextChanged);
    connect(m_spinner, &DaySpinner::stepped, this, &Kalendarz::step);
    m_dayText->installEventFilter(this);

    updateMaximum();
    showDayNumber();
    m_monthView->setFocus();
}

void Kalendarz::setDate(const QDate& date) {
    if (date.isValid()) m_monthView->setSelectedDate(date);
}

QDate Kalendarz::date() const { return m_monthView->selectedDate(); }

QString Kalendarz::dateText(const QDate& date) { return date.toString(QStringLiteral("yyyy-MM-dd")); }

void Kalendarz::placeBeside(const QWidget* anchor) {
    if (!anchor) return;
    const QPoint topRight = anchor->mapToGlobal(QPoint(anchor->width(), 0));
    placeAt(QPoint(topRight.x() + Twips(anchor, 100), topRight.y()));
}

void Kalendarz::placeAt(const QPoint& globalTopLeft) { move(globalTopLeft); }

void Kalendarz::updateMaximum() {
    // The maximum follows the year shown: a leap year has 366 days. It is
    // updated on every change of the date, not only on opening, so a number
    // typed after moving to another year stays within that year.
    const int year = date().year();
    m_spinner->setMaximum(QDate(year, 1, 1).daysTo(QDate(year, 12, 31)) + 1);
}

void Kalendarz::showDayNumber() {
    const QDate d = date();
    const QString text = QString::number(QDate(d.year(), 1, 1).daysTo(d) + 1);
    if (m_dayText->text() == text) return;
    m_fromText = true; // the calendar already shows this day
    m_dayText->setText(text);
    m_fromText = false;
}

void Kalendarz::dayTextChanged(const QString& text) {
    if (m_fromText) return;
    const auto n = DayNumber(text);
    if (!n) return;
    QString shown = text;
    if (*n < 1) {
        shown = QStringLiteral("1");
    } else if (*n > m_spinner->maximum()) {
        shown = QString::number(m_spinner->maximum());
    }
    if (shown != text) {
        m_fromText = true;
        m_dayText->setText(shown);
        m_fromText = false;
    }
    const int day = static_cast<int>(std::floor(*DayNumber(shown)));
    const QDate jan1(date().year(), 1, 1);
    m_fromText = true;
    m_monthView->setSelectedDate(jan1.addDays(day - 1));
    m_fromText = false;
}

void Kalendarz::step(int delta) {
    const auto n = DayNumber(m_dayText->text());
    const int current = n ? static_cast<int>(std::floor(*n)) : date().dayOfYear();
    const int next = std::clamp(current + delta, 1, m_spinner->maximum());
    m_dayText->setText(QString::number(next));
}

void Kalendarz::choose() { accept(); }

void Kalendarz::done(int result) {
    // Every way out passes here: a chosen day, Esc, the close box.
    m_accepted = result == QDialog::Accepted;
    QDialog::done(result);
}

bool Kalendarz::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_dayText && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
            step(1);
            return true;
        case Qt::Key_Down:
            step(-1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            choose();
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::optional<QDate> PickDate(QWidget* anchor, const QDate& current) {
    Kalendarz dialog(anchor ? anchor->window() : nullptr);
    dialog.setDate(current.isValid() ? current : QDate::currentDate());
    dialog.adjustSize();
    dialog.placeBeside(anchor);
    dialog.exec();
    if (!dialog.dialogAccepted()) return std::nullopt;
    return dialog.date();
}

std::optional<QString> PickDateText(QWidget* anchor, const QString& currentText) {
    const auto chosen = PickDate(anchor, ReadDate(currentText));
    if (!chosen) return std::nullopt;
    return Kalendarz::dateText(*chosen);
}

} // namespace kartovo
