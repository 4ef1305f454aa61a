#pragma once

#include <QMainWindow>

namespace kartovo {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
};

} // namespace kartovo
