#include "imaging/ImageFile.h"

#include "platform/Logging.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSysInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <Magick++.h>

#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kartovo {

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

void setError(QString* error, const QString& text) {
    if (error) *error = text;
}

QString notAPicture(const QString& name) {
    return QStringLiteral("Plik %1 nie zawiera obrazu w obsługiwanym formacie (BMP, JPEG, GIF, TIFF, PCX, PNG)")
        .arg(shown(name));
}

QString damaged(const QString& name) {
    return QStringLiteral("Plik %1 jest uszkodzony lub niekompletny - nie można odczytać obrazu").arg(shown(name));
}

// ZSoft PCX: manufacturer 10, a known version, encoding 0 or 1, a valid depth.
bool looksLikePcx(const QByteArray& d) {
    if (d.size() < 128) return false;
    const auto u = [&](int i) { return static_cast<unsigned char>(d[i]); };
    const unsigned version = u(1), encoding = u(2), bits = u(3);
    return u(0) == 0x0a && (version == 0 || version == 2 || version == 3 || version == 4 || version == 5) &&
           encoding <= 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

bool isJpeg(const QByteArray& d) { return d.startsWith(QByteArray("\xff\xd8\xff", 3)); }
bool isPng(const QByteArray& d) { return d.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)); }

// Qt's readers fill a cut-off JPEG or PNG up with grey and report success;
// a card read from such a file would be half blank, so it is refused.
bool truncated(const QByteArray& d) {
    if (isJpeg(d)) {
        // Markers cannot occur inside the entropy-coded data, so the end of
        // image must follow the last start of scan: there is a scan, an end,
        // and no scan after the last end (looked for from the file's end, as
        // the whole file need not be searched).
        const QByteArray sos("\xff\xda", 2);
        const qsizetype eoi = d.lastIndexOf(QByteArray("\xff\xd9", 2));
        return eoi < 0 || d.indexOf(sos) < 0 || d.indexOf(sos, eoi + 2) >= 0;
    }
    if (isPng(d)) return !d.contains("IEND");
    return false;
}

void initializeMagick() {
    static std::once_flag once;
    std::call_once(once, [] { Magick::InitializeMagick(nullptr); });
}

bool loadWithMagick(const QByteArray& data, const QString& name, QImage& out, QString* error) {
    initializeMagick();
    try {
        Magick::Image image;
        image.magick("PCX");
        image.read(Magick::Blob(data.constData(), static_cast<size_t>(data.size())));
        const unsigned w = image.columns(), h = image.rows();
        if (w == 0 || h == 0) {
            setError(error, damaged(name));
            return false;
        }
        QImage picture(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
        if (picture.isNull()) {
            setError(error, damaged(name));
            return false;
        }
        // RGB32 rows are exactly 4 * w bytes: blue, green, red, alpha on little-endian hosts.
        const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
        image.write(0, 0, w, h, little ? "BGRA" : "ARGB", Magick::CharPixel, picture.bits());
        auto* px = reinterpret_cast<quint32*>(picture.bits());
        const qsizetype n = static_cast<qsizetype>(w) * h;
        for (qsizetype i = 0; i < n; ++i) px[i] |= 0xff000000u;
        out = picture;
        return true;
    } catch (const Magick::Exception& e) {
        // Warnings too: a PCX that only half decodes is no card picture.
        qCWarning(lcImaging) << "PCX" << name << e.what();
        setError(error, damaged(name));
        return false;
    } catch (const std::exception& e) {
        qCWarning(lcImaging) << "PCX" << name << e.what();
        setError(error, damaged(name));
        return false;
    }
}

} // namespace

bool LoadPictureData(const QByteArray& data, const QString& name, QImage& out, QString* error) {
    out = QImage();
    if (data.isEmpty()) {
        setError(error, QStringLiteral("Plik %1 jest pusty").arg(shown(name)));
        return false;
    }
    if (looksLikePcx(data)) return loadWithMagick(data, name, out, error);

    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // Qt's default cap (256 MB) would refuse an A3 page scanned at 600 dpi.
    reader.setAllocationLimit(1024);
    if (reader.format().isEmpty()) {
        setError(error, notAPicture(name));
        return false;
    }
    if (truncated(data)) {
        setError(error, damaged(name));
        return false;
    }
    QImage picture = reader.read();
    if (picture.isNull()) {
        qCWarning(lcImaging) << "cannot decode" << name << reader.errorString();
        setError(error, damaged(name));
        return false;
    }
    out = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    return true;
}

bool LoadPicture(const QString& path, QImage& out, QString* error) {
    out = QImage();
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        setError(error, QStringLiteral("Nie znaleziono pliku %1").arg(shown(path)));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("Nie można otworzyć pliku %1").arg(shown(path)));
        return false;
    }
    const QByteArray data = file.readAll();
    return LoadPictureData(data, path, out, error);
}

