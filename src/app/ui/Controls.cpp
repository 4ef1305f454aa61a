#include "app/ui/Controls.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <QFrame>
#include <QVBoxLayout>

namespace kartovo {

namespace {

QPixmap drawShape(SmallImage::Shape shape) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    switch (shape) {
    case SmallImage::Shape::ArrowLeft:
    case SmallImage::Shape::ArrowRight: {
        const bool left = shape == SmallImage::Shape::ArrowLeft;
        QPainterPath path;
        path.moveTo(left ? 3 : 13, 8);
        path.lineTo(left ? 12 : 4, 2);
        path.lineTo(left ? 12 : 4, 14);
        path.closeSubpath();
        p.fillPath(path, QColor(0, 0, 160));
        p.drawPath(path);
        break;
    }
    case SmallImage::Shape::Folder:
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawRect(QRectF(1.5, 2.5, 5, 2));
        break;
    case SmallImage::Shape::Pointer: {
        // It sits on a red mark box: yellow ring and cross, edged in black.
        for (const QPen& pen : {QPen(Qt::black, 4), QPen(QColor(255, 230, 0), 2)}) {
            p.setPen(pen);
            p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
            p.drawLine(QPointF(8, 0.5), QPointF(8, 15.5));
            p.drawLine(QPointF(0.5, 8), QPointF(15.5, 8));
        }
        break;
    }
    }
    return pm;
}

class EnterClickFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                auto* button = qobject_cast<QPushButton*>(watched);
                if (button && button->isEnabled()) {
                    button->click();
                    return true;
                }
            }
        }
        return false;
    }
};

class TypedKeyFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const QString text = static_cast<QKeyEvent*>(event)->text();
        return !text.isEmpty() && text.at(0).isPrint();
    }
};

} // namespace

SmallImage::SmallImage(const QString& objectName, Shape shape, QWidget* parent) : QLabel(parent) {
    setObjectName(objectName);
    setPixmap(drawShape(shape));
    setFixedSize(16, 16);
    setCursor(Qt::PointingHandCursor);
}

void SmallImage::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void InstallEnterClick(QWidget* root) {
    auto* filter = new EnterClickFilter(root);
    for (QPushButton* b : root->findChildren<QPushButton*>()) b->installEventFilter(filter);
}

void DiscardTypedKeys(QComboBox* list) { list->installEventFilter(new TypedKeyFilter(list)); }

QVBoxLayout* SetUpPanel(QFrame* panel, const QString& name, const QString& title) {
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(2);
    panel->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(8, 8, 8, 8);
    auto* caption = new QLabel(title, panel);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    layout->addWidget(caption);
    return layout;
}

} // namespace kartovo
