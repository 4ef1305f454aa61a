#include "acquisition/sane/SaneSession.h"

#include "platform/Logging.h"
#include "acquisition/sane/ScanFrames.h"

#include <sane/sane.h>

#include <QThread>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace kartovo::sane {

namespace {

std::mutex& libraryMutex() {
    static std::mutex m;
    return m;
}
int& libraryRefs() {
    static int refs = 0;
    return refs;
}

// The library is not safe for concurrent calls: one listing or scan at a time.
std::mutex& operationMutex() {
    static std::mutex m;
    return m;
}

// A page larger than this is refused rather than exhausting memory (a hand
// scanner that never ends, a device reporting nonsense).
constexpr qint64 kMaxPageBytes = qint64(1) << 30;

QString statusText(SANE_Status status) { return QString::fromUtf8(sane_strstatus(status)); }

QString text(SANE_String_Const s) { return s ? QString::fromUtf8(s) : QString(); }

int optionIndex(SANE_Handle handle, const QByteArray& name, const SANE_Option_Descriptor** descriptor) {
    SANE_Int count = 0;
    if (sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) return -1;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle, i);
        if (d && d->name && name == d->name) {
            *descriptor = d;
            return i;
        }
    }
    return -1;
}

double wordToNumber(SANE_Word w, SANE_Value_Type type) { return type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w); }

SANE_Word numberToWord(double v, SANE_Value_Type type) {
    if (type == SANE_TYPE_FIXED) return SANE_FIX(v);
    return SANE_Word(std::lround(v));
}

// The allowed value nearest to `wanted`.
double constrainNumber(const SANE_Option_Descriptor* d, double wanted) {
    if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
        const SANE_Word* list = d->constraint.word_list;
        double best = wanted;
        double bestDistance = std::numeric_limits<double>::infinity();
        for (SANE_Int i = 1; i <= list[0]; ++i) {
            const double v = wordToNumber(list[i], d->type);
            if (std::abs(v - wanted) < bestDistance) {
                bestDistance = std::abs(v - wanted);
                best = v;
            }
        }
        return best;
    }
    if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
        const double lo = wordToNumber(d->constraint.range->min, d->type);
        const double hi = wordToNumber(d->constraint.range->max, d->type);
        const double quant = wordToNumber(d->constraint.range->quant, d->type);
        double v = std::clamp(wanted, lo, hi);
        if (quant > 0) v = std::min(hi, lo + std::round((v - lo) / quant) * quant);
        return v;
    }
    return wanted;
}

// The offered text matching `wanted`: the same text regardless of case, else
// the first one containing it ("Color" finds "24bit Color").
QByteArray constrainString(const SANE_Option_Descriptor* d, const QString& wanted) {
    if (d->constraint_type != SANE_CONSTRAINT_STRING_LIST || !d->constraint.string_list) return wanted.toUtf8();
    const SANE_String_Const* list = d->constraint.string_list;
    for (int i = 0; list[i]; ++i)
        if (text(list[i]).compare(wanted, Qt::CaseInsensitive) == 0) return list[i];
    for (int i = 0; list[i]; ++i)
        if (text(list[i]).contains(wanted, Qt::CaseInsensitive)) return list[i];
    return {};
}

// Sets an option by its name. A device without the option, or with it
// inactive or read-only, keeps its own value: scanners differ widely in what
// they offer and none of the options is essential.
bool setOption(SANE_Handle handle, const QString& name, const QVariant& value) {
    const SANE_Option_Descriptor* d = nullptr;
    const int index = optionIndex(handle, name.toUtf8(), &d);
    if (index < 0) {
        qCDebug(lcPlatform) << "Scanner has no option" << name;
        return false;
    }
    if (!SANE_OPTION_IS_ACTIVE(d->cap) || !SANE_OPTION_IS_SETTABLE(d->cap)) {
        qCDebug(lcPlatform) << "Scanner option" << name << "cannot be set now";
        return false;
    }
    SANE_Int info = 0;
    SANE_Status status = SANE_STATUS_UNSUPPORTED;
    switch (d->type) {
    case SANE_TYPE_BOOL: {
        SANE_Bool b = value.toBool() ? SANE_TRUE : SANE_FALSE;
        status = sane_control_option(handle, index, SANE_ACTION_SET_VALUE, &b, &info);
        break;
    }
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED: {
        bool isNumber = false;
        const double wanted = value.toDouble(&isNumber);
        if (!isNumber) break;
        const size_t count = std::max<size_t>(1, size_t(d->size) / sizeof(SANE_Word));
        std::vector<SANE_Word> words(count, numberToWord(constrainNumber(d, wanted), d->type));
        status = sane_control_option(handle, index, SANE_ACTION_SET_VALUE, words.data(), &info);
        break;
    }
    case SANE_TYPE_STRING: {
        const QByteArray s = constrainString(d, value.toString());
        if (s.isEmpty() || d->size <= 0) {
            qCInfo(lcPlatform) << "Scanner does not offer" << value.toString() << "for" << name;
            return false;
        }
        std::vector<char> buffer(size_t(d->size), '\0');
        std::memcpy(buffer.data(), s.constData(), std::min<size_t>(size_t(s.size()), buffer.size() - 1));
        status = sane_control_option(handle, index, SANE_ACTION_SET_VALUE, buffer.data(), &info);
        break;
    }
    default:
        break;
    }
    if (status != SANE_STATUS_GOOD) {
        qCInfo(lcPlatform) << "Scanner refused" << name << "=" << value.toString() << ":" << statusText(status);
        return false;
    }
    return true;
}

