#include "app/ui/MessageWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace kartovo {

namespace {
// Design positions, in twips.
constexpr int kIconLeft = 240;
constexpr int kLabelLeft = 1050;
constexpr int kLabelTop = 300;
constexpr int kRightMargin = 750;
constexpr int kButtonGap = 300;
constexpr int kBottomMargin = 650;
constexpr int kQuestionGap = 250;
constexpr int kButtonWidth = 1215;
// The window sizes above count the frame and title bar; the client area is
// smaller by this much.
constexpr int kFrameWidth = 90;
constexpr int kFrameHeight = 420;
constexpr int kIconSize = 32;

QStyle::StandardPixmap iconForStyle(int style) {
    style &= 0xff;
    if (style < 32) return QStyle::SP_MessageBoxCritical;
    if (style < 64) return QStyle::SP_MessageBoxWarning;
    if (style < 128) return QStyle::SP_MessageBoxInformation;
    return QStyle::SP_MessageBoxQuestion;
}

// Lines arrive separated by carriage returns; the label wants new lines.
QString forLabel(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QChar(13), QChar(10));
    return t;
}
} // namespace

MessageWindow::MessageWindow(const MessageRequest& request, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("KomUwagaFrm"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const QStyle::StandardPixmap stock[] = {QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxWarning,
                                            QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxQuestion};
    const QStyle::StandardPixmap wanted = iconForStyle(request.style);
    QPixmap shown;
    for (int i = 0; i < 4; ++i) {
        auto* icon = new QLabel(this);
        icon->setObjectName(QStringLiteral("Image%1").arg(i + 2));
        icon->setPixmap(style()->standardIcon(stock[i], nullptr, this).pixmap(kIconSize, kIconSize));
        icon->hide();
        if (stock[i] == wanted) shown = icon->pixmap();
    }
    m_image1 = new QLabel(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setPixmap(shown);
    m_image1->setFixedSize(kIconSize, kIconSize);

    m_label1 = new QLabel(this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setTextFormat(Qt::PlainText);
    m_label1->setWordWrap(false);

    m_command1 = new QPushButton(QStringLiteral("&OK"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command2 = new QPushButton(QStringLiteral("&Anuluj"), this);
    m_command2->setObjectName(QStringLiteral("Command2"));
    for (QPushButton* b : {m_command1, m_command2}) {
        // Enter is decided by the window from the remembered focus.
        b->setAutoDefault(false);
        b->setDefault(false);
        b->hide();
        b->installEventFilter(this);
    }
    connect(m_command1, &QPushButton::clicked, this, [this] { choose(true); });
    connect(m_command2, &QPushButton::clicked, this, [this] { choose(false); });

    layoutFor(request);
}

int MessageWindow::twips(int t) const { return qRound(t * logicalDpiX() / 1440.0); }

void MessageWindow::setLabelText(const QString& text) {
    m_text = text;
    m_label1->setText(forLabel(text));
    m_label1->adjustSize();
    m_label1->move(twips(kLabelLeft), twips(kLabelTop));
}

void MessageWindow::layoutFor(const MessageRequest& r) {
    setWindowTitle(r.title.isEmpty() ? kDefaultTitle : r.title);
    QFont font = m_label1->font();
    if (r.smallFont) font.setPointSize(8);
    if (r.question && r.fontSize > 0) font.setPointSize(r.fontSize);
    m_label1->setFont(font);

    const Qt::Alignment align = r.alignment == 0 ? Qt::AlignLeft : (r.alignment == 1 ? Qt::AlignRight : Qt::AlignHCenter);
    m_label1->setAlignment(align | Qt::AlignVCenter);
    setLabelText(r.text);

    const QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    const int screenWidth = scr ? scr->geometry().width() : 1024;
    if (m_label1->x() + m_label1->width() + twips(kRightMargin) > screenWidth * 4 / 5 && !r.text.contains(QChar(13)))
        setLabelText(BreakSentences(r.text));

    int buttonWidth = twips(kButtonWidth);
    for (QPushButton* b : {m_command1, m_command2}) buttonWidth = qMax(buttonWidth, b->sizeHint().width());
    const int buttonHeight = m_command1->sizeHint().height();
    // A short question still leaves room for both buttons inside the window.
    const int minLabel = r.question ? 2 * (buttonWidth + twips(kQuestionGap)) - twips(kRightMargin) + twips(kIconLeft)
                                    : buttonWidth;
    if (m_label1->width() < minLabel) m_label1->resize(minLabel, m_label1->height());

    const int left = m_label1->x();
    const int labelWidth = m_label1->width();
    const int buttonTop = m_label1->y() + m_label1->height() + twips(kButtonGap);
    for (QPushButton* b : {m_command1, m_command2}) b->setGeometry(0, buttonTop, buttonWidth, buttonHeight);
    if (r.question) {
        m_command1->setText(QStringLiteral("TAK"));
        m_command2->setText(QStringLiteral("NIE"));
        const int c = left + labelWidth / 2;
        m_command1->move(c - buttonWidth - twips(kQuestionGap), buttonTop);
        m_command2->move(c + twips(kQuestionGap), buttonTop);
        m_command1->show();
        m_command2->show();
    } else {
        m_command1->move(left + (labelWidth - buttonWidth) / 2, buttonTop);
        m_command1->show();
    }
    m_image1->move(twips(kIconLeft), m_label1->y() + (m_label1->height() - m_image1->height()) / 2);

    setFixedSize(left + labelWidth + twips(kRightMargin) - twips(kFrameWidth),
                 buttonTop + buttonHeight + twips(kBottomMargin) - twips(kFrameHeight));
    centreOnScreen();
    if (r.question && (r.style & kDefaultSecondButton)) {
        m_command2->setFocus();
        m_lastFocus = 2;
    } else {
        m_command1->setFocus();
    }
}

void MessageWindow::centreOnScreen() {
    const QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!scr) return;
    const QRect g = scr->geometry();
    move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
}

void MessageWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen();
}

bool MessageWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_command1) m_lastFocus = 1;
        if (watched == m_command2) m_lastFocus = 2;
    }
    return QDialog::eventFilter(watched, event);
}

void MessageWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose(m_lastFocus != 2);
        return;
    case Qt::Key_Escape:
        choose(false);
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void MessageWindow::choose(bool yes) {
    m_answer = yes;
    if (yes) accept();
    else reject();
}

bool MessageWindow::present(const MessageRequest& request) {
    MessageWindow window(request, QApplication::activeWindow());
    QApplication::beep();
    window.exec();
    return window.answer();
}

void MessageWindow::install() { SetMessagePresenter(&MessageWindow::present); }

} // namespace kartovo
