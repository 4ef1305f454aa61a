#include "app/ui/OptionsPanel.h"

#include "app/ui/Controls.h"
#include "platform/Messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace kartovo {

namespace {

template <typename W>
W* named(W* w, const QString& name) {
    w->setObjectName(name);
    return w;
}

QComboBox* sensitivityList(const QString& name, const QStringList& items, QWidget* parent) {
    auto* list = named(new QComboBox(parent), name);
    list->addItems(items);
    list->setEditable(false);
    DiscardTypedKeys(list);
    return list;
}

// The list shows `position`, or nothing when it has no such line; the stored
// value is left as it is until the operator chooses.
void showPosition(QComboBox* list, int position) {
    const QSignalBlocker block(list);
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

// Shows `dpi`, or the default when the list does not offer it.
void setScanResolution(QComboBox* list, int dpi) {
    int index = list->findData(dpi);
    if (index < 0) index = list->findData(kDefaultScanResolution);
    list->setCurrentIndex(index);
}

} // namespace

OptionsPanel::OptionsPanel(QWidget* parent) : QFrame(parent) {
    QVBoxLayout* layout = SetUpPanel(this, QStringLiteral("SSPanel4"), QStringLiteral("Ustawienia"));
    layout->addWidget(buildExchangeFrame());
    layout->addWidget(buildProcessedFrame());
    layout->addWidget(buildLoadedFrame());
    layout->addStretch(1);

    auto* scanRow = new QHBoxLayout;
    auto* resolutionCaption =
        named(new QLabel(QStringLiteral("Rozdzielczość skanowania:"), this), QStringLiteral("Label10"));
    m_resolution = named(new QComboBox(this), QStringLiteral("Combo6"));
    for (int dpi : kScanResolutions) m_resolution->addItem(QStringLiteral("%1 dpi").arg(dpi), dpi);
    m_resolution->setEditable(false);
    DiscardTypedKeys(m_resolution);
    resolutionCaption->setBuddy(m_resolution);
    scanRow->addWidget(resolutionCaption);
    scanRow->addWidget(m_resolution);
    scanRow->addStretch(1);
    layout->addLayout(scanRow);
    setScanResolution(m_resolution, kDefaultScanResolution);

    auto* buttons = new QHBoxLayout;
    m_command14 = named(new QPushButton(QStringLiteral("&Wskaż skaner"), this), QStringLiteral("Command14"));
    m_xpButton1 = named(new QPushButton(QStringLiteral("Zamknij"), this), QStringLiteral("XPButton1"));
    buttons->addWidget(m_command14);
    buttons->addStretch(1);
    buttons->addWidget(m_xpButton1);
    layout->addLayout(buttons);

    connect(m_ssCheck2, &QCheckBox::toggled, this, &OptionsPanel::onConvertToggled);
    connect(m_ssCheck3, &QCheckBox::toggled, this, &OptionsPanel::onNoiseToggled);
    connect(m_xpCheck1, &QCheckBox::toggled, this, &OptionsPanel::onColourFilterToggled);
    connect(m_combo3, &QComboBox::currentIndexChanged, this, [this](int i) { m_conversionSensitivity = i; });
    connect(m_combo4, &QComboBox::currentIndexChanged, this, [this](int i) { m_filterSensitivity = i; });
    connect(m_combo5, &QComboBox::currentIndexChanged, this, [this](int i) { m_rotation = i; });
    for (int i = 0; i < 3; ++i) {
        connect(m_options[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) m_filterColour = i;
        });
        connect(m_sliders[i], &QScrollBar::valueChanged, this, &OptionsPanel::paintPreview);
    }

    // Design state: nothing ticked, so no sensitivity list and no colour settings.
    onConvertToggled(false);
    onNoiseToggled(false);
    onColourFilterToggled(false);
    m_options[0]->setChecked(true);
    showStoredPositions();
    paintPreview();
    InstallEnterClick(this);
}

QWidget* OptionsPanel::buildExchangeFrame() {
    auto* frame = named(new QGroupBox(QStringLiteral("Katalog plików wymiany"), this), QStringLiteral("Frame1"));
    auto* row = new QHBoxLayout(frame);
    m_text1 = named(new QLineEdit(frame), QStringLiteral("Text1"));
    m_image3 = new SmallImage(QStringLiteral("Image3"), SmallImage::Shape::Folder, frame);
    m_image3->setToolTip(QStringLiteral("Wskaż katalog"));
    row->addWidget(m_text1, 1);
    row->addWidget(m_image3);
    return frame;
}

