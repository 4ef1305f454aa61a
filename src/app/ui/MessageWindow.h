#pragma once

#include "platform/Messages.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace kartovo {

// Added to a question's style: "NIE" is the default answer (Enter keeps
// things as they are).
inline constexpr int kDefaultSecondButton = 256;

// KomUwagaFrm: the program's own message and question window. It sizes itself
// to its text, breaks an over-long one-line text into sentences, beeps, is
// modal and centred on the screen.
class MessageWindow : public QDialog {
    Q_OBJECT
public:
    explicit MessageWindow(const MessageRequest& request, QWidget* parent = nullptr);

    // True only when "&OK" / "TAK" closed the window.
    bool answer() const { return m_answer; }
    // The text as laid out, lines separated by carriage returns.
    QString shownText() const { return m_text; }
    // Twips (1/1440 inch) to pixels at the window's logical resolution.
    int twips(int t) const;

    // Shows a request modally and returns the answer.
    static bool present(const MessageRequest& request);
    // Makes every ShowMessage/AskQuestion of the program use this window.
    static void install();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutFor(const MessageRequest& request);
    void setLabelText(const QString& text);
    void centreOnScreen();
    void choose(bool yes);

    QLabel* m_image1 = nullptr;
    QLabel* m_label1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QString m_text;
    bool m_answer = false;
    int m_lastFocus = 0; // 1 Command1, 2 Command2, 0 none yet
};

} // namespace kartovo
