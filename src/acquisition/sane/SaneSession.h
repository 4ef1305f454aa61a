#pragma once

// Private to the scanner: the calls into the scanner library. Only
// SaneSession.cpp sees the library's own header.

#include "acquisition/sane/Scanner.h"

#include <atomic>
#include <functional>
#include <mutex>

namespace kartovo::sane {

// Keeps the scanner library started while alive. The first reference in the
// process starts it, the last one shuts it down.
class LibraryRef {
public:
    LibraryRef();
    ~LibraryRef();
    LibraryRef(const LibraryRef&) = delete;
    LibraryRef& operator=(const LibraryRef&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok = false;
};

// Lets another thread stop a scan: the flag is seen between reads, and the
// open device is told at once so that a read waiting on it returns.
class CancelSwitch {
public:
    void request();
    bool requested() const { return m_requested.load(); }
    void reset() { m_requested = false; }

    // For the scan: the device handle that request() may stop.
    void attach(void* handle);
    void detach();

private:
    std::atomic_bool m_requested{false};
    std::mutex m_mutex;
    void* m_handle = nullptr;
};

QList<ScannerDevice> ListDevices();

// Scans one page from settings.device (the first device when empty). Returns a
// ScanResult; `image` is set only on ScanOk.
int ScanPage(const ScanSettings& settings, QImage& image, const std::function<void(int)>& progress,
             CancelSwitch& cancel);

} // namespace kartovo::sane
