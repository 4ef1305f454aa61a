#pragma once

#include <QLabel>
#include <QObject>

class QComboBox;
class QFrame;
class QVBoxLayout;

namespace kartovo {

// A small clickable picture (threshold arrows, folder choice, list pointer).
class SmallImage : public QLabel {
    Q_OBJECT
public:
    enum class Shape { ArrowLeft, ArrowRight, Folder, Pointer };
    SmallImage(const QString& objectName, Shape shape, QWidget* parent);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Every button of the program runs its click action on Enter while it has the
// focus; this makes it so for all push buttons under `root`.
void InstallEnterClick(QWidget* root);

// The lists can only be chosen from: typed characters are thrown away, while
// arrows, Tab and Esc keep their usual meaning.
void DiscardTypedKeys(QComboBox* list);

// Makes `panel` a raised panel named `name` with a bold `title` on top; the
// caller adds the rest to the returned layout.
QVBoxLayout* SetUpPanel(QFrame* panel, const QString& name, const QString& title);

} // namespace kartovo
