#pragma once

#include <QDate>
#include <QDialog>
#include <QPoint>
#include <QString>
#include <optional>

class QCalendarWidget;
class QLabel;
class QLineEdit;
class QToolButton;

namespace kartovo {

// The pair of arrow buttons beside the day number (an up-down control without
// a text of its own); it only reports steps, the dialog applies them.
class DaySpinner : public QWidget {
    Q_OBJECT
public:
    explicit DaySpinner(QWidget* parent = nullptr);
    int maximum() const { return m_maximum; }
    void setMaximum(int maximum) { m_maximum = maximum; }
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

signals:
    void stepped(int delta);

private:
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    int m_maximum = 366;
};

// "Wskaż date": month calendar with the day of the year beside it, kept in
// step both ways. Double click or Enter on a day chooses it; Esc or the
// window's close box cancels.
class Kalendarz : public QDialog {
    Q_OBJECT
public:
    explicit Kalendarz(QWidget* parent = nullptr);

    // The calendar's value: preset it before showing, read it afterwards.
    void setDate(const QDate& date);
    QDate date() const;
    // True only when a day was chosen.
    bool dialogAccepted() const { return m_accepted; }

    // Left edge 100 twips right of the anchor's right edge, top level with it.
    void placeBeside(const QWidget* anchor);
    void placeAt(const QPoint& globalTopLeft);

    QCalendarWidget* monthView() const { return m_monthView; }
    QLineEdit* dayText() const { return m_dayText; }
    DaySpinner* spinner() const { return m_spinner; }

    static QString dateText(const QDate& date); // "yyyy-mm-dd"

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showDayNumber();
    void updateMaximum();
    void dayTextChanged(const QString& text);
    void step(int delta);
    void choose();

    QCalendarWidget* m_monthView = nullptr; // MonthView1
    QLineEdit* m_dayText = nullptr;         // Text1
    DaySpinner* m_spinner = nullptr;        // UpDown1
    QLabel* m_label = nullptr;              // Label1
    bool m_accepted = false;                // DialogAccepted
    bool m_fromText = false;                // the calendar follows Text1: do not write Text1 back
};

// Opens the calendar beside `anchor`, preset to `current` when valid (else
// today). The chosen date, or nothing when the operator cancelled.
std::optional<QDate> PickDate(QWidget* anchor, const QDate& current);
// The same for a date field's text: the choice as "yyyy-mm-dd".
std::optional<QString> PickDateText(QWidget* anchor, const QString& currentText);

} // namespace kartovo
