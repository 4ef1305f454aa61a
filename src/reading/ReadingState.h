#pragma once

#include "db/ParameterRow.h"
#include "reading/GridGeometry.h"
#include "reading/Measurements.h"

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace kartovo {

// What a reading starts from: the clean grid image (the card's processed
// image file), the parameter row and the grid's value range.
struct ReadingInput {
    QImage cleanGrid;
    ParameterRow parameter;
    GridGeometry grid;
};

// The marks of the current card: the reading of the grid ("&Czytaj"), the
// measurement table, the per-column counts and the manual correction. Holds
// no widgets; the pictures P1 (card) and P3 (count strip) are passed in.
class ReadingState {
public:
    struct Hooks {
        std::function<void(int percent)> progress; // once per column
        std::function<void()> cell;                // after every cell
    };
    enum class ReadStatus { Done, Busy, TooManyMarks, Refused };
    struct ReadResult {
        ReadStatus status = ReadStatus::Done;
        QString message; // for TooManyMarks and Refused
        bool done() const { return status == ReadStatus::Done; }
    };

    // "&Czytaj". P1 := the clean grid image (every earlier drawing gone), P3
    // := a blank strip as wide as P1, the grid drawn again, every cell tested
    // column by column (bottom row first): a red box on each mark and each
    // column's count on P3. The table is then sorted; values are computed
    // only with `computeValues` (automatic mode, or the list is shown).
    // `grid` holds the value range; the edges follow the picture. Refused
    // while a reading runs (Busy, nothing touched), when the grid cannot be
    // read (Refused with UnreadableGridText: a threshold of 0 or less, a
    // missing or absurd Gestosc/SkalaSiatki; the grid is drawn, nothing read)
    // and when the card holds more than kMaxMeasurements marks (the table is
    // left empty).
    ReadResult Czytaj(const QImage& cleanGrid, const ParameterRow& parameter, const GridGeometry& grid, double threshold,
                      QImage& p1, QImage& p3, bool computeValues, const Hooks& hooks = {});
    bool running() const { return m_running; }
    // A reading finished and its table stands (until the next reading or clear()).
    bool hasReading() const { return m_hasReading; }
    // Forgets the card (a new card is being processed).
    void clear();

    const MeasurementTable& measurements() const { return m_table; }
    int MeasurementCount() const { return static_cast<int>(m_table.size()); }
    const GridGeometry& grid() const { return m_grid; }
    const ParameterRow& parameter() const { return m_parameter; }
    // Count of each column as last printed, column 1 first.
    const std::vector<int>& columnCounts() const { return m_counts; }

    void SortujPomiary() { kartovo::SortujPomiary(m_table); }
    void computeValues() { ComputeValues(m_table, m_parameter, m_grid); }
    // Header and one line per entry, values as they stand.
    QStringList listLines() const;
    // Before the list is shown: sorted, values recomputed, lines.
    QStringList prepareList();

    // Correction modes: never both on.
    bool entryMode() const { return m_entryMode; }
    bool deletionMode() const { return m_deletionMode; }
    void toggleEntryMode();
    void toggleDeletionMode();
    // Label4's text for the modes.
    QString modeText() const;
    static QString entryModeText();
    static QString deletionModeText();

    void setMousePosition(float x, float y) {
        m_mouseX = x;
        m_mouseY = y;
    }
    float mouseX() const { return m_mouseX; }
    float mouseY() const { return m_mouseY; }

    enum class Change { None, Added, Removed };
    struct ClickResult {
        bool hit = false;   // a cell was hit
        int section = 0;    // the hit cell (column 1 = leftmost, row 0 = bottom)
        int row = 0;
        Change change = Change::None;
    };
    // A click on P1 at the last mouse position. In entry mode an unmarked cell
    // gets an entry and a red box; in deletion mode a click inside a red box
    // removes the cell's entry and whitens the box. The hit column's count is
    // printed again. Nothing happens without a mode, before a reading, or
    // while a reading runs.
    ClickResult click(QImage& p1, QImage& p3);

    // Top-left of a pointer picture of `size` centred on the mark of list
    // line `line` (line 0 is the header); nothing for the header or a line
    // without an entry.
    std::optional<QPoint> pointerPosition(int line, QSize size) const;

private:
    void recount(int section, QImage& p3);

    MeasurementTable m_table;
    GridGeometry m_grid;
    ParameterRow m_parameter;
    std::vector<float> m_centres;
    std::vector<int> m_counts;
    bool m_running = false;
    bool m_hasReading = false;
    bool m_entryMode = false;
    bool m_deletionMode = false;
    float m_mouseX = 0.0f;
    float m_mouseY = 0.0f;
};

} // namespace kartovo
