#include "app/ui/MainWindow.h"

#include "app/StartupDatabase.h"
#include "db/StoredCards.h"
#include "platform/Messages.h"
#include "app/ui/CardController.h"
#include "app/ui/Controls.h"
#include "app/ui/ListPanel.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/OptionsPanel.h"
#include "app/ui/PictureView.h"
#include "platform/Logging.h"
#include "platform/SettingsStore.h"
#include "platform/WorkingFolder.h"

#include <QCloseEvent>
#include <cmath>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

namespace kartovo {

namespace {
constexpr int kButtonWidth = 84;
constexpr int kButtonHeight = 26;
constexpr int kPanelTop = 62;
const QSize kEmptyCard(760, 520);
// Room the window manager's frame and title bar take around the window.
const QSize kFrameAllowance(16, 48);
const QString kGeometryKey = QStringLiteral("Okno");
} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), m_endProgram([](int code) { QCoreApplication::exit(code); }),
      m_databaseStartup(&RunDatabaseStartup), m_storedCheck(&IsCardStored) {
    setObjectName(QStringLiteral("Kartovo"));
    setWindowTitle(QStringLiteral("Kartovo"));
    m_central = new QWidget(this);
    m_central->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(m_central);

    buildCardView(m_central);
    buildTopBar(m_central);

    m_widgets.optionsPanel = new OptionsPanel(m_central);
    m_widgets.optionsPanel->adjustSize();
    m_widgets.optionsPanel->resize(qMax(m_widgets.optionsPanel->width(), 360), m_widgets.optionsPanel->height());
    m_widgets.optionsPanel->hide();
    m_widgets.listPanel = new ListPanel(m_central);
    m_widgets.listPanel->resize(280, 420);
    m_widgets.listPanel->hide();

    m_widgets.timer1 = new QTimer(this);
    m_widgets.timer1->setObjectName(QStringLiteral("Timer1"));

    connect(m_widgets.command6, &QPushButton::clicked, m_widgets.optionsPanel, &OptionsPanel::toggle);
    connect(m_widgets.optionsPanel->closeButton(), &QPushButton::clicked, m_widgets.optionsPanel, &OptionsPanel::toggle);
    connect(&m_pictures, &CardPictures::pictureChanged, this, &MainWindow::onCardPictureChanged);

    m_cards = new CardController(*this, m_widgets);
    wireCardCommands();

    InstallEnterClick(m_central);
    // Small screens keep every control reachable; the card view scrolls.
    setMinimumSize(760, 520);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    resize((available.size() - kFrameAllowance).expandedTo(minimumSize()));
    move(available.topLeft());
}

QPushButton* MainWindow::addCommand(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->resize(kButtonWidth, kButtonHeight);
    return b;
}

