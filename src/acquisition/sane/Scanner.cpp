#include "acquisition/sane/Scanner.h"

#include "platform/Logging.h"
#include "acquisition/sane/SaneSession.h"

#include <QMetaObject>
#include <QSaveFile>
#include <QThread>

#include <atomic>
#include <mutex>

namespace kartovo {

QString ScannerDevice::description() const {
    QString text = (vendor + u' ' + model).trimmed();
    if (text.isEmpty()) return name;
    return text + QStringLiteral(" (") + name + u')';
}

bool SaveBitmap24(const QImage& image, const QString& path) {
    if (image.isNull()) return false;
    // Qt writes 24 bits per pixel for pictures without alpha and an indexed
    // file for grey or palette pictures, so make it plain RGB first.
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcPlatform) << "Cannot write" << path << ":" << file.errorString();
        return false;
    }
    if (!rgb.save(&file, "BMP")) {
        file.cancelWriting();
        qCWarning(lcPlatform) << "Cannot write the bitmap" << path;
        return false;
    }
    if (!file.commit()) {
        qCWarning(lcPlatform) << "Cannot write" << path << ":" << file.errorString();
        return false;
    }
    return true;
}

struct Scanner::State {
    sane::CancelSwitch cancel;
    std::atomic_bool running{false};
    std::mutex keepMutex;
    // Keeps the library started for as long as this object lives, so that
    // every listing and scan does not start it anew.
    std::unique_ptr<sane::LibraryRef> keep;

    void keepLibrary() {
        std::lock_guard lock(keepMutex);
        if (keep) return;
        auto ref = std::make_unique<sane::LibraryRef>();
        if (ref->ok()) keep = std::move(ref);
    }
};

namespace {
// Signals leave from the object's own thread, so that receivers see them in
// order and in the thread they expect, whichever thread did the work.
template <typename F>
void emitFromOwnThread(QObject* object, F&& f) {
    if (QThread::currentThread() == object->thread())
        f();
    else
        QMetaObject::invokeMethod(object, std::forward<F>(f), Qt::QueuedConnection);
}
} // namespace

Scanner::Scanner(QObject* parent) : QObject(parent), m_state(std::make_shared<State>()) {
    qRegisterMetaType<kartovo::ScannerDevice>();
    qRegisterMetaType<QList<kartovo::ScannerDevice>>();
}

Scanner::~Scanner() {
    cancel();
    if (m_worker) {
        m_worker->wait();
        delete m_worker;
    }
}

QList<ScannerDevice> Scanner::devices() {
    m_state->keepLibrary();
    return sane::ListDevices();
}

bool Scanner::available() { return !devices().isEmpty(); }

int Scanner::scan(const ScanSettings& settings, QImage& image) {
    // Resetting the cancel switch would swallow a cancel meant for the running scan.
    if (busy()) return ScanBusy;
    m_state->cancel.reset();
    m_state->keepLibrary();
    return sane::ScanPage(settings, image, [this](int percent) {
        emitFromOwnThread(this, [this, percent] { emit progress(percent); });
    }, m_state->cancel);
}

int Scanner::acquireToFile(const QString& path, const ScanSettings& settings) {
    QImage image;
    const int result = scan(settings, image);
    if (result != ScanOk) {
        qCInfo(lcPlatform) << "Scan into" << path << "ended without a picture, result" << result;
        return result;
    }
    if (m_state->cancel.requested()) return ScanCancelled;
    if (!SaveBitmap24(image, path)) return ScanWriteFailed;
    qCInfo(lcPlatform) << "Scanned" << image.width() << "x" << image.height() << "into" << path;
    return ScanOk;
}

bool Scanner::busy() const { return m_state->running.load(); }

bool Scanner::wait(int milliseconds) {
    if (!m_worker) return true;
    return milliseconds < 0 ? m_worker->wait() : m_worker->wait(QDeadlineTimer(milliseconds));
}

void Scanner::cancel() { m_state->cancel.request(); }

bool Scanner::startWorker(std::function<void()> job) {
    if (m_state->running.exchange(true)) return false;
    if (m_worker) {
        // Its job has ended; only the thread's own exit may still be under way.
        m_worker->wait();
        delete m_worker;
        m_worker = nullptr;
    }
    m_worker = QThread::create(std::move(job));
    m_worker->setObjectName(QStringLiteral("Skaner"));
    m_worker->start();
    return true;
}

bool Scanner::listDevicesAsync() {
    return startWorker([this] {
        const QList<ScannerDevice> found = devices();
        m_state->running = false;
        emitFromOwnThread(this, [this, found] { emit devicesListed(found); });
    });
}

bool Scanner::acquireToFileAsync(const QString& path, const ScanSettings& settings) {
    if (busy()) return false;
    m_state->cancel.reset();
    return startWorker([this, path, settings] {
        m_state->keepLibrary();
        QImage image;
        int result = sane::ScanPage(settings, image, [this](int percent) {
            emitFromOwnThread(this, [this, percent] { emit progress(percent); });
        }, m_state->cancel);
        if (result == ScanOk && m_state->cancel.requested()) result = ScanCancelled;
        if (result == ScanOk && !SaveBitmap24(image, path)) result = ScanWriteFailed;
        if (result == ScanOk)
            qCInfo(lcPlatform) << "Scanned" << image.width() << "x" << image.height() << "into" << path;
        else
            qCInfo(lcPlatform) << "Scan into" << path << "ended without a picture, result" << result;
        m_state->running = false;
        emitFromOwnThread(this, [this, result] { emit finished(result); });
    });
}

} // namespace kartovo
