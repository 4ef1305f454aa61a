#include "dialogs/ui/ProgramK.h"

#include "platform/Messages.h"
#include "platform/NumberFormat.h"
#include "platform/Numbers.h"
#include "platform/Variants.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>

namespace kartovo {

namespace {

constexpr int kMargin = 8;
constexpr int kNumberColumnTwips = 500;
constexpr int kCellMarginTwips = 150;

QTableWidget* makeGrid(const QString& name, QWidget* parent) {
    auto* g = new QTableWidget(parent);
    g->setObjectName(name);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    g->setAutoScroll(false); // the row-selection step decides how to scroll
    g->setWordWrap(false);
    g->setTabKeyNavigation(false);
    g->verticalHeader()->hide();
    g->verticalHeader()->setDefaultSectionSize(g->fontMetrics().height() + 6);
    g->horizontalHeader()->setSectionsClickable(false);
    g->horizontalHeader()->setHighlightSections(false);
    g->horizontalHeader()->setMinimumSectionSize(1);
    g->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return g;
}

QTableWidgetItem* cell(const QString& text, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(align);
    return item;
}

const QString kNoParameters = QStringLiteral("Wskazany program kontroli nie zawiera definicji parametrów mierzalnych.");
const QString kPickAnother = QStringLiteral("Wskaź inny program kontroli !");

} // namespace

ProgramK::ProgramK(ProgramChoiceSource& source, const QStringList& captions, QWidget* parent)
    : QDialog(parent), m_source(source), m_captions(captions) {
    setObjectName(QStringLiteral("ProgramK"));
    setWindowTitle(QStringLiteral("Wybór programu kontroli"));
    setModal(true);

    // Grid2 lies under Grid1 and is only seen while Grid1 is hidden.
    m_grid2 = makeGrid(QStringLiteral("Grid2"), this);
    m_grid2->hide();
    m_grid1 = makeGrid(QStringLiteral("Grid1"), this);

    for (int i = 0; i <= m_captions.size(); ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Text1_%1").arg(i));
        box->installEventFilter(this);
        connect(box, &QLineEdit::textChanged, this, [this, i](const QString& t) { search(i, t); });
        m_text1.append(box);
    }

    m_choose = new QPushButton(QStringLiteral("&Wybierz"), this);
    m_choose->setObjectName(QStringLiteral("SSCommand1"));
    m_cancel = new QPushButton(QStringLiteral("&Anuluj"), this);
    m_cancel->setObjectName(QStringLiteral("SSCommand2"));
    m_back = new QPushButton(QStringLiteral("<<"), this);
    m_back->setObjectName(QStringLiteral("SSCommand3"));
    m_choose->setEnabled(false);
    m_back->hide();
    connect(m_choose, &QPushButton::clicked, this, &ProgramK::choose);
    connect(m_cancel, &QPushButton::clicked, this, &ProgramK::reject);
    connect(m_back, &QPushButton::clicked, this, &ProgramK::back);

    for (QTableWidget* g : {m_grid1, m_grid2}) {
        g->installEventFilter(this);
        connect(g, &QTableWidget::currentCellChanged, this, [this, g](int row, int, int previousRow, int) {
            if (row != previousRow) rowSelected(g, row);
        });
    }
    for (QPushButton* b : {m_choose, m_cancel, m_back}) b->installEventFilter(this);
    connect(m_grid1, &QTableWidget::cellDoubleClicked, this, [this](int, int) { WypGrid2(); });
    connect(m_grid2, &QTableWidget::cellDoubleClicked, this, [this](int, int) { choose(); });
    connect(m_grid1->horizontalScrollBar(), &QScrollBar::valueChanged, this, &ProgramK::placeSearchBoxes);
    connect(m_grid1->horizontalHeader(), &QHeaderView::sectionResized, this, &ProgramK::placeSearchBoxes);

    resize(twips(9600), twips(6300));
    setMinimumSize(twips(4500), twips(3000));
    WypGrid1();
    // The program list has the focus from the start: a search box taking it
    // would reorder the list before the operator did anything.
    m_grid1->setFocus();
}

int ProgramK::twips(double t) const { return qRound(t * logicalDpiX() / 1440.0); }

void ProgramK::WypGrid1() {
    const int n = static_cast<int>(m_captions.size());
    m_busy = true;
    m_grid1->clear();
    m_grid1->setRowCount(0);
    m_grid1->setColumnCount(n + 1);
    m_programs = m_source.programs(m_sortColumn);
    m_programRow = -1;

    const QFontMetrics fm = m_grid1->fontMetrics();
    const QFontMetrics headerFm = m_grid1->horizontalHeader()->fontMetrics();
    QList<int> widths(n + 1, 0);
    m_grid1->setRowCount(static_cast<int>(m_programs.size()));
    for (int r = 0; r < m_programs.size(); ++r) {
        m_grid1->setItem(r, 0, cell(QString::number(r + 1), Qt::AlignCenter));
        for (int i = 1; i <= n; ++i) {
            const QVariant v = m_programs[r].value(QStringLiteral("ID%1").arg(i));
            const QString text = DisplayText(v);
            m_grid1->setItem(r, i, cell(text));
            if (v.isValid() && !v.isNull())
                widths[i] = std::max(widths[i], fm.horizontalAdvance(text) + twips(kCellMarginTwips));
        }
    }
    QStringList headers{QStringLiteral("LP")};
    headers += m_captions;
    m_grid1->setHorizontalHeaderLabels(headers);
    m_grid1->setColumnWidth(0, twips(kNumberColumnTwips));
    for (int i = 1; i <= n; ++i) {
        // A caption is never cut short, even over a column without values.
        const int caption = headerFm.horizontalAdvance(m_captions[i - 1]) + twips(kCellMarginTwips);
        m_grid1->setColumnWidth(i, std::max(widths[i], caption));
    }
    m_busy = false;
    if (!m_programs.isEmpty()) goToRow(m_grid1, 0);
    placeSearchBoxes();
}

void ProgramK::WypGrid2() {
    if (m_showingParameters || m_programRow < 0) return;
    const qint32 programId = CLng(ToNumber(currentProgram().value(QStringLiteral("ID"))));
    const QList<Record> rows = m_source.parameters(programId);
    if (rows.isEmpty()) {
        ShowMessage(kNoParameters + QChar(13) + kPickAnother, 2, 16);
        return;
    }

    m_busy = true;
    m_parameters = rows;
    m_parameterRow = -1;
    const QStringList headers{QStringLiteral("Lp"), QStringLiteral("Nazwa parametru"), QStringLiteral("Nominał"),
                              QStringLiteral("Jednostka")};
    const QFontMetrics fm = m_grid2->fontMetrics();
    const QFontMetrics headerFm = m_grid2->horizontalHeader()->fontMetrics();
    QList<int> widths;
    for (const QString& h : headers) widths.append(headerFm.horizontalAdvance(h));

    m_grid2->clear();
    m_grid2->setColumnCount(4);
    m_grid2->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const Record& p = rows[r];
        const QStringList texts{
            QString::number(r + 1), DisplayText(p.value(QStringLiteral("Nazwa"))),
            FormatNumber(p.value(QStringLiteral("WN")), p.value(QStringLiteral("Format")).toString()),
            DisplayText(p.value(QStringLiteral("Jednostka")))};
        for (int c = 0; c < 4; ++c) {
            const Qt::Alignment align = c == 0   ? Qt::AlignCenter
                                        : c == 2 ? Qt::AlignRight | Qt::AlignVCenter
                                                 : Qt::AlignLeft | Qt::AlignVCenter;
            m_grid2->setItem(r, c, cell(texts[c], align));
            widths[c] = std::max(widths[c], fm.horizontalAdvance(texts[c]));
        }
    }
    m_grid2->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < 4; ++c) m_grid2->setColumnWidth(c, widths[c] + twips(kCellMarginTwips));
    m_busy = false;

    // The focus moves to Grid2 before Grid1 and the boxes go, so that it never
    // passes through a search box (entering one would reorder the programs).
    m_switching = true;
    m_showingParameters = true;
    m_choose->setEnabled(true);
    m_back->show();
    m_grid2->show();
    m_grid2->raise();
    m_grid2->setFocus();
    m_grid1->hide();
    placeSearchBoxes();
    m_switching = false;
    goToRow(m_grid2, 0);
}

