#pragma once

#include <QFrame>
#include <functional>

class QListWidget;
class QPushButton;

namespace kartovo {

// The measurement list panel SSPanel1: List1, "&Zapisz" (Command13) and the
// close button SSCommand2.
class ListPanel : public QFrame {
    Q_OBJECT
public:
    explicit ListPanel(QWidget* parent);

    QListWidget* list() const { return m_list1; }
    QPushButton* saveButton() const { return m_command13; }
    QPushButton* closeButton() const { return m_ssCommand2; }

    // Runs before the panel is shown, to fill the list.
    void setBeforeShow(std::function<void()> fill) { m_beforeShow = std::move(fill); }
    // Shows or hides the panel; once shown, "&Zapisz" has the focus.
    void toggle();

private:
    QListWidget* m_list1 = nullptr;
    QPushButton* m_command13 = nullptr;
    QPushButton* m_ssCommand2 = nullptr;
    std::function<void()> m_beforeShow;
};

} // namespace kartovo
