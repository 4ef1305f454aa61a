#include "recognition/ui/InfoProg.h"

#include "platform/NumberFormat.h"
#include "recognition/ui/PrintAt.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <cmath>

namespace kartovo {

namespace {
constexpr int kMinimumWidth = 7200;   // the window's designed width
constexpr int kCaptionRight = 1500;   // captions end here unless one is wider
constexpr int kButtonWidth = 1200;
constexpr int kButtonHeight = 450;
constexpr int kParameterPointSize = 14;
} // namespace

InfoProg::InfoProg(const Record& program, const Record& parameter, const QStringList& captions, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("InfoProg"));
    setWindowTitle(QStringLiteral("Identyfikacja karty"));
    setModal(true);

    m_yes = new QPushButton(QStringLiteral("TAK"), this);
    m_yes->setObjectName(QStringLiteral("SSCommand1"));
    m_no = new QPushButton(QStringLiteral("NIE"), this);
    m_no->setObjectName(QStringLiteral("SSCommand2"));
    m_yes->setDefault(true);
    connect(m_yes, &QPushButton::clicked, this, &InfoProg::accept);
    connect(m_no, &QPushButton::clicked, this, &InfoProg::reject);

    computeLayout(program, parameter, captions);

    const int centre = m_layout.width / 2;
    m_yes->setGeometry(TwipsToPixelsRounded(centre - 150 - kButtonWidth, *this),
                       TwipsToPixelsRounded(m_layout.buttonTop, *this), TwipsToPixelsRounded(kButtonWidth, *this),
                       TwipsToPixelsRounded(kButtonHeight, *this));
    m_no->setGeometry(TwipsToPixelsRounded(centre + 150, *this), TwipsToPixelsRounded(m_layout.buttonTop, *this),
                      TwipsToPixelsRounded(kButtonWidth, *this), TwipsToPixelsRounded(kButtonHeight, *this));
    setFixedSize(TwipsToPixelsRounded(m_layout.width, *this), TwipsToPixelsRounded(m_layout.height, *this));
    m_yes->setFocus();
}

QString InfoProg::parameterLine(const Record& parameter) {
    return DisplayText(parameter.value(QStringLiteral("Nazwa"))) + QLatin1Char(' ') +
           FormatNumber(parameter.value(QStringLiteral("WN")), parameter.value(QStringLiteral("Format")).toString()) +
           QStringLiteral(" [") + DisplayText(parameter.value(QStringLiteral("Jednostka"))) + QLatin1Char(']');
}

QFont InfoProg::fontFor(const InfoProgText& t) const {
    QFont f = font();
    f.setBold(t.bold);
    if (t.pointSize > 0) f.setPointSize(t.pointSize);
    return f;
}

double InfoProg::textTwips(const InfoProgText& t) const {
    const QFontMetricsF fm(fontFor(t), this);
    return PixelsToTwips(fm.horizontalAdvance(t.text), *this);
}

void InfoProg::computeLayout(const Record& program, const Record& parameter, const QStringList& captions) {
    const int n = static_cast<int>(captions.size());
    QList<InfoProgText> texts;
    texts.append({QStringLiteral("Zeskanowana karta związana jest z następującym programem kontroli:"), 50, 50,
                  AlignStart});

    // A caption wider than the designed column would run off the left edge, so
    // the column moves right to make room for it.
    int captionRight = kCaptionRight;
    for (const QString& c : captions)
        captionRight = std::max(captionRight, 50 + static_cast<int>(std::ceil(textTwips({c}))));

    int width = kMinimumWidth;
    for (int i = 1; i <= n; ++i) {
        const int y = 300 * i + 50;
        texts.append({captions[i - 1], captionRight, y, AlignEnd});
        InfoProgText value{QStringLiteral(": ") + DisplayText(program.value(QStringLiteral("ID%1").arg(i))),
                           captionRight + 50, y, AlignStart, true};
        width = std::max(width, value.x + static_cast<int>(std::ceil(textTwips(value))) + 150);
        texts.append(value);
    }
    const int base = 300 * (n + 1);
    texts.append({QStringLiteral("i dotyczy parametru:"), 50, base + 100, AlignStart});
    texts.append({parameterLine(parameter), 0, base + 400, AlignCentre, true, kParameterPointSize});
    texts.append({QStringLiteral("Czy poprawnie zidentyfikowano parametr ?"), 0, base + 900, AlignCentre, false, 0,
                  QColor(255, 0, 0)});

    for (const InfoProgText& t : texts) {
        const int w = static_cast<int>(std::ceil(textTwips(t)));
        width = std::max(width, t.alignment == AlignCentre ? w + 300 : t.x + w + 100);
    }
    for (InfoProgText& t : texts)
        if (t.alignment == AlignCentre) t.x = width / 2;

    m_layout.texts = texts;
    m_layout.buttonTop = base + 1500;
    m_layout.width = width;
    m_layout.height = m_layout.buttonTop + 1100;
}

void InfoProg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (const InfoProgText& t : m_layout.texts) {
        p.setFont(fontFor(t));
        p.setPen(t.color);
        PrintAt(p, TwipsToPixels(t.x, *this), TwipsToPixels(t.y, *this), t.text, t.alignment);
    }
}

void InfoProg::keyPressEvent(QKeyEvent* event) {
    // A focused button answers Enter itself; anywhere else Enter means TAK.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event); // Esc -> reject
}

void InfoProg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* s = screen()) {
        QRect r = frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
}

void InfoProg::accept() {
    m_accepted = true;
    QDialog::accept();
}

void InfoProg::reject() {
    m_accepted = false;
    QDialog::reject();
}

} // namespace kartovo
