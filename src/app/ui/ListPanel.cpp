#include "app/ui/ListPanel.h"

#include "app/ui/Controls.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kartovo {

ListPanel::ListPanel(QWidget* parent) : QFrame(parent) {
    QVBoxLayout* layout = SetUpPanel(this, QStringLiteral("SSPanel1"), QStringLiteral("Pomiary"));

    m_list1 = new QListWidget(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    layout->addWidget(m_list1, 1);

    auto* buttons = new QHBoxLayout;
    m_command13 = new QPushButton(QStringLiteral("&Zapisz"), this);
    m_command13->setObjectName(QStringLiteral("Command13"));
    m_ssCommand2 = new QPushButton(QStringLiteral("Zamknij"), this);
    m_ssCommand2->setObjectName(QStringLiteral("SSCommand2"));
    buttons->addWidget(m_command13);
    buttons->addStretch(1);
    buttons->addWidget(m_ssCommand2);
    layout->addLayout(buttons);
}

void ListPanel::toggle() {
    if (isHidden() && m_beforeShow) m_beforeShow();
    setVisible(isHidden());
    if (!isHidden()) {
        raise();
        m_command13->setFocus();
    }
}

} // namespace kartovo