void MainWindow::buildTopBar(QWidget* central) {
    // The operator's commands sit on SSPanel2, which automatic mode disables.
    auto* panel2 = new QFrame(central);
    panel2->setObjectName(QStringLiteral("SSPanel2"));
    panel2->setFrameShape(QFrame::StyledPanel);
    m_widgets.ssPanel2 = panel2;
    struct Command {
        QPushButton*& button;
        const char* name;
        QString caption;
        QString toolTip;
    };
    const Command commands[]{
        {m_widgets.command2, "Command2", QStringLiteral("&Skan"), QStringLiteral("Skanuj kartę")},
        {m_widgets.command4, "Command4", QStringLiteral("&Plik"), QStringLiteral("Wczytaj kartę z pliku")},
        {m_widgets.command7, "Command7", QStringLiteral("&Czytaj"), QStringLiteral("Czytaj zeskanowany obraz")},
        {m_widgets.command10, "Command10", QStringLiteral("Po&miary"),
         QStringLiteral("Pokaż odczytane wartości pomiarowe")},
        {m_widgets.command11, "Command11", QStringLiteral("&Wskaż"), QStringLiteral("Wskaż dodatkowy pomiar")},
        {m_widgets.command12, "Command12", QStringLiteral("&Usuń"), QStringLiteral("Usuń błędny pomiar")}};
    int x = 4;
    for (const Command& c : commands) {
        c.button = addCommand(QLatin1String(c.name), c.caption, panel2);
        c.button->move(x, 4);
        c.button->setToolTip(c.toolTip);
        x += kButtonWidth + 3;
    }
    // Processing and reading a card enable these.
    for (QPushButton* b : {m_widgets.command7, m_widgets.command10, m_widgets.command11, m_widgets.command12})
        b->setEnabled(false);
    panel2->setGeometry(4, 4, x + 1, kButtonHeight + 8);

    const int tx = panel2->geometry().right() + 12;
    m_widgets.image1 = new SmallImage(QStringLiteral("Image1"), SmallImage::Shape::ArrowLeft, central);
    m_widgets.image1->move(tx, 13);
    m_widgets.image1->setToolTip(QStringLiteral("Obniż próg wypełnienia"));
    m_widgets.label2 = new QLabel(QStringLiteral("20%"), central);
    m_widgets.label2->setObjectName(QStringLiteral("Label2"));
    m_widgets.label2->setFrameShape(QFrame::Panel);
    m_widgets.label2->setFrameShadow(QFrame::Sunken);
    m_widgets.label2->setAlignment(Qt::AlignCenter);
    m_widgets.label2->setGeometry(tx + 20, 9, 52, 24);
    m_widgets.label2->setToolTip(QStringLiteral("Próg wypełnienia pola"));
    m_widgets.image2 = new SmallImage(QStringLiteral("Image2"), SmallImage::Shape::ArrowRight, central);
    m_widgets.image2->move(tx + 76, 13);
    m_widgets.image2->setToolTip(QStringLiteral("Podnieś próg wypełnienia"));
    connect(m_widgets.image1, &SmallImage::clicked, this, [this] { stepThreshold(-1); });
    connect(m_widgets.image2, &SmallImage::clicked, this, [this] { stepThreshold(+1); });

    auto* p4 = new PictureView(QStringLiteral("P4"), m_pictures, Picture::P4, PictureView::Fit::Scaled,
                               QSize(120, 50), central);
    p4->move(tx + 104, 4);
    p4->setToolTip(QStringLiteral("Pole kodu karty"));
    m_widgets.p4 = p4;

    // The status line may hold a whole sentence (a save, a refusal); the
    // progress bar sits over its right end while a card is processed.
    auto* label3 = new QLabel(central);
    label3->setObjectName(QStringLiteral("Label3"));
    label3->setTextFormat(Qt::PlainText);
    label3->setGeometry(8, 40, tx + 96 - 8, 16);
    m_widgets.label3 = label3;
    auto* progress = new QProgressBar(central);
    progress->setObjectName(QStringLiteral("ProgBarXP1"));
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);
    progress->setGeometry(tx - 90, 42, 180, 12);
    m_widgets.progBarXP1 = progress;
    auto* label4 = new QLabel(central);
    label4->setObjectName(QStringLiteral("Label4"));
    QFont bold = label4->font();
    bold.setBold(true);
    label4->setFont(bold);
    label4->setGeometry(tx + 232, 13, 150, 16);
    m_widgets.label4 = label4;

    // Scale of the card view.
    auto* fit = new QToolButton(central);
    fit->setObjectName(QStringLiteral("CommandFit"));
    fit->setText(QStringLiteral("Dopasuj"));
    fit->setToolTip(QStringLiteral("Dopasuj kartę do okna (Ctrl + kółko myszy: powiększenie)"));
    fit->setGeometry(tx + 390, 8, 70, kButtonHeight);
    auto* actual = new QToolButton(central);
    actual->setObjectName(QStringLiteral("Command100"));
    actual->setText(QStringLiteral("100 %"));
    actual->setToolTip(QStringLiteral("Karta w rzeczywistej wielkości"));
    actual->setGeometry(tx + 464, 8, 50, kButtonHeight);
    m_scaleLabel = new QLabel(QStringLiteral("100 %"), central);
    m_scaleLabel->setObjectName(QStringLiteral("LabelScale"));
    m_scaleLabel->setGeometry(tx + 518, 13, 50, 16);
    connect(fit, &QToolButton::clicked, this, &MainWindow::fitCardToWindow);
    connect(actual, &QToolButton::clicked, this, [this] { setCardScale(1.0); });

    m_widgets.command1 = addCommand(QStringLiteral("Command1"), QStringLiteral("Auto OFF"), central);
    m_widgets.command6 = addCommand(QStringLiteral("Command6"), QStringLiteral("&Ustawienia"), central);
    m_widgets.command6->resize(100, kButtonHeight);
    m_widgets.command1->move(0, 8);
    m_widgets.command6->move(0, 8);
}

