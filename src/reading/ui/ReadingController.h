#pragma once

#include "reading/ReadingState.h"

#include <QObject>
#include <QPointer>
#include <functional>

class QAbstractButton;
class QLabel;
class QListWidget;
class QProgressBar;
class QWidget;

namespace kartovo {

// The controls the reading drives, given by the window that owns them;
// missing ones (null) are skipped.
struct ReadingWidgets {
    QAbstractButton* command7 = nullptr;   // "&Czytaj"
    QAbstractButton* command10 = nullptr;  // "Po&miary"
    QAbstractButton* command11 = nullptr;  // "&Wskaż"
    QAbstractButton* command12 = nullptr;  // "&Usuń"
    QAbstractButton* command13 = nullptr;  // "&Zapisz" of the list panel
    QAbstractButton* ssCommand2 = nullptr; // the list panel's close button
    QLabel* label2 = nullptr;              // threshold
    QLabel* label3 = nullptr;              // status line
    QLabel* label4 = nullptr;              // correction mode
    QWidget* ssPanel1 = nullptr;           // the list panel
    QListWidget* list1 = nullptr;
    QProgressBar* progBarXP1 = nullptr;
    QWidget* p1 = nullptr;                 // card view
    QWidget* p3 = nullptr;                 // count strip
    QWidget* image4 = nullptr;             // pointer on the card view
};

// Connects the reading of marks and its correction to the controls. The
// pictures live with the caller; the controller draws on them and reports
// the change.
class ReadingController : public QObject {
    Q_OBJECT
public:
    ReadingController(const ReadingWidgets& widgets, ReadingState& state, QImage& p1, QImage& p3,
                      QObject* parent = nullptr);

    // The card to read; without it "&Czytaj" does nothing.
    void setInput(std::function<ReadingInput()> input) { m_input = std::move(input); }
    // Automatic mode: the reading computes the values and leaves the buttons.
    void setAutoMode(std::function<bool()> autoMode) { m_autoMode = std::move(autoMode); }
    // The threshold fraction; by default the caption of Label2 ("20%" -> 0.2).
    void setThreshold(std::function<double()> threshold) { m_threshold = std::move(threshold); }
    // Called after P1 and/or P3 were drawn on; by default the views repaint.
    void setPicturesChanged(std::function<void()> changed) { m_picturesChanged = std::move(changed); }
    // Screen pixels of P1 per card pixel when the card view is scaled; clicks
    // are mapped back to the card's own pixels.
    void setViewScale(std::function<double()> scale) { m_viewScale = std::move(scale); }

    ReadingState& state() { return m_state; }

    // "&Czytaj". True when the card was read (false: refused, busy or no card).
    bool Command7Click();
    // "Po&miary" (and SSCommand2): shows or hides the list.
    void Command10Click();
    // "&Wskaż" and "&Usuń".
    void Command11Click();
    void Command12Click();
    // The correction at the last mouse position over P1.
    ReadingState::ClickResult P1Click();
    // Image4 on the mark of list line `line`, hidden for the header or none.
    void List1Selected(int line);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void notifyPictures();
    void fillList(const QStringList& lines);
    bool listVisible() const;
    double viewScale() const;

    ReadingState& m_state;
    QImage& m_p1;
    QImage& m_p3;
    std::function<ReadingInput()> m_input;
    std::function<bool()> m_autoMode;
    std::function<double()> m_threshold;
    std::function<void()> m_picturesChanged;
    std::function<double()> m_viewScale;

    QPointer<QAbstractButton> m_command7, m_command10, m_command11, m_command12, m_command13, m_ssCommand2;
    QPointer<QLabel> m_label2, m_label3, m_label4;
    QPointer<QWidget> m_panel, m_p1View, m_p3View, m_image4;
    QPointer<QListWidget> m_list1;
    QPointer<QProgressBar> m_progress;
};

} // namespace kartovo
