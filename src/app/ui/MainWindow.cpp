#include "app/ui/MainWindow.h"

namespace kartovo {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Kartovo"));
    setWindowTitle(QStringLiteral("Kartovo"));
}

} // namespace kartovo
