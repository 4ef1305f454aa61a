#pragma once

#include "app/StationOptions.h"

#include <QFrame>
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace kartovo {

class SmallImage;

// The options panel SSPanel4: exchange folder, handling of the processed card
// and the cleaning of the loaded image. It keeps the three list positions and
// the filter colour up to date; the check boxes and sliders hold their own.
class OptionsPanel : public QFrame {
    Q_OBJECT
public:
    explicit OptionsPanel(QWidget* parent);

    // Shows stored options, in the start-up order: exchange folder, check boxes,
    // list positions, colour filter and its colour, slider levels.
    void applyOptions(const StationOptions& options);
    // The panel's part of the closing save (threshold and initial folder excluded).
    StationOptions options() const;

    int conversionSensitivity() const { return m_conversionSensitivity; }
    int filterSensitivity() const { return m_filterSensitivity; }
    int rotation() const { return m_rotation; }
    int filterColour() const { return m_filterColour; }
    // Dots per inch of the next card scan.
    int scanResolution() const;

    // "&Ustawienia": closes the panel unless a visible sensitivity list has no
    // choice (then says so and focuses it), or opens it.
    void toggle();
    // Each visible list shows its stored position.
    void showStoredPositions();

    QPushButton* scannerButton() const { return m_command14; }
    QComboBox* resolutionList() const { return m_resolution; }
    QPushButton* closeButton() const { return m_xpButton1; }
    SmallImage* folderImage() const { return m_image3; }
    QLineEdit* exchangeFolderField() const { return m_text1; }

private:
    QWidget* buildExchangeFrame();
    QWidget* buildProcessedFrame();
    QWidget* buildLoadedFrame();
    void onConvertToggled(bool on);
    void onNoiseToggled(bool on);
    void onColourFilterToggled(bool on);
    void paintPreview(); // PPaint2
    void fitHeight();

    QLineEdit* m_text1 = nullptr;
    SmallImage* m_image3 = nullptr;
    QCheckBox* m_ssCheck1 = nullptr;
    QCheckBox* m_ssCheck4 = nullptr;
    QCheckBox* m_ssCheck5 = nullptr;
    QCheckBox* m_ssCheck2 = nullptr;
    QCheckBox* m_ssCheck3 = nullptr;
    QCheckBox* m_xpCheck1 = nullptr;
    QComboBox* m_combo3 = nullptr;
    QComboBox* m_combo4 = nullptr;
    QComboBox* m_combo5 = nullptr;
    QLabel* m_combo3Caption = nullptr;
    QLabel* m_combo4Caption = nullptr;
    std::array<QRadioButton*, 3> m_options{};
    std::array<QScrollBar*, 3> m_sliders{};
    std::array<QLabel*, 3> m_levels{};
    QWidget* m_colourBox = nullptr; // options, sliders and preview shown together
    QLabel* m_picture2 = nullptr;
    QComboBox* m_resolution = nullptr;
    QPushButton* m_command14 = nullptr;
    QPushButton* m_xpButton1 = nullptr;

    int m_conversionSensitivity = 0;
    int m_filterSensitivity = 0;
    int m_rotation = 0;
    int m_filterColour = 0;
};

} // namespace kartovo