namespace {

void put16(uchar*& p, quint16 v) {
    qToLittleEndian(v, p);
    p += 2;
}
void put32(uchar*& p, quint32 v) {
    qToLittleEndian(v, p);
    p += 4;
}

// One picture row as the bitmap's blue, green, red bytes.
void packRowPlain(const QRgb* s, uchar* d, int w) {
    for (int x = 0; x < w; ++x, d += 3) {
        d[0] = uchar(qBlue(s[x]));
        d[1] = uchar(qGreen(s[x]));
        d[2] = uchar(qRed(s[x]));
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels at a time: one shuffle drops the fourth byte of each (on
// little-endian x86 an RGB32 pixel starts with blue, green, red).
__attribute__((target("ssse3"))) void packRowSsse3(const QRgb* s, uchar* d, int w) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    // Each store writes 16 bytes of which the next one overwrites the last 4.
    for (; x + 5 < w; x += 4, d += 12)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                         _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x)), order));
    packRowPlain(s + x, d, w - x);
}

void packRow(const QRgb* s, uchar* d, int w) {
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) packRowSsse3(s, d, w);
    else packRowPlain(s, d, w);
}
#else
void packRow(const QRgb* s, uchar* d, int w) { packRowPlain(s, d, w); }
#endif

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= n;
    }
    return true;
}

// The 24-bit bitmap Qt's writer makes of an RGB32 picture, byte for byte,
// written a block of rows at a time; its size in bytes, or -1.
qsizetype writeBitmap(const QImage& rgb, int fd, const BitmapRowOverlay& overlay) {
    const int w = rgb.width(), h = rgb.height();
    const qsizetype bpl = (qsizetype(w) * 24 + 31) / 32 * 4;
    const qsizetype headers = 14 + 40;
    uchar header[headers];
    uchar* p = header;
    put16(p, 0x4d42); // "BM"
    put32(p, quint32(headers + bpl * h));
    put32(p, 0);
    put32(p, quint32(headers));
    put32(p, 40);
    put32(p, quint32(w));
    put32(p, quint32(h));
    put16(p, 1);
    put16(p, 24);
    put32(p, 0);
    put32(p, quint32(bpl * h));
    put32(p, quint32(rgb.dotsPerMeterX() ? rgb.dotsPerMeterX() : 2834));
    put32(p, quint32(rgb.dotsPerMeterY() ? rgb.dotsPerMeterY() : 2834));
    put32(p, 0);
    put32(p, 0);
    if (!writeAll(fd, reinterpret_cast<const char*>(header), headers)) return -1;

    const int rowsPerBlock = int(std::max<qsizetype>(1, (qsizetype(1) << 20) / bpl));
    QByteArray block(bpl * rowsPerBlock, Qt::Uninitialized);
    // Only the padding at the end of each row is not written by the packing.
    if (const qsizetype pad = bpl - qsizetype(w) * 3)
        for (int i = 0; i < rowsPerBlock; ++i) std::memset(block.data() + i * bpl + bpl - pad, 0, size_t(pad));
    for (int first = h - 1; first >= 0; first -= rowsPerBlock) {
        const int rows = std::min(rowsPerBlock, first + 1);
        for (int i = 0; i < rows; ++i) {
            uchar* row = reinterpret_cast<uchar*>(block.data()) + i * bpl;
            packRow(reinterpret_cast<const QRgb*>(rgb.constScanLine(first - i)), row, w);
            if (overlay) overlay(first - i, row);
        }
        if (!writeAll(fd, block.constData(), bpl * rows)) return -1;
    }
    return headers + bpl * h;
}

} // namespace

bool SavePictureBitmap(const QImage& picture, const QString& path, QString* error,
                       const BitmapRowOverlay& overlay) {
    const QString failed = QStringLiteral("Nie można zapisać obrazu do pliku %1").arg(shown(path));
    if (picture.isNull()) {
        setError(error, failed);
        return false;
    }
    const QImage rgb = picture.format() == QImage::Format_RGB32 ? picture
                                                                 : picture.convertToFormat(QImage::Format_RGB32);
    // The previous file is moved aside and overwritten in place, then renamed
    // back: its pages are reused instead of new ones taken and the old ones
    // freed, and with no file renamed over another ext4 does not push the new
    // one to disk at once (its guard for editors that do not flush). No flush
    // here either: these are working files rewritten for every card. The name
    // holds the old picture whole, briefly nothing, then the new one whole.
    const QByteArray target = QFile::encodeName(path);
    const QByteArray part = QFile::encodeName(path + QStringLiteral(".part"));
    struct stat st;
    // Only a plain file of its own: a link must not change another name's file.
    const bool reuse = ::lstat(target.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
                       ::rename(target.constData(), part.constData()) == 0;
    int fd = reuse ? ::open(part.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC) : -1;
    if (fd < 0) {
        ::unlink(part.constData()); // a leftover of an interrupted save
        fd = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    const int openError = errno;
    bool ok = fd >= 0;
    if (ok) {
        const qsizetype size = writeBitmap(rgb, fd, overlay);
        ok = size >= 0 && ::ftruncate(fd, static_cast<off_t>(size)) == 0; // the old file may have been longer
        ok = ::close(fd) == 0 && ok;
    }
    ok = ok && ::rename(part.constData(), target.constData()) == 0;
    if (!ok) {
        qCWarning(lcImaging) << "cannot write" << path << qt_error_string(fd < 0 ? openError : errno);
        ::unlink(part.constData());
        setError(error, failed);
        return false;
    }
    return true;
}

} // namespace kartovo
