#pragma once

#include "db/Record.h"
#include "dialogs/ProgramChoiceSource.h"

#include <QDialog>
#include <QList>
#include <QStringList>

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kartovo {

// Manual choice of a control program and one of its measurable parameters.
// The program list can be sorted (entering a search box) and searched (typing
// in it) by each identification column; Enter or a double click opens the
// parameters of the selected program, and choosing a parameter ends the
// dialog with both ids. Grid row r (r >= 1) is the r-th row of its list; the
// header is row 0.
class ProgramK : public QDialog {
    Q_OBJECT
public:
    // `captions` are the captions of the program identification fields ID1..IDn.
    ProgramK(ProgramChoiceSource& source, const QStringList& captions, QWidget* parent = nullptr);

    bool DialogAccepted() const { return m_accepted; }
    qint32 ChosenProgramID() const { return m_chosenProgram; }
    qint32 ChosenParameterID() const { return m_chosenParameter; }

    QTableWidget* Grid1() const { return m_grid1; }
    QTableWidget* Grid2() const { return m_grid2; }
    QLineEdit* Text1(int index) const { return m_text1.value(index); }
    int Text1Count() const { return static_cast<int>(m_text1.size()); }
    QPushButton* SSCommand1() const { return m_choose; }
    QPushButton* SSCommand2() const { return m_cancel; }
    QPushButton* SSCommand3() const { return m_back; }

    QString SortColumn() const { return m_sortColumn; }
    bool showsParameters() const { return m_showingParameters; }
    // Grid rows (1-based) of the current program and parameter, 0 when none.
    int ProgramRow() const { return m_programRow + 1; }
    int ParameterRow() const { return m_parameterRow + 1; }
    Record currentProgram() const { return m_programs.value(m_programRow); }
    Record currentParameter() const { return m_parameters.value(m_parameterRow); }

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void WypGrid1();
    void WypGrid2();
    void goToRow(QTableWidget* grid, int row);
    void rowSelected(QTableWidget* grid, int row);
    void placeSearchBoxes();
    void search(int box, const QString& text);
    void sortBy(int box);
    void choose();
    void back();
    int twips(double t) const;

    ProgramChoiceSource& m_source;
    QStringList m_captions;

    QTableWidget* m_grid1 = nullptr;
    QTableWidget* m_grid2 = nullptr;
    QList<QLineEdit*> m_text1;
    QPushButton* m_choose = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_back = nullptr;

    QString m_sortColumn;
    bool m_busy = false;
    bool m_switching = false; // the focus moves between the lists
    bool m_showingParameters = false;
    QList<Record> m_programs;   // row order = Grid1 order
    QList<Record> m_parameters; // row order = Grid2 order
    int m_programRow = -1;
    int m_parameterRow = -1;

    bool m_accepted = false;
    qint32 m_chosenProgram = 0;
    qint32 m_chosenParameter = 0;
};

} // namespace kartovo