void ProgramK::goToRow(QTableWidget* grid, int row) {
    m_busy = true;
    grid->setCurrentCell(row, 0);
    m_busy = false;
    rowSelected(grid, row);
}

void ProgramK::rowSelected(QTableWidget* grid, int row) {
    if (m_busy || row < 0 || row >= grid->rowCount()) return;
    m_busy = true;
    (grid == m_grid1 ? m_programRow : m_parameterRow) = row;
    grid->selectRow(row);
    const QModelIndex index = grid->model()->index(row, 0);
    const QRect r = grid->visualRect(index);
    if (r.top() < 0 || r.bottom() > grid->viewport()->height()) grid->scrollTo(index, QAbstractItemView::PositionAtTop);
    m_busy = false;
}

void ProgramK::placeSearchBoxes() {
    QWidget* viewport = m_grid1->viewport();
    const QPoint origin = viewport->mapTo(this, QPoint(0, 0));
    const int visibleRight = origin.x() + viewport->width();
    const int height = m_text1[0]->sizeHint().height();
    const int top = m_grid1->y() - height;
    for (int i = 0; i < m_text1.size(); ++i) {
        QLineEdit* box = m_text1[i];
        const int pos = m_grid1->columnViewportPosition(i);
        const int x = origin.x() + pos;
        // A box whose column starts left of the visible part is hidden.
        if (m_showingParameters || pos < 0 || x >= visibleRight) {
            box->hide();
            continue;
        }
        box->setGeometry(x, top, std::min(m_grid1->columnWidth(i), visibleRight - x), height);
        box->show();
    }
}