void MainWindow::buildCardView(QWidget* central) {
    // P2 is the pipeline's working picture; P1 rests at its position.
    m_p2 = new PictureView(QStringLiteral("P2"), m_pictures, Picture::P2, PictureView::Fit::FollowImage,
                           kEmptyCard, central);
    m_p2->move(0, kCardViewTop);
    m_p2->hide();
    m_widgets.p1 = new PictureView(QStringLiteral("P1"), m_pictures, Picture::P1, PictureView::Fit::FollowImage,
                           kEmptyCard, central);
    m_widgets.p1->move(0, kCardViewTop);
    m_widgets.p3 = new PictureView(QStringLiteral("P3"), m_pictures, Picture::P3, PictureView::Fit::Unscaled,
                           QSize(kEmptyCard.width(), kCountStripHeight), central);
    m_widgets.p3->move(0, kCountStripTop);
    m_widgets.image4 = new SmallImage(QStringLiteral("Image4"), SmallImage::Shape::Pointer, m_widgets.p1);
    m_widgets.image4->hide();
    m_widgets.p1->installEventFilter(this);

    m_wPion = new QScrollBar(Qt::Vertical, central);
    m_wPion->setObjectName(QStringLiteral("WPion"));
    m_wPoziom = new QScrollBar(Qt::Horizontal, central);
    m_wPoziom->setObjectName(QStringLiteral("WPoziom"));
    for (QScrollBar* bar : {m_wPion, m_wPoziom}) {
        bar->setRange(0, 0);
        bar->setSingleStep(10);
        bar->setPageStep(100);
    }
    connect(m_wPion, &QScrollBar::valueChanged, this, [this](int v) { m_widgets.p1->move(m_widgets.p1->x(), kCardViewTop - v); });
    connect(m_wPoziom, &QScrollBar::valueChanged, this, [this](int v) {
        m_widgets.p1->move(-v, m_widgets.p1->y());
        m_widgets.p3->move(-v, m_widgets.p3->y());
    });
}

void MainWindow::setCardScale(double scale) {
    m_fitCard = false;
    applyCardScale(scale);
}

void MainWindow::fitCardToWindow() {
    m_fitCard = true;
    const QImage& card = m_pictures.image(Picture::P1);
    if (card.isNull()) return;
    const int w = m_central->width() - m_wPion->sizeHint().width() - 4;
    const int h = m_central->height() - kCardViewTop - m_wPoziom->sizeHint().height() - 4;
    if (w <= 0 || h <= 0) return;
    applyCardScale(qMin(double(w) / card.width(), double(h) / card.height()));
}

void MainWindow::applyCardScale(double scale) {
    scale = qBound(0.1, scale, 4.0);
    m_scaleLabel->setText(QStringLiteral("%1 %").arg(qRound(scale * 100)));
    if (scale == m_cardScale) return;
    m_cardScale = scale;
    m_widgets.p1->setScale(scale);
    m_widgets.p3->setScale(scale);
    m_widgets.p3->resize(m_widgets.p1->width(), kCountStripHeight);
    // The pointer would stand where the mark was; a new choice in the list shows it again.
    m_widgets.image4->hide();
    updateScrollRanges();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_widgets.p1 && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const int steps = wheel->angleDelta().y() / 120;
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (steps != 0) setCardScale(m_cardScale * std::pow(1.25, steps));
        } else {
            // The plain wheel scrolls the card, as its bar does.
            m_wPion->setValue(m_wPion->value() - steps * m_wPion->singleStep() * 3);
        }
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::onCardPictureChanged(Picture p) {
    if (p != Picture::P1) return;
    if (m_fitCard) fitCardToWindow();
    // The count strip keeps the card's width so each count stays above its column.
    m_widgets.p3->resize(m_widgets.p1->width(), kCountStripHeight);
    updateScrollRanges();
}

void MainWindow::updateScrollRanges() {
    m_wPoziom->setMaximum(HorizontalScrollMaximum(m_widgets.p1->width(), m_central->width()));
    m_wPion->setMaximum(VerticalScrollMaximum(m_widgets.p1->height(), m_central->height()));
}

void MainWindow::placeControls() {
    const int w = m_central->width();
    const int h = m_central->height();
    m_widgets.p1->move(m_p2->pos());
    const int barV = m_wPion->sizeHint().width();
    const int barH = m_wPoziom->sizeHint().height();
    m_wPoziom->setGeometry(0, h - barH, w - barV - 3, barH);
    m_wPion->setGeometry(w - barV, 0, barV, h - barH);
    m_widgets.command6->move(w - m_widgets.command6->width() - 20, m_widgets.command6->y());
    m_widgets.command1->move(m_widgets.command6->x() - m_widgets.command1->width() - 3, m_widgets.command1->y());
    m_widgets.optionsPanel->move(w - m_widgets.optionsPanel->width() - 19, kPanelTop);
    m_widgets.listPanel->move(m_widgets.optionsPanel->x() - m_widgets.listPanel->width() - 6, kPanelTop);
    if (m_fitCard) fitCardToWindow();
    updateScrollRanges();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    placeControls();
}

