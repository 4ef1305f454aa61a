#pragma once

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QWidget;

namespace kartovo {

class ListPanel;
class OptionsPanel;
class PictureView;
class SmallImage;

// The main window's controls that its controllers drive, built and owned by
// the window; named as the objects are.
struct MainWidgets {
    QWidget* ssPanel2 = nullptr;         // the operator's commands
    QPushButton* command1 = nullptr;     // "Auto OFF" / "Auto ON"
    QPushButton* command2 = nullptr;     // "&Skan"
    QPushButton* command4 = nullptr;     // "&Plik"
    QPushButton* command6 = nullptr;     // "&Ustawienia"
    QPushButton* command7 = nullptr;     // "&Czytaj"
    QPushButton* command10 = nullptr;    // "Po&miary"
    QPushButton* command11 = nullptr;    // "&Wskaż"
    QPushButton* command12 = nullptr;    // "&Usuń"
    SmallImage* image1 = nullptr;        // threshold down
    SmallImage* image2 = nullptr;        // threshold up
    SmallImage* image4 = nullptr;        // pointer on the card view
    QLabel* label2 = nullptr;            // threshold
    QLabel* label3 = nullptr;            // status line
    QLabel* label4 = nullptr;            // correction mode
    QProgressBar* progBarXP1 = nullptr;
    PictureView* p1 = nullptr;           // card view
    PictureView* p3 = nullptr;           // count strip
    PictureView* p4 = nullptr;           // code field
    QTimer* timer1 = nullptr;            // automatic mode's looks
    ListPanel* listPanel = nullptr;      // SSPanel1
    OptionsPanel* optionsPanel = nullptr; // SSPanel4
};

} // namespace kartovo
