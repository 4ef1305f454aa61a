#pragma once

// Modal windows answered by the test, messages recorded instead of shown, files read whole.
#include "platform/Messages.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <functional>
#include <memory>
#include <ostream>
#include <sys/resource.h>
#include <utility>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace kartovo::testing {

// Runs `act` on the modal window once it is shown, as long as the returned timer lives.
[[nodiscard]] inline std::unique_ptr<QTimer> WhenModalShown(std::function<void(QWidget*)> act) {
    auto timer = std::make_unique<QTimer>();
    QTimer* t = timer.get();
    QObject::connect(t, &QTimer::timeout, [t, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            t->stop();
            act(modal);
        }
    });
    t->start(20);
    return timer;
}

// Every message and question recorded while it lives, each question answered with `answer`.
class MessageRecorder {
public:
    MessageRecorder() {
        m_previous = SetMessagePresenter([this](const MessageRequest& r) {
            requests.push_back(r);
            return answer;
        });
    }
    ~MessageRecorder() { SetMessagePresenter(m_previous); }
    Q_DISABLE_COPY(MessageRecorder)

    QStringList texts(bool questions) const {
        QStringList out;
        for (const MessageRequest& r : requests)
            if (r.question == questions) out << r.text;
        return out;
    }

    std::vector<MessageRequest> requests;
    bool answer = false;

private:
    MessagePresenter m_previous;
};

// Waits on the event loop until `done` holds (work handed to other threads).
inline bool WaitUntil(const std::function<bool()>& done, int ms = 30000) { return QTest::qWaitFor(done, ms); }

// The whole file, or nothing when it cannot be read.
inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// `write` run under a file size limit of `bytes` (a full disk, even for root); whether the limit was set, and
// what `write` returned.
template <typename Write> auto UnderFileSizeLimit(rlim_t bytes, Write write) {
    rlimit was{}, small{bytes, bytes};
    const bool limited = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::getrlimit(RLIMIT_FSIZE, &was) == 0 &&
                         (small.rlim_max = was.rlim_max, ::setrlimit(RLIMIT_FSIZE, &small) == 0);
    auto result = write();
    if (limited) ::setrlimit(RLIMIT_FSIZE, &was);
    return std::pair(limited, result);
}

// A 32-bit picture of one colour.
inline QImage Filled(int w, int h, const QColor& colour = Qt::white) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

} // namespace kartovo::testing
