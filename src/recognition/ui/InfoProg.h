#pragma once

#include "db/Record.h"

#include <QColor>
#include <QDialog>
#include <QList>
#include <QStringList>

class QPushButton;

namespace kartovo {

// One text drawn on the window, positions in twips.
struct InfoProgText {
    QString text;
    int x = 0;
    int y = 0;
    int alignment = 0; // as PrintAt
    bool bold = false;
    int pointSize = 0; // 0: the window's font size
    QColor color = Qt::black;
};

struct InfoProgLayout {
    QList<InfoProgText> texts;
    int buttonTop = 0;
    int width = 0;
    int height = 0;
};

// Asks the operator to confirm the control program and parameter read from a
// card. TAK (or Enter) accepts, NIE (or Esc, or closing the window) refuses.
class InfoProg : public QDialog {
    Q_OBJECT
public:
    // `captions` are the captions of the program identification fields ID1..IDn.
    InfoProg(const Record& program, const Record& parameter, const QStringList& captions,
             QWidget* parent = nullptr);

    bool DialogAccepted() const { return m_accepted; }

    // The drawn texts, the buttons' top and the window's size, in twips.
    const InfoProgLayout& infoLayout() const { return m_layout; }

    // The parameter line: name, nominal value in the parameter's format, unit.
    static QString parameterLine(const Record& parameter);

    QPushButton* yesButton() const { return m_yes; }
    QPushButton* noButton() const { return m_no; }

public slots:
    void accept() override;
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void computeLayout(const Record& program, const Record& parameter, const QStringList& captions);
    QFont fontFor(const InfoProgText& t) const;
    double textTwips(const InfoProgText& t) const;

    InfoProgLayout m_layout;
    QPushButton* m_yes = nullptr;
    QPushButton* m_no = nullptr;
    bool m_accepted = false;
};

} // namespace kartovo
