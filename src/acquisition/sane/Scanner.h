#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class QThread;

namespace kartovo {

// One scanner as the scanner library reports it.
struct ScannerDevice {
    QString name;   // the library's device name ("test:0"); what the settings store keeps
    QString vendor;
    QString model;
    QString type;

    // "vendor model (name)" for lists shown to the operator.
    QString description() const;
};

// What one scan asks of the device. Options a device lacks are left alone.
struct ScanSettings {
    QString device;               // empty: the first device listed
    int resolution = 150;         // dots per inch
    QString mode = QStringLiteral("Color");
    QString source;               // empty: the device's own choice (flatbed, feeder, ...)
    // Further device options by their library names, set in this order after
    // mode and resolution (special devices, tests).
    QList<QPair<QString, QVariant>> options;
};

// Result of an acquisition: 0 only when a picture was written.
enum ScanResult : int {
    ScanOk = 0,
    ScanNoDevice = 1,      // the library did not start or lists no device
    ScanOpenFailed = 2,    // the device could not be opened
    ScanCancelled = 3,
    ScanDeviceError = 4,   // the device reported an error while scanning
    ScanBadData = 5,       // the frames did not make a picture
    ScanWriteFailed = 6,   // the bitmap file could not be written
    ScanBusy = 7,          // another scan of this object is running
};

// Scanning through the system's scanner library. The library is started once
// and shared by all Scanner objects; it is shut down when the last one goes.
// Listing and scanning run on a worker thread (the *Async calls, which report
// through signals) or on the caller's thread (the blocking calls, for headless
// use). Only one library operation runs at a time in the process.
class Scanner : public QObject {
    Q_OBJECT
public:
    explicit Scanner(QObject* parent = nullptr);
    // Cancels a running scan and waits for the worker.
    ~Scanner() override;

    // Blocking calls.
    QList<ScannerDevice> devices();
    bool available();
    // Scans one page into `image` (24-bit colour, the resolution as its dots per
    // metre). ScanBusy while a worker-thread scan of this object runs.
    int scan(const ScanSettings& settings, QImage& image);
    // Scans one page and writes it as a 24-bit Windows bitmap. The file is
    // replaced only on success; on any failure it is left as it was.
    int acquireToFile(const QString& path, const ScanSettings& settings);

    // Worker-thread calls. False when a previous call of this object still runs.
    bool listDevicesAsync();                                            // -> devicesListed
    bool acquireToFileAsync(const QString& path, const ScanSettings& settings); // -> progress, finished
    bool busy() const;
    // Blocks until the worker has ended; false on timeout.
    bool wait(int milliseconds = -1);

    // Stops the running scan (any thread); it ends with ScanCancelled.
    void cancel();

signals:
    void devicesListed(const QList<kartovo::ScannerDevice>& devices);
    // Percent of the page read so far, as far as the device tells its size.
    void progress(int percent);
    void finished(int result);

private:
    struct State;
    std::shared_ptr<State> m_state;
    QThread* m_worker = nullptr;

    bool startWorker(std::function<void()> job);
};

// Writes a picture as a 24-bit Windows bitmap through a temporary file, so that
// a failed write leaves an existing file untouched.
bool SaveBitmap24(const QImage& image, const QString& path);

} // namespace kartovo

Q_DECLARE_METATYPE(kartovo::ScannerDevice)