QWidget* OptionsPanel::buildProcessedFrame() {
    auto* frame = named(new QGroupBox(QStringLiteral("Postępowanie z przetwarzanym obrazem"), this),
                        QStringLiteral("Frame2"));
    auto* col = new QVBoxLayout(frame);
    m_ssCheck1 = named(new QCheckBox(QStringLiteral("Pytaj o poprawność identyfikacji karty danych"), frame),
                       QStringLiteral("SSCheck1"));
    m_ssCheck4 = named(new QCheckBox(QStringLiteral("Usuń plik przetworzonego obrazu (tylko AUTO)"), frame),
                       QStringLiteral("SSCheck4"));
    m_ssCheck5 = named(new QCheckBox(QStringLiteral("Przetwarzaj automatycznie"), frame), QStringLiteral("SSCheck5"));
    col->addWidget(m_ssCheck1);
    col->addWidget(m_ssCheck4);
    col->addWidget(m_ssCheck5);
    return frame;
}

QWidget* OptionsPanel::buildLoadedFrame() {
    auto* frame = named(new QGroupBox(QStringLiteral("Postępowanie z załadowanym obrazem"), this),
                        QStringLiteral("Frame3"));
    auto* grid = new QGridLayout(frame);
    const QStringList levels{QStringLiteral("Wysoka"), QStringLiteral("Średnia"), QStringLiteral("Niska")};

    grid->addWidget(named(new QLabel(QStringLiteral("Obróć:"), frame), QStringLiteral("Label9")), 0, 0);
    m_combo5 = sensitivityList(QStringLiteral("Combo5"),
                               {QStringLiteral("Nie obracaj"), QStringLiteral("w Prawo"), QStringLiteral("w Lewo")},
                               frame);
    grid->addWidget(m_combo5, 0, 1, 1, 3);

    m_ssCheck2 = named(new QCheckBox(QStringLiteral("Konwertuj na B&&W"), frame), QStringLiteral("SSCheck2"));
    m_combo3Caption = named(new QLabel(QStringLiteral("Czułość:"), frame), QStringLiteral("Label7"));
    m_combo3 = sensitivityList(QStringLiteral("Combo3"), levels, frame);
    grid->addWidget(m_ssCheck2, 1, 0);
    grid->addWidget(m_combo3Caption, 1, 1);
    grid->addWidget(m_combo3, 1, 2, 1, 2);

    m_ssCheck3 = named(new QCheckBox(QStringLiteral("Filtruj szumy"), frame), QStringLiteral("SSCheck3"));
    m_combo4Caption = named(new QLabel(QStringLiteral("Czułość:"), frame), QStringLiteral("Label8"));
    m_combo4 = sensitivityList(QStringLiteral("Combo4"), levels, frame);
    grid->addWidget(m_ssCheck3, 2, 0);
    grid->addWidget(m_combo4Caption, 2, 1);
    grid->addWidget(m_combo4, 2, 2, 1, 2);

    m_xpCheck1 = named(new QCheckBox(QStringLiteral("Filtr kolorów"), frame), QStringLiteral("XPCheck1"));
    grid->addWidget(m_xpCheck1, 3, 0, 1, 4);

    const QStringList colours{QStringLiteral("Czerwony"), QStringLiteral("Zielony"), QStringLiteral("Niebieski")};
    for (int i = 0; i < 3; ++i) {
        m_options[i] = named(new QRadioButton(colours[i], frame), QStringLiteral("XPOption1"));
        m_options[i]->setProperty("index", i);
        m_sliders[i] = named(new QScrollBar(Qt::Horizontal, frame), QStringLiteral("FlatScrollBar%1").arg(i + 1));
        m_sliders[i]->setRange(0, kSliderMaximum);
        m_sliders[i]->setPageStep(16);
        m_sliders[i]->setMinimumWidth(90);
        m_levels[i] = named(new QLabel(QStringLiteral("0"), frame), QStringLiteral("Label6"));
        m_levels[i]->setProperty("index", i);
        m_levels[i]->setMinimumWidth(24);
        m_levels[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(m_options[i], 4 + i, 0);
        grid->addWidget(m_sliders[i], 4 + i, 1, 1, 2);
        grid->addWidget(m_levels[i], 4 + i, 3);
    }
    m_picture2 = named(new QLabel(frame), QStringLiteral("Picture2"));
    m_picture2->setFixedSize(36, 60);
    m_picture2->setFrameShape(QFrame::Box);
    m_picture2->setAutoFillBackground(true);
    grid->addWidget(m_picture2, 4, 4, 3, 1);
    grid->setColumnStretch(2, 1);
    return frame;
}

void OptionsPanel::onConvertToggled(bool on) {
    m_combo3Caption->setVisible(on);
    m_combo3->setVisible(on);
    if (on) showPosition(m_combo3, m_conversionSensitivity);
    // Black-and-white conversion and the colour filter exclude each other.
    if (on) m_xpCheck1->setChecked(false);
    m_xpCheck1->setVisible(!on);
    fitHeight();
}

void OptionsPanel::onNoiseToggled(bool on) {
    m_combo4Caption->setVisible(on);
    m_combo4->setVisible(on);
    if (on) showPosition(m_combo4, m_filterSensitivity);
    fitHeight();
}

void OptionsPanel::onColourFilterToggled(bool on) {
    for (int i = 0; i < 3; ++i) {
        m_options[i]->setVisible(on);
        m_levels[i]->setVisible(on);
        m_sliders[i]->setVisible(on);
    }
    m_picture2->setVisible(on);
    fitHeight();
}

void OptionsPanel::fitHeight() {
    // The panel grows and shrinks with the controls its check boxes show.
    layout()->activate();
    resize(width(), sizeHint().height());
}

void OptionsPanel::paintPreview() {
    QPalette pal = m_picture2->palette();
    pal.setColor(QPalette::Window, QColor(m_sliders[0]->value(), m_sliders[1]->value(), m_sliders[2]->value()));
    m_picture2->setPalette(pal);
    for (int i = 0; i < 3; ++i) m_levels[i]->setText(QString::number(m_sliders[i]->value()));
}

void OptionsPanel::showStoredPositions() {
    if (m_combo3->isVisibleTo(this)) showPosition(m_combo3, m_conversionSensitivity);
    if (m_combo4->isVisibleTo(this)) showPosition(m_combo4, m_filterSensitivity);
    if (m_combo5->isVisibleTo(this)) showPosition(m_combo5, m_rotation);
}

void OptionsPanel::toggle() {
    if (!isHidden()) {
        if (m_combo3->isVisibleTo(this) && m_combo3->currentIndex() < 0) {
            ShowMessage(QStringLiteral("Nie wskazano czułości konwersji - Popraw !"));
            m_combo3->setFocus();
            return;
        }
        if (m_combo4->isVisibleTo(this) && m_combo4->currentIndex() < 0) {
            ShowMessage(QStringLiteral("Nie wskazano czułości filrowania - Popraw !"));
            m_combo4->setFocus();
            return;
        }
    }
    setVisible(isHidden());
    if (!isHidden()) {
        raise();
        fitHeight();
    }
    showStoredPositions();
    if (!isHidden()) m_command14->setFocus();
}

void OptionsPanel::applyOptions(const StationOptions& o) {
    m_text1->setText(o.exchangeFolder);
    m_ssCheck1->setChecked(o.askConfirmation);
    m_ssCheck4->setChecked(o.deleteProcessedFile);
    m_ssCheck5->setChecked(o.processAutomatically);
    m_ssCheck2->setChecked(o.convertToBW);
    m_ssCheck3->setChecked(o.removeNoise);
    m_conversionSensitivity = o.conversionSensitivity;
    m_filterSensitivity = o.filterSensitivity;
    m_rotation = o.rotation;
    m_xpCheck1->setChecked(o.colourFilter);
    m_filterColour = o.filterColour >= 0 && o.filterColour <= 2 ? o.filterColour : 0;
    m_options[m_filterColour]->setChecked(true);
    m_sliders[0]->setValue(o.filterRed);
    m_sliders[1]->setValue(o.filterGreen);
    m_sliders[2]->setValue(o.filterBlue);
    setScanResolution(m_resolution, o.scanResolution);
    showStoredPositions();
    paintPreview();
}

StationOptions OptionsPanel::options() const {
    StationOptions o;
    o.exchangeFolder = m_text1->text();
    o.askConfirmation = m_ssCheck1->isChecked();
    o.deleteProcessedFile = m_ssCheck4->isChecked();
    o.processAutomatically = m_ssCheck5->isChecked();
    o.convertToBW = m_ssCheck2->isChecked();
    o.removeNoise = m_ssCheck3->isChecked();
    o.colourFilter = m_xpCheck1->isChecked();
    o.filterColour = m_options[0]->isChecked() ? 0 : (m_options[1]->isChecked() ? 1 : 2);
    o.filterRed = m_sliders[0]->value();
    o.filterGreen = m_sliders[1]->value();
    o.filterBlue = m_sliders[2]->value();
    o.conversionSensitivity = m_conversionSensitivity;
    o.filterSensitivity = m_filterSensitivity;
    o.rotation = m_rotation;
    o.scanResolution = scanResolution();
    return o;
}

int OptionsPanel::scanResolution() const {
    const QVariant dpi = m_resolution->currentData();
    return dpi.isValid() ? dpi.toInt() : kDefaultScanResolution;
}

} // namespace kartovo