void ProgramK::sortBy(int box) {
    if (box < 1 || box > m_captions.size() || m_switching) return; // box 0 has no column behind it
    m_sortColumn = QStringLiteral("ID%1").arg(box);
    WypGrid1();
}

void ProgramK::search(int box, const QString& text) {
    if (box < 1 || box > m_captions.size() || m_showingParameters) return;
    // Compared as text, so a quote or a wildcard character is just a character.
    const int row = FindFirstStartingWith(m_programs, QStringLiteral("ID%1").arg(box), text);
    if (row >= 0) goToRow(m_grid1, row);
}

void ProgramK::choose() {
    if (!m_showingParameters || m_programRow < 0 || m_parameterRow < 0) return;
    m_accepted = true;
    m_chosenProgram = CLng(ToNumber(currentProgram().value(QStringLiteral("ID"))));
    m_chosenParameter = CLng(ToNumber(currentParameter().value(QStringLiteral("ID"))));
    accept();
}

void ProgramK::back() {
    if (!m_showingParameters) return;
    m_switching = true;
    m_showingParameters = false;
    m_grid1->show();
    m_grid1->raise();
    m_grid1->setFocus();
    m_grid2->hide();
    m_choose->setEnabled(false);
    m_back->hide();
    placeSearchBoxes();
    m_switching = false;
}

void ProgramK::reject() {
    m_accepted = false;
    QDialog::reject();
}

bool ProgramK::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        const int box = static_cast<int>(m_text1.indexOf(qobject_cast<QLineEdit*>(watched)));
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Coming back to the window (after a message) is not entering the box.
        if (box >= 0 && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) sortBy(box);
        return false;
    }
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);

    const auto* key = static_cast<QKeyEvent*>(event);
    QTableWidget* grid = m_showingParameters ? m_grid2 : m_grid1;
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const int row = grid->currentRow() + (key->key() == Qt::Key_Up ? -1 : 1);
        if (grid->currentRow() >= 0 && row >= 0 && row < grid->rowCount()) goToRow(grid, row);
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (qobject_cast<QPushButton*>(watched)) return false; // the button clicks itself
        if (m_showingParameters)
            choose();
        else
            WypGrid2();
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    default:
        return false;
    }
}

void ProgramK::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int boxHeight = m_text1[0]->sizeHint().height();
    const int buttonHeight = m_choose->sizeHint().height();
    const int buttonWidth = std::max(m_choose->sizeHint().width(), twips(1300));
    const int gridTop = kMargin + boxHeight;
    const int buttonTop = height() - kMargin - buttonHeight;
    const QRect gridRect(kMargin, gridTop, width() - 2 * kMargin, buttonTop - kMargin - gridTop);
    m_grid1->setGeometry(gridRect);
    m_grid2->setGeometry(gridRect);
    m_cancel->setGeometry(width() - kMargin - buttonWidth, buttonTop, buttonWidth, buttonHeight);
    m_choose->setGeometry(m_cancel->x() - kMargin - buttonWidth, buttonTop, buttonWidth, buttonHeight);
    m_back->setGeometry(kMargin, buttonTop, std::max(m_back->sizeHint().width(), twips(700)), buttonHeight);
    placeSearchBoxes();
}

void ProgramK::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    placeSearchBoxes();
    // The grid's viewport gets its final size with the first layout pass.
    QTimer::singleShot(0, this, &ProgramK::placeSearchBoxes);
}

} // namespace kartovo