void MainWindow::stepThreshold(int delta) {
    setThresholdCaption(StepThreshold(thresholdCaption(), delta));
    // Another threshold reads the card on screen again; a stored or refused
    // card has nothing left to read.
    m_widgets.command7->setEnabled(!m_nothingToRead && !m_cards->busy());
}

QString MainWindow::thresholdCaption() const { return m_widgets.label2->text(); }
void MainWindow::setThresholdCaption(const QString& caption) { m_widgets.label2->setText(caption); }

bool MainWindow::start() {
    m_run.programFolder = ProgramFolder();
    m_run.autoMode = m_run.entryMode = m_run.deletionMode = false;

    SettingsStore store;
    const StationOptions options = ReadStationOptions(store);
    m_run.initialFolder = options.initialFolder;
    setThresholdCaption(options.thresholdCaption);
    m_widgets.optionsPanel->applyOptions(options);
    restoreGeometry();

    if (const Result<void> checked = CheckDatabaseConfiguration(store, m_run, [this] { show(); }); !checked) {
        ShowStartupRefusal(checked.refusal(), store);
        endProgram(1);
        return false;
    }
    if (!m_databaseStartup(m_run.database)) {
        endProgram(1);
        return false;
    }
    m_started = true;
    return true;
}

void MainWindow::endProgram(int exitCode) {
    qCInfo(lcApp) << "Ending the program, code" << exitCode;
    m_ended = true;
    hide();
    if (m_endProgram) m_endProgram(exitCode);
}

StationOptions MainWindow::currentOptions() const {
    StationOptions o = m_widgets.optionsPanel->options();
    o.thresholdCaption = thresholdCaption();
    o.initialFolder = m_run.initialFolder;
    return o;
}

void MainWindow::closingSave() {
    SettingsStore store;
    WriteStationOptions(store, currentOptions());
    // Kartovo's own key: where the window was and how large, or maximised.
    const QRect g = normalGeometry().isValid() ? normalGeometry() : geometry();
    store.write(QStringLiteral("Start"), kGeometryKey,
                QStringLiteral("%1,%2,%3,%4,%5")
                    .arg(g.x())
                    .arg(g.y())
                    .arg(g.width())
                    .arg(g.height())
                    .arg(isMaximized() ? 1 : 0));
}

void MainWindow::restoreGeometry() {
    SettingsStore store;
    const QStringList parts = store.read(QStringLiteral("Start"), kGeometryKey).split(u',');
    if (parts.size() != 5) return;
    QList<int> v;
    for (const QString& p : parts) {
        bool ok = false;
        v << p.toInt(&ok);
        if (!ok) return;
    }
    QRect g(v[0], v[1], v[2], v[3]);
    // A screen that has become smaller since must still show the whole window.
    const QScreen* screen = QGuiApplication::screenAt(g.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect available = screen->availableGeometry();
        g.setSize(g.size().boundedTo(available.size() - kFrameAllowance).expandedTo(minimumSize()));
        // The position is the frame's; the frame adds to the size.
        const int right = available.right() + 1 - g.width() - kFrameAllowance.width();
        const int bottom = available.bottom() + 1 - g.height() - kFrameAllowance.height();
        g.moveLeft(qBound(available.left(), g.left(), qMax(available.left(), right)));
        g.moveTop(qBound(available.top(), g.top(), qMax(available.top(), bottom)));
    }
    resize(g.size());
    move(g.topLeft());
    if (v[4] == 1) setWindowState(windowState() | Qt::WindowMaximized);
}

QString MainWindow::unsavedCardQuestion() {
    return QStringLiteral("Odczytane pomiary karty nie zostały zapisane.") + kLineBreak +
           QStringLiteral("Zakończyć program i porzucić odczyt ?");
}

bool MainWindow::hasUnsavedCard() const {
    return m_cards->card().DialogAccepted && m_reading.hasReading() && !m_run.autoMode;
}

bool MainWindow::mayEndWithCard() {
    if (!hasUnsavedCard()) return true;
    // The answer NIE is the default: Enter keeps the card.
    return AskQuestion(unsavedCardQuestion(), 2, 128 + kDefaultSecondButton);
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) m_widgets.optionsPanel->showStoredPositions();
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_ended && !mayEndWithCard()) {
        event->ignore();
        return;
    }
    // A card on its way is not wanted any more.
    m_cards->cancel();
    // Only a window that finished its start-up has options worth keeping.
    if (m_started && !m_ended) closingSave();
    m_ended = true;
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (mayEndWithCard()) endProgram(0);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

} // namespace kartovo
