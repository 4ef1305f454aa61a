#include "platform/Messages.h"

#include <QStringList>
#include <cstdio>

namespace kartovo {

namespace {
MessagePresenter& presenter() {
    static MessagePresenter p;
    return p;
}
bool g_questionAnswer = false;

bool present(MessageRequest request) {
    g_questionAnswer = false;
    const QByteArray line = MessageLogLine(request).toUtf8();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
    if (presenter()) g_questionAnswer = presenter()(request);
    return g_questionAnswer;
}
} // namespace

MessagePresenter SetMessagePresenter(MessagePresenter p) {
    MessagePresenter old = std::move(presenter());
    presenter() = std::move(p);
    return old;
}

QString JoinLines(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
    t.replace(QChar(10), QChar(13));
    return t.split(QChar(13)).join(QStringLiteral(" / "));
}

QString MessageLogLine(const MessageRequest& r) {
    return (r.question ? QStringLiteral("[pytanie] ") : QStringLiteral("[komunikat] ")) + r.title +
           QStringLiteral(": ") + JoinLines(r.text);
}

void ShowMessage(const QString& text, int alignment, int& style, QString& title, bool smallFont) {
    if (style == 0) style = 16;
    if (title.isEmpty()) title = kDefaultTitle;
    present({text, alignment, style, title, smallFont, 0, false});
}

void ShowMessage(const QString& text, int alignment, int style, const QString& title) {
    QString t = title;
    ShowMessage(text, alignment, style, t, false);
}

bool AskQuestion(const QString& text, int alignment, int& style, QString& title, bool smallFont,
                 int fontSize) {
    if (style == 0) style = 128;
    if (title.isEmpty()) title = kDefaultTitle;
    return present({text, alignment, style, title, smallFont, fontSize, true});
}

bool AskQuestion(const QString& text, int alignment, int style, const QString& title) {
    QString t = title;
    return AskQuestion(text, alignment, style, t, false, 0);
}

bool QuestionAnswer() { return g_questionAnswer; }

QString BreakSentences(const QString& text) {
    QString rest = text.trimmed();
    QString result;
    while (!rest.isEmpty()) {
        // The first full stop that ends a sentence: one at the end or before a blank.
        int stop = -1;
        for (int i = rest.indexOf(u'.'); i >= 0; i = rest.indexOf(u'.', i + 1)) {
            if (i + 1 >= rest.size() || rest[i + 1].isSpace()) {
                stop = i;
                break;
            }
        }
        if (stop < 0) {
            result += rest;
            break;
        }
        int end = stop + 1;
        if (end < rest.size() && rest[end] == u' ') ++end;
        result += rest.left(end);
        result += QChar(13);
        rest = rest.mid(stop + 1).trimmed();
    }
    return result;
}

} // namespace kartovo