bool toFrameFormat(SANE_Frame frame, FrameFormat& format) {
    switch (frame) {
    case SANE_FRAME_GRAY: format = FrameFormat::Gray; return true;
    case SANE_FRAME_RGB: format = FrameFormat::Rgb; return true;
    case SANE_FRAME_RED: format = FrameFormat::Red; return true;
    case SANE_FRAME_GREEN: format = FrameFormat::Green; return true;
    case SANE_FRAME_BLUE: format = FrameFormat::Blue; return true;
    default: return false;
    }
}

int resultOf(SANE_Status status) {
    return status == SANE_STATUS_CANCELLED ? ScanCancelled : ScanDeviceError;
}

// Closes the device on every way out of a scan; the cancel switch lets go first.
class OpenDevice {
public:
    OpenDevice(SANE_Handle handle, CancelSwitch& cancel) : m_handle(handle), m_cancel(cancel) { cancel.attach(handle); }
    ~OpenDevice() {
        m_cancel.detach();
        // Also ends a completed page: the library wants a cancel after the last frame.
        sane_cancel(m_handle);
        sane_close(m_handle);
    }
    SANE_Handle handle() const { return m_handle; }

private:
    SANE_Handle m_handle;
    CancelSwitch& m_cancel;
};

QList<ScannerDevice> listDevicesLocked() {
    QList<ScannerDevice> result;
    const SANE_Device** list = nullptr;
    const SANE_Status status = sane_get_devices(&list, SANE_FALSE);
    if (status != SANE_STATUS_GOOD) {
        qCWarning(lcPlatform) << "Cannot list scanners:" << statusText(status);
        return result;
    }
    for (int i = 0; list && list[i]; ++i)
        result.append({text(list[i]->name), text(list[i]->vendor), text(list[i]->model), text(list[i]->type)});
    return result;
}

} // namespace

LibraryRef::LibraryRef() {
    std::lock_guard lock(libraryMutex());
    if (libraryRefs() == 0) {
        SANE_Int version = 0;
        const SANE_Status status = sane_init(&version, nullptr);
        if (status != SANE_STATUS_GOOD) {
            qCWarning(lcPlatform) << "Cannot start the scanner library:" << statusText(status);
            return;
        }
        qCDebug(lcPlatform) << "Scanner library started, version" << SANE_VERSION_MAJOR(version)
                            << SANE_VERSION_MINOR(version) << SANE_VERSION_BUILD(version);
    }
    ++libraryRefs();
    m_ok = true;
}

LibraryRef::~LibraryRef() {
    if (!m_ok) return;
    std::lock_guard lock(libraryMutex());
    if (--libraryRefs() == 0) {
        sane_exit();
        qCDebug(lcPlatform) << "Scanner library shut down";
    }
}

void CancelSwitch::request() {
    m_requested = true;
    std::lock_guard lock(m_mutex);
    if (m_handle) sane_cancel(static_cast<SANE_Handle>(m_handle));
}

void CancelSwitch::attach(void* handle) {
    std::lock_guard lock(m_mutex);
    m_handle = handle;
}

void CancelSwitch::detach() {
    std::lock_guard lock(m_mutex);
    m_handle = nullptr;
}

QList<ScannerDevice> ListDevices() {
    LibraryRef library;
    if (!library.ok()) return {};
    std::lock_guard operation(operationMutex());
    return listDevicesLocked();
}

