#include "reading/ReadingState.h"

#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/Numbers.h"
#include "reading/CountStrip.h"
#include "reading/MarkReading.h"
#include "reading/Plausibility.h"

#include <QPainter>
#include <cmath>
#include <cstring>

namespace kartovo {

namespace {

constexpr QRgb kMarkRed = 0xffff0000u; // palette 12
constexpr QRgb kWhite = 0xffffffffu;   // palette 15

int WholeNumber(const std::optional<double>& v) { return v ? CLng(*v) : 0; }

// Colour of the picture at a position given in its own (fractional) pixels.
bool IsRedAt(const QImage& picture, float x, float y) {
    const auto px = CLng(x), py = CLng(y);
    if (px < 0 || py < 0 || px >= picture.width() || py >= picture.height()) return false;
    return (picture.pixel(px, py) | 0xff000000u) == kMarkRed;
}

// The scan and a click compute a cell's centre along different float paths,
// so a box may sit one pixel apart; the red of the ring around it goes too.
void WhitenBox(QImage& picture, const QRect& box) {
    {
        QPainter painter(&picture);
        painter.fillRect(box, QColor::fromRgb(kWhite));
    }
    const QRect ring = box.adjusted(-1, -1, 1, 1) & picture.rect();
    for (int y = ring.top(); y <= ring.bottom(); ++y)
        for (int x = ring.left(); x <= ring.right(); ++x)
            if ((picture.pixel(x, y) | 0xff000000u) == kMarkRed) picture.setPixel(x, y, kWhite);
}

// dst := a private 32-bit copy of src, in dst's own memory when it already
// has the size, so a card read again costs no fresh allocation.
void CopyPicture(const QImage& src, QImage& dst) {
    const QImage::Format f = QImage::Format_RGB32;
    if (src.format() != f && src.format() != QImage::Format_ARGB32) {
        dst = src.convertToFormat(f);
        return;
    }
    // A row copy keeps dst's format; a shared dst is detached by its first row
    // (a null one differs in size: a null src was converted above).
    if (dst.size() != src.size() || dst.format() != src.format()) {
        dst = src.copy();
        return;
    }
    const qsizetype bytes = static_cast<qsizetype>(src.width()) * 4;
    for (int y = 0; y < src.height(); ++y) std::memcpy(dst.scanLine(y), src.constScanLine(y), bytes);
}

} // namespace

ReadingState::ReadResult ReadingState::Czytaj(const QImage& cleanGrid, const ParameterRow& parameter,
                                              const GridGeometry& grid, double threshold, QImage& p1, QImage& p3,
                                              bool computeValues, const Hooks& hooks) {
    if (m_running) return {ReadStatus::Busy, {}};
    m_running = true;
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{m_running};

    clear();
    m_parameter = parameter;
    m_grid = grid;

    CopyPicture(cleanGrid, p1);
    SetGridEdges(m_grid, p1);
    RysSiatka(p1, m_parameter, m_grid);
    p3 = BlankCountStrip(p1.width());
    if (const Result<void> readable = UnreadableGridText(m_parameter, p1.size(), threshold); !readable) {
        // The card and its grid stay shown; nothing is read.
        qCWarning(lcReading).noquote() << "Reading refused:" << readable.error().replace(kLineBreak, u' ');
        return {ReadStatus::Refused, readable.error()};
    }

    // Boxes go on P1 as the marks are found; each stays inside its own cell,
    // away from every other cell's test window.
    ScanCallbacks callbacks;
    callbacks.cell = [&](const MarkedCell& cell, float x, float y, bool marked) {
        if (marked) {
            m_table.push_back({cell.x, cell.y, cell.row, QVariant(), cell.section});
            DrawMarkBox(p1, m_grid, x, y);
        }
        if (hooks.cell) hooks.cell();
    };
    callbacks.column = [&](float x, int found) {
        m_centres.push_back(x);
        m_counts.push_back(found);
        if (hooks.progress && m_grid.GridRight != 0)
            hooks.progress(static_cast<int>(CInt(100.0 * x / static_cast<double>(m_grid.GridRight))));
        PrintCount(p3, x, found, m_parameter);
    };
    if (const auto marks = ReadMarks(p1, m_grid, threshold, callbacks); !marks) {
        qCWarning(lcReading) << "Reading refused: more than" << kMaxMeasurements << "marks";
        clear();
        // P1 shows the card and its grid without boxes, P3 stays blank.
        CopyPicture(cleanGrid, p1);
        RysSiatka(p1, m_parameter, m_grid);
        p3 = BlankCountStrip(p1.width());
        return {ReadStatus::TooManyMarks, marks.error()};
    }
    SortujPomiary();
    if (computeValues) this->computeValues();
    m_hasReading = true;
    qCDebug(lcReading) << "Read" << m_table.size() << "marks in" << m_counts.size() << "columns";
    return {};
}

void ReadingState::clear() {
    m_table.clear();
    m_centres.clear();
    m_counts.clear();
    m_hasReading = false;
}

QStringList ReadingState::listLines() const {
    return MeasurementListLines(m_table, m_parameter.Format);
}

QStringList ReadingState::prepareList() {
    SortujPomiary();
    computeValues();
    return listLines();
}

QString ReadingState::entryModeText() { return QStringLiteral("Tryb wprowadzania."); }
QString ReadingState::deletionModeText() { return QStringLiteral("Tryb usuwania."); }

void ReadingState::toggleEntryMode() {
    m_entryMode = !m_entryMode;
    if (m_entryMode) m_deletionMode = false;
}

void ReadingState::toggleDeletionMode() {
    m_deletionMode = !m_deletionMode;
    if (m_deletionMode) m_entryMode = false;
}

QString ReadingState::modeText() const {
    if (m_entryMode) return entryModeText();
    if (m_deletionMode) return deletionModeText();
    return {};
}

ReadingState::ClickResult ReadingState::click(QImage& p1, QImage& p3) {
    ClickResult result;
    if (m_running || !m_hasReading || (!m_entryMode && !m_deletionMode)) return result;

    const float mx = m_mouseX, my = m_mouseY;
    const float cw = m_grid.ColumnWidth, rh = m_grid.RowHeight;
    const float x0 = m_grid.GridOriginX, y0 = m_grid.GridOriginY;
    const bool clickRed = IsRedAt(p1, mx, my);

    // Strict bounds: a click on a grid line hits no cell.
    const int columns = WholeNumber(m_parameter.Gestosc) + 1;
    const int rows = WholeNumber(m_parameter.SkalaSiatki);
    int hitColumn = 0, hitRow = 0;
    for (int c = 1; c <= columns && hitColumn == 0; ++c) {
        if (!(x0 + static_cast<float>(c - 1) * cw < mx && mx < x0 + static_cast<float>(c) * cw)) continue;
        for (int r = 1; r <= rows; ++r) {
            if (y0 - static_cast<float>(r) * rh < my && my < y0 - static_cast<float>(r - 1) * rh) {
                hitColumn = c;
                hitRow = r;
                break;
            }
        }
    }
    if (hitColumn == 0) return result;
    result.hit = true;
    result.section = hitColumn;
    result.row = hitRow - 1;

    const float x = x0 + static_cast<float>(hitColumn - 1) * cw + cw / 2.0f;
    const float y = y0 - static_cast<float>(hitRow - 1) * rh - rh / 2.0f;
    const QRect box = MarkBoxRect(m_grid, x, y);
    if (m_entryMode) {
        if (!IsRedAt(p1, x, y) && m_table.size() < static_cast<std::size_t>(kMaxMeasurements)) {
            m_table.push_back({static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)), hitRow - 1, QVariant(),
                               hitColumn});
            QPainter painter(&p1);
            painter.fillRect(box, QColor::fromRgb(kMarkRed));
            result.change = Change::Added;
        }
    } else if (clickRed && IsRedAt(p1, mx + 1, my) && IsRedAt(p1, mx, my + 1) && IsRedAt(p1, mx - 1, my) &&
               IsRedAt(p1, mx, my - 1)) {
        // The entry of the clicked cell; its centre is matched by cell rather
        // than by pixel, which the scan may have put one pixel apart.
        for (auto it = m_table.begin(); it != m_table.end(); ++it) {
            if (it->section == hitColumn && it->row == hitRow - 1) {
                m_table.erase(it);
                WhitenBox(p1, box);
                result.change = Change::Removed;
                break;
            }
        }
    }
    recount(hitColumn, p3);
    return result;
}

void ReadingState::recount(int section, QImage& p3) {
    if (section < 1) return;
    const std::size_t i = static_cast<std::size_t>(section - 1);
    while (m_counts.size() <= i) {
        m_centres.push_back(m_grid.GridOriginX + (static_cast<float>(m_counts.size()) + 0.5f) * m_grid.ColumnWidth);
        m_counts.push_back(0);
    }
    int n = 0;
    for (const MeasurementEntry& e : m_table)
        if (e.section == section) ++n;
    m_counts[i] = n;
    // Every count is printed afresh, so no trace of a wider old count is left.
    RedrawCountStrip(p3, m_centres, m_counts, m_parameter);
}

std::optional<QPoint> ReadingState::pointerPosition(int line, QSize size) const {
    if (line < 1 || line > MeasurementCount()) return std::nullopt;
    const MeasurementEntry& e = m_table[static_cast<std::size_t>(line - 1)];
    const double left = e.x - size.width() / 2.0 + 1.0;
    const double top = e.y - size.height() / 2.0;
    return QPoint(static_cast<int>(CInt(left)), static_cast<int>(CInt(top)));
}

} // namespace kartovo
