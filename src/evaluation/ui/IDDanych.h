#pragma once

#include "db/BaseSettings.h"
#include "db/Record.h"
#include "evaluation/CardSaver.h"
#include "evaluation/IdentificationCheck.h"
#include "evaluation/SampleRows.h"

#include <QDialog>
#include <QLabel>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace kartovo {

class DbConnection;
class IdentificationListSource;

// A caption that acts on a click (the quick times beside the time field).
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// "Identyfikacja danych pomiarowych": date, time, up to ten descriptive
// fields and the notes of the samples about to be stored. Control arrays are
// named with the index after an underscore ("Label2_0", "Text4_3").
// "&Zapisz" runs the checks and hides the window only when they pass; "&Anuluj",
// Esc and the close box cancel.
class IDDanych : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFieldCount = 10;

    // Fills the descriptive fields 1 .. min(DataIdentificationCount, 10) from
    // `lists`; the notes field appears when NazwaOp is set.
    IDDanych(const BaseSettings& base, const QVariant& programId, IdentificationListSource& lists,
             QWidget* parent = nullptr);

    bool dialogAccepted() const { return m_accepted; }
    // Lists that could not be read (dictionary fields), one line each; the
    // caller shows them to the operator.
    const QStringList& listErrors() const { return m_listErrors; }

    // The confirmed entries as the rows take them: date as "yyyy-mm-dd", time,
    // descriptive texts as typed, notes (empty when the field is hidden).
    SampleIdentification identification() const;
    IdentificationEntries entries() const;

    QLineEdit* dateField() const { return m_text2; }
    QLineEdit* timeField() const { return m_text3; }
    QToolButton* calendarButton() const { return m_image1; }
    ClickLabel* quickTime(int i) const { return m_label2[i]; }
    QLabel* fieldCaption(int i) const { return m_label4[i - 1]; } // 1-based
    QComboBox* field(int i) const { return m_text4[i - 1]; }      // 1-based
    QLabel* notesCaption() const { return m_label3[2]; }
    QPlainTextEdit* notesField() const { return m_text8; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }
    int fieldCount() const { return m_count; }

public slots:
    void save();   // "&Zapisz"
    void cancel(); // "&Anuluj"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void buildControls();
    void fillFields(const BaseSettings& base, const QVariant& programId, IdentificationListSource& lists);
    void pickDate();
    void focusOn(const IdentificationVerdict& verdict);

    QLineEdit* m_text2 = nullptr;
    QLineEdit* m_text3 = nullptr;
    QToolButton* m_image1 = nullptr;
    std::array<ClickLabel*, 3> m_label2{};
    std::array<QLabel*, 3> m_label3{};
    std::array<QLabel*, kFieldCount> m_label4{};
    std::array<QComboBox*, kFieldCount> m_text4{};
    std::array<bool, kFieldCount> m_free{};
    QPlainTextEdit* m_text8 = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
    std::array<QLabel*, 2> m_label1{}; // Label1(7), Label1(8)
    int m_count = 0;
    bool m_notesShown = false;
    bool m_notesRequired = false;
    bool m_accepted = false;
    QStringList m_listErrors;
};

// What the save of the main window hands over for one card.
struct SaveContext {
    QList<MeasurementValue> measurements;
    ParameterRow parameter; // CardParameter
    Record program;   // ControlProgram
    BaseSettings base;
    // The card file's content hash and name, recorded with the rows; and the
    // operator's yes to storing a card whose content was stored before.
    QByteArray cardHash;
    QString cardName;
    bool storeAgain = false;
};

// The manual save: asks for the identification, stores the card and tells
// whether the main window is to be made ready for the next card (after a
// store, or for a card that stores nothing). A cancel leaves the card as it
// was; a refused or failed store is shown to the operator (and its text put in
// `error`), and the card stays so that it can be saved again. `result`, when
// given, receives the store's outcome (rows stored).
bool RunManualSave(QWidget* parent, DbConnection& conn, const SaveContext& context, QString* error = nullptr,
                   SaveResult* result = nullptr);

} // namespace kartovo