int ScanPage(const ScanSettings& settings, QImage& image, const std::function<void(int)>& progress,
             CancelSwitch& cancel) {
    LibraryRef library;
    if (!library.ok()) return ScanNoDevice;
    std::lock_guard operation(operationMutex());
    if (cancel.requested()) return ScanCancelled;

    QString deviceName = settings.device;
    if (deviceName.isEmpty()) {
        const QList<ScannerDevice> devices = listDevicesLocked();
        if (devices.isEmpty()) {
            qCInfo(lcPlatform) << "No scanner to scan with";
            return ScanNoDevice;
        }
        deviceName = devices.first().name;
    }

    SANE_Handle handle = nullptr;
    const SANE_Status openStatus = sane_open(deviceName.toUtf8().constData(), &handle);
    if (openStatus != SANE_STATUS_GOOD || !handle) {
        qCWarning(lcPlatform) << "Cannot open scanner" << deviceName << ":" << statusText(openStatus);
        return ScanOpenFailed;
    }
    OpenDevice device(handle, cancel);

    // Mode first: it decides which of the other options are active.
    if (!settings.mode.isEmpty()) setOption(handle, QStringLiteral("mode"), settings.mode);
    if (!settings.source.isEmpty()) setOption(handle, QStringLiteral("source"), settings.source);
    if (settings.resolution > 0) setOption(handle, QStringLiteral("resolution"), settings.resolution);
    for (const auto& option : settings.options) setOption(handle, option.first, option.second);

    // The resolution the device actually uses goes into the picture.
    int dotsPerInch = settings.resolution;
    {
        const SANE_Option_Descriptor* d = nullptr;
        const int index = optionIndex(handle, "resolution", &d);
        if (index >= 0 && SANE_OPTION_IS_ACTIVE(d->cap) && (d->type == SANE_TYPE_INT || d->type == SANE_TYPE_FIXED)
            && size_t(d->size) >= sizeof(SANE_Word)) {
            std::vector<SANE_Word> words(size_t(d->size) / sizeof(SANE_Word) + 1, 0);
            if (sane_control_option(handle, index, SANE_ACTION_GET_VALUE, words.data(), nullptr) == SANE_STATUS_GOOD)
                dotsPerInch = int(std::lround(wordToNumber(words[0], d->type)));
        }
    }

    QList<ScanFrame> frames;
    qint64 expectedBytes = 0;
    qint64 bytesBefore = 0;
    int lastPercent = -1;
    std::vector<SANE_Byte> buffer(64 * 1024);
    if (cancel.requested()) return ScanCancelled;
    SANE_Status status = sane_start(handle);
    for (;;) {
        if (cancel.requested()) return ScanCancelled;
        if (status != SANE_STATUS_GOOD) {
            qCWarning(lcPlatform) << "Scanner" << deviceName << "did not start:" << statusText(status);
            return resultOf(status);
        }
        SANE_Parameters p{};
        status = sane_get_parameters(handle, &p);
        if (status != SANE_STATUS_GOOD) {
            qCWarning(lcPlatform) << "Scanner" << deviceName << "gave no frame parameters:" << statusText(status);
            return resultOf(status);
        }
        ScanFrame frame;
        if (!toFrameFormat(p.format, frame.format)) {
            qCWarning(lcPlatform) << "Scanner" << deviceName << "sends an unknown frame kind" << int(p.format);
            return ScanBadData;
        }
        frame.depth = p.depth;
        frame.pixelsPerLine = p.pixels_per_line;
        frame.bytesPerLine = p.bytes_per_line;
        frame.lines = p.lines;
        const qint64 frameBytes = p.lines > 0 && p.bytes_per_line > 0 ? qint64(p.lines) * p.bytes_per_line : 0;
        if (frameBytes > kMaxPageBytes) {
            qCWarning(lcPlatform) << "Scanner" << deviceName << "announces a page too large:" << frameBytes << "bytes";
            return ScanBadData;
        }
        if (frames.isEmpty()) {
            const bool planar = frame.format != FrameFormat::Gray && frame.format != FrameFormat::Rgb;
            expectedBytes = frameBytes * (planar ? 3 : 1);
        }
        frame.data.reserve(frameBytes);

        // Read the frame up to its end; the end of each frame is reported separately.
        for (;;) {
            if (cancel.requested()) return ScanCancelled;
            SANE_Int length = 0;
            status = sane_read(handle, buffer.data(), SANE_Int(buffer.size()), &length);
            if (status == SANE_STATUS_EOF) break;
            if (status != SANE_STATUS_GOOD) {
                if (cancel.requested()) return ScanCancelled;
                qCWarning(lcPlatform) << "Scanner" << deviceName << "failed while reading:" << statusText(status);
                return resultOf(status);
            }
            if (length <= 0) {
                QThread::msleep(1);
                continue;
            }
            frame.data.append(reinterpret_cast<const char*>(buffer.data()), length);
            if (bytesBefore + frame.data.size() > kMaxPageBytes) {
                qCWarning(lcPlatform) << "Scanner" << deviceName << "sends more than a page can hold";
                return ScanBadData;
            }
            if (expectedBytes > 0 && progress) {
                const int percent = int(std::min<qint64>(99, (bytesBefore + frame.data.size()) * 100 / expectedBytes));
                if (percent != lastPercent) progress(lastPercent = percent);
            }
        }
        // A device stopped from another thread may report the cut-off as a normal end.
        if (cancel.requested()) return ScanCancelled;
        if (frameBytes > 0 && frame.data.size() < frameBytes)
            qCWarning(lcPlatform) << "Scanner" << deviceName << "ended a frame early:" << frame.data.size() << "of"
                                  << frameBytes << "bytes";
        bytesBefore += frame.data.size();
        frames.append(std::move(frame));
        if (p.last_frame) break;
        if (frames.size() >= 3) {
            qCWarning(lcPlatform) << "Scanner" << deviceName << "sends more frames than a colour page has";
            return ScanBadData;
        }
        status = sane_start(handle);
    }

    QImage assembled = AssembleFrames(frames, dotsPerInch);
    if (assembled.isNull()) {
        qCWarning(lcPlatform) << "Scanner" << deviceName << "sent frames that make no picture";
        return ScanBadData;
    }
    image = std::move(assembled);
    if (progress && lastPercent != 100) progress(100);
    return ScanOk;
}

} // namespace kartovo::sane
