#pragma once

#include <QString>
#include <functional>

namespace kartovo {

// Lines of a message are separated by a carriage return.
inline constexpr QChar kLineBreak = QChar(13);
inline const QString kDefaultTitle = QStringLiteral("UWAGA !!!");

// One request to the message window, after the defaults have been applied.
struct MessageRequest {
    QString text;
    int alignment = 2; // 0 left, 1 right, 2 centred
    int style = 16;
    QString title;
    bool smallFont = false;
    int fontSize = 0;  // questions only; > 0 sets the size in points
    bool question = false;
};

// Whoever shows the requests: the message window in the program, a recorder in
// tests, nothing when headless. Returns the answer (true = "TAK"/"&OK" chosen).
using MessagePresenter = std::function<bool(const MessageRequest&)>;

// Installs the presenter and returns the previous one.
MessagePresenter SetMessagePresenter(MessagePresenter presenter);

// Every message and question is also written to standard error as one line:
// the title, then the text with its line breaks shown as " / ".
QString MessageLogLine(const MessageRequest& request);

// Style and title are in-out: 0 / empty are replaced by the defaults
// (16 and "UWAGA !!!" for messages, 128 for questions).
void ShowMessage(const QString& text, int alignment, int& style, QString& title, bool smallFont = false);
void ShowMessage(const QString& text, int alignment = 2, int style = 16, const QString& title = {});
bool AskQuestion(const QString& text, int alignment, int& style, QString& title, bool smallFont = false,
                 int fontSize = 0);
bool AskQuestion(const QString& text, int alignment = 2, int style = 16, const QString& title = {});

// Result of the last window: false before each window opens, true only by "TAK"/"&OK".
bool QuestionAnswer();

// Splits a long one-line text into one sentence per line. A full stop directly
// followed by a non-blank character (a decimal number, "np.x") is not a break.
QString BreakSentences(const QString& text);

// Text with its line breaks (CR, LF or CRLF) shown as " / ".
QString JoinLines(const QString& text);

} // namespace kartovo
