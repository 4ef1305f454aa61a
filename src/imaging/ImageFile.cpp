#include "imaging/ImageFile.h"

#include "platform/Logging.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
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
#include <turbojpeg.h>

#include <mutex>
#include <new>

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

QString tooLarge(const QString& name, qint64 w, qint64 h) {
    return QStringLiteral("Obraz w pliku %1 jest zbyt duży (%2 x %3 pikseli; najwyżej %4 pikseli na bok i %5 mln "
                          "pikseli) - kartę skanuje się w rozdzielczości 100-300 dpi")
        .arg(shown(name))
        .arg(w)
        .arg(h)
        .arg(kMaxPictureSide)
        .arg(kMaxPicturePixels / 1000000);
}

// What the header of a file says, read before any decoder sees it.
enum class Kind { None, Bmp, Jpeg, Gif, Tiff, Png, Pcx };
enum class Verdict { NotAPicture, Damaged, Whole };

struct Header {
    Kind kind = Kind::None;
    Verdict verdict = Verdict::NotAPicture;
    qint64 width = 0, height = 0;
};

// Bounds-checked little/big-endian reads of the file's bytes.
struct Bytes {
    const uchar* p;
    qint64 size;
    bool has(qint64 at, qint64 n) const { return at >= 0 && n >= 0 && at <= size && n <= size - at; }
    unsigned u8(qint64 at) const { return p[at]; }
    quint32 le16(qint64 at) const { return quint32(p[at]) | quint32(p[at + 1]) << 8; }
    quint32 le32(qint64 at) const { return le16(at) | le16(at + 2) << 16; }
    quint32 be16(qint64 at) const { return quint32(p[at]) << 8 | quint32(p[at + 1]); }
    quint32 be32(qint64 at) const { return be16(at) << 16 | be16(at + 2); }
};

Verdict whole(bool ok) { return ok ? Verdict::Whole : Verdict::Damaged; }

// Windows bitmap: the pixel rows must all be in the file (Qt's reader leaves
// rows it could not read as they were in memory), an RLE stream must cover
// every row without skipping pixels.
void inspectBmp(const Bytes& b, Header& h) {
    if (!b.has(0, 18)) return void(h.verdict = Verdict::Damaged);
    const qint64 offBits = b.le32(10), infoSize = b.le32(14);
    if (infoSize != 12 && infoSize < 40) return void(h.verdict = Verdict::Damaged);
    if (!b.has(14, infoSize)) return void(h.verdict = Verdict::Damaged);
    qint64 w, rows;
    unsigned bits, compression = 0, colours = 0;
    if (infoSize == 12) {
        w = b.le16(18);
        rows = b.le16(20);
        bits = b.le16(24);
    } else {
        w = qint32(b.le32(18));
        rows = qint32(b.le32(22));
        bits = b.le16(28);
        compression = b.le32(30);
        colours = b.le32(46);
    }
    rows = rows < 0 ? -rows : rows;
    if (w <= 0 || rows <= 0) return void(h.verdict = Verdict::Damaged);
    h.width = w;
    h.height = rows;
    h.verdict = Verdict::Damaged;
    if (w > kMaxPictureSide || rows > kMaxPictureSide) return; // refused as too large; no sums that overflow
    qint64 headerEnd = 14 + infoSize;
    if (infoSize == 40 && compression == 3) headerEnd += 12; // colour masks after the header
    if (infoSize == 40 && compression == 6) headerEnd += 16;
    if (bits <= 8) headerEnd += qint64(colours ? colours : 1u << bits) * (infoSize == 12 ? 3 : 4);
    const qint64 start = std::max(offBits, headerEnd);
    if (compression == 0 || compression == 3 || compression == 6) {
        const qint64 bpl = (w * bits + 31) / 32 * 4;
        h.verdict = whole(bits > 0 && b.has(start, bpl * rows));
        return;
    }
    if ((compression == 1 && bits == 8) || (compression == 2 && bits == 4)) {
        qint64 at = start, x = 0, y = 0;
        while (y < rows) {
            if (!b.has(at, 2)) return void(h.verdict = Verdict::Damaged);
            const unsigned n = b.u8(at), c = b.u8(at + 1);
            at += 2;
            if (n > 0) {
                x += n;
            } else if (c == 0) { // end of line
                if (x < w) return void(h.verdict = Verdict::Damaged);
                x = 0;
                ++y;
            } else if (c == 1) { // end of bitmap: only once every row is there
                h.verdict = whole(y == rows || (y == rows - 1 && x >= w));
                return;
            } else if (c == 2) { // a jump leaves pixels the file never gives
                return void(h.verdict = Verdict::Damaged);
            } else { // c literal pixels, padded to a whole 16-bit word
                const qint64 bytes = compression == 1 ? c : (c + 1) / 2;
                at += (bytes + 1) / 2 * 2;
                x += c;
            }
        }
        h.verdict = Verdict::Whole;
        return;
    }
    h.verdict = Verdict::Damaged; // embedded JPEG/PNG and unknown kinds
}

// JPEG: the frame header gives the size; the end of image must follow the
// last start of scan (Qt's reader fills a cut-off scan up with grey).
void inspectJpeg(const Bytes& b, Header& h, const QByteArray& d) {
    qint64 at = 2;
    for (;;) {
        if (!b.has(at, 2)) return void(h.verdict = Verdict::Damaged);
        if (b.u8(at) != 0xff) return void(h.verdict = Verdict::Damaged);
        const unsigned m = b.u8(at + 1);
        if (m == 0xff) { // fill byte
            ++at;
            continue;
        }
        at += 2;
        if (m == 0x01 || (m >= 0xd0 && m <= 0xd8)) continue; // markers without a length
        if (m == 0xda || m == 0xd9) return void(h.verdict = Verdict::Damaged); // scan or end before a frame
        if (m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc) { // the frame: its size
            if (!b.has(at, 7)) return void(h.verdict = Verdict::Damaged);
            h.height = b.be16(at + 3);
            h.width = b.be16(at + 5);
            break;
        }
        if (!b.has(at, 2)) return void(h.verdict = Verdict::Damaged);
        const qint64 length = b.be16(at);
        if (length < 2 || !b.has(at, length)) return void(h.verdict = Verdict::Damaged);
        at += length;
    }
    if (h.width == 0 || h.height == 0) return void(h.verdict = Verdict::Damaged);
    // Markers cannot occur inside the entropy-coded data, so the end of
    // image must follow the last start of scan: there is a scan, an end,
    // and no scan after the last end (looked for from the file's end, as
    // the whole file need not be searched).
    const QByteArray sos("\xff\xda", 2);
    const qsizetype eoi = d.lastIndexOf(QByteArray("\xff\xd9", 2));
    h.verdict = whole(eoi >= 0 && d.indexOf(sos, at) >= 0 && d.indexOf(sos, eoi + 2) < 0);
}

// PNG: every chunk whole, up to the end chunk.
void inspectPng(const Bytes& b, Header& h) {
    if (!b.has(8, 25) || b.be32(8) != 13 || std::memcmp(b.p + 12, "IHDR", 4) != 0)
        return void(h.verdict = Verdict::Damaged);
    h.width = b.be32(16);
    h.height = b.be32(20);
    if (h.width == 0 || h.height == 0) return void(h.verdict = Verdict::Damaged);
    for (qint64 at = 8;;) {
        if (!b.has(at, 8)) return void(h.verdict = Verdict::Damaged);
        const qint64 length = b.be32(at);
        if (!b.has(at, 12 + length)) return void(h.verdict = Verdict::Damaged);
        if (std::memcmp(b.p + at + 4, "IEND", 4) == 0) return void(h.verdict = Verdict::Whole);
        at += 12 + length;
    }
}

// GIF: every block whole up to the trailer. Only the first picture of an
// animation is read (what Qt's reader gives), but the file must be whole.
void inspectGif(const Bytes& b, Header& h) {
    if (!b.has(0, 13)) return void(h.verdict = Verdict::Damaged);
    h.width = b.le16(6);
    h.height = b.le16(8);
    const unsigned flags = b.u8(10);
    qint64 at = 13 + ((flags & 0x80) ? 3 * (2 << (flags & 7)) : 0);
    int pictures = 0;
    const auto subBlocks = [&]() {
        for (;;) {
            if (!b.has(at, 1)) return false;
            const unsigned n = b.u8(at++);
            if (n == 0) return true;
            at += n;
        }
    };
    for (;;) {
        if (!b.has(at, 1)) return void(h.verdict = Verdict::Damaged);
        const unsigned kind = b.u8(at);
        if (kind == 0x3b) break; // trailer
        if (kind == 0x21) {
            at += 2;
            if (!subBlocks()) return void(h.verdict = Verdict::Damaged);
        } else if (kind == 0x2c) {
            if (!b.has(at, 10)) return void(h.verdict = Verdict::Damaged);
            if (pictures++ == 0) { // the first picture may lie beyond the screen's size
                h.width = std::max<qint64>(h.width, qint64(b.le16(at + 1)) + b.le16(at + 5));
                h.height = std::max<qint64>(h.height, qint64(b.le16(at + 3)) + b.le16(at + 7));
            }
            const unsigned local = b.u8(at + 9);
            at += 10 + ((local & 0x80) ? 3 * (2 << (local & 7)) : 0) + 1; // colour table, code size
            if (!subBlocks()) return void(h.verdict = Verdict::Damaged);
        } else {
            return void(h.verdict = Verdict::Damaged);
        }
    }
    h.verdict = whole(pictures > 0 && h.width > 0 && h.height > 0);
}

// TIFF: the first directory, every value it points to and every strip or
// tile of the first picture lie inside the file.
void inspectTiff(const Bytes& b, Header& h) {
    const bool little = b.u8(0) == 'I';
    const auto u16 = [&](qint64 at) { return little ? b.le16(at) : b.be16(at); };
    const auto u32 = [&](qint64 at) { return little ? b.le32(at) : b.be32(at); };
    if (!b.has(0, 8)) return void(h.verdict = Verdict::Damaged);
    const qint64 ifd = u32(4);
    if (!b.has(ifd, 2)) return void(h.verdict = Verdict::Damaged);
    const qint64 entries = u16(ifd);
    if (!b.has(ifd + 2, entries * 12 + 4)) return void(h.verdict = Verdict::Damaged);
    struct Array {
        qint64 at = -1, count = 0;
        unsigned type = 0;
    };
    Array offsets, counts;
    for (qint64 i = 0; i < entries; ++i) {
        const qint64 e = ifd + 2 + i * 12;
        const unsigned tag = u16(e), type = u16(e + 2);
        const qint64 count = u32(e + 4);
        static const int kTypeSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
        const qint64 size = type < std::size(kTypeSize) ? kTypeSize[type] : 0;
        qint64 at = e + 8;
        if (size * count > 4) {
            at = u32(e + 8);
            if (!b.has(at, size * count)) return void(h.verdict = Verdict::Damaged);
        }
        const auto value = [&]() -> qint64 { return type == 3 ? u16(at) : type == 4 ? u32(at) : 0; };
        if (tag == 256 && count >= 1) h.width = value();
        else if (tag == 257 && count >= 1) h.height = value();
        else if ((tag == 273 || tag == 324) && (type == 3 || type == 4)) offsets = {at, count, type};
        else if ((tag == 279 || tag == 325) && (type == 3 || type == 4)) counts = {at, count, type};
    }
    const qint64 next = u32(ifd + 2 + entries * 12);
    if (next != 0 && !b.has(next, 2)) return void(h.verdict = Verdict::Damaged);
    if (h.width <= 0 || h.height <= 0 || offsets.count == 0 || offsets.count != counts.count)
        return void(h.verdict = Verdict::Damaged);
    const auto element = [&](const Array& a, qint64 i) -> qint64 {
        return a.type == 3 ? u16(a.at + 2 * i) : u32(a.at + 4 * i);
    };
    for (qint64 i = 0; i < offsets.count; ++i)
        if (!b.has(element(offsets, i), element(counts, i))) return void(h.verdict = Verdict::Damaged);
    h.verdict = Verdict::Whole;
}

// ZSoft PCX: manufacturer 10, a known version, encoding 0 or 1, a valid depth.
bool looksLikePcx(const Bytes& b) {
    if (!b.has(0, 128)) return false;
    const unsigned version = b.u8(1), encoding = b.u8(2), bits = b.u8(3);
    return b.u8(0) == 0x0a && (version == 0 || version == 2 || version == 3 || version == 4 || version == 5) &&
           encoding <= 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

// PCX: the run-length data must give every byte of every plane of every
// row, and an 8-bit picture its palette after them.
void inspectPcx(const Bytes& b, Header& h) {
    const qint64 xmin = b.le16(4), ymin = b.le16(6), xmax = b.le16(8), ymax = b.le16(10);
    const unsigned bits = b.u8(3), planes = b.u8(65);
    const qint64 bpl = b.le16(66);
    if (xmax < xmin || ymax < ymin || planes == 0 || planes > 4) return void(h.verdict = Verdict::Damaged);
    h.width = xmax - xmin + 1;
    h.height = ymax - ymin + 1;
    if (bpl * 8 < h.width * bits) return void(h.verdict = Verdict::Damaged);
    const qint64 total = bpl * planes * h.height;
    qint64 at = 128;
    if (b.u8(2) == 0) {
        at += total;
    } else {
        for (qint64 got = 0; got < total;) {
            if (!b.has(at, 1)) return void(h.verdict = Verdict::Damaged);
            const unsigned c = b.u8(at++);
            if ((c & 0xc0) == 0xc0) {
                ++at;
                got += c & 0x3f;
            } else {
                ++got;
            }
        }
    }
    const qint64 palette = (bits == 8 && planes == 1) ? 769 : 0;
    h.verdict = whole(b.has(at, palette));
}

Header inspect(const QByteArray& d) {
    const Bytes b{reinterpret_cast<const uchar*>(d.constData()), d.size()};
    Header h;
    const auto starts = [&](const char* magic, qint64 n) { return b.has(0, n) && std::memcmp(b.p, magic, n) == 0; };
    if (looksLikePcx(b)) h.kind = Kind::Pcx, inspectPcx(b, h);
    else if (starts("BM", 2)) h.kind = Kind::Bmp, inspectBmp(b, h);
    else if (starts("\xff\xd8\xff", 3)) h.kind = Kind::Jpeg, inspectJpeg(b, h, d);
    else if (starts("\x89PNG\r\n\x1a\n", 8)) h.kind = Kind::Png, inspectPng(b, h);
    else if (starts("GIF87a", 6) || starts("GIF89a", 6)) h.kind = Kind::Gif, inspectGif(b, h);
    else if (starts("II*\0", 4) || starts("MM\0*", 4)) h.kind = Kind::Tiff, inspectTiff(b, h);
    return h;
}

bool withinLimits(const Header& h) {
    return h.width <= kMaxPictureSide && h.height <= kMaxPictureSide && h.width * h.height <= kMaxPicturePixels;
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
        QImage picture(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
        if (picture.isNull()) throw std::bad_alloc(); // out of memory: the header has bounded the size
        // RGB32 rows are exactly 4 * w bytes: blue, green, red, alpha on little-endian hosts.
        const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
        image.write(0, 0, w, h, little ? "BGRA" : "ARGB", Magick::CharPixel, picture.bits());
        auto* px = reinterpret_cast<quint32*>(picture.bits());
        const qsizetype n = static_cast<qsizetype>(w) * h;
        for (qsizetype i = 0; i < n; ++i) px[i] |= 0xff000000u;
        out = picture;
        return true;
    } catch (const std::exception& e) {
        // Magick's warnings too: a PCX that only half decodes is no card picture.
        qCWarning(lcImaging) << "PCX" << name << e.what();
        setError(error, damaged(name));
        return false;
    }
}

const char* qtFormat(Kind kind) {
    switch (kind) {
    case Kind::Bmp: return "bmp";
    case Kind::Jpeg: return "jpeg";
    case Kind::Gif: return "gif";
    case Kind::Tiff: return "tiff";
    case Kind::Png: return "png";
    default: return "";
    }
}

// JPEG straight through libjpeg-turbo into the RGB32 rows: the same library
// and the same settings as Qt's reader (accurate DCT, fancy upsampling), so
// the same pixels, without Qt's per-row copy or a conversion pass. Only
// YCbCr and grey pictures that decode without any warning; anything else
// (CMYK, a damaged stream) returns false and is left to Qt's reader, which
// decides as it always has.
bool loadJpegTurbo(const QByteArray& data, QImage& out) {
    if (QSysInfo::ByteOrder != QSysInfo::LittleEndian) return false;
    tjhandle tj = tjInitDecompress();
    if (!tj) return false;
    struct Release {
        tjhandle h;
        ~Release() { tjDestroy(h); }
    } release{tj};
    auto* jpeg = reinterpret_cast<unsigned char*>(const_cast<char*>(data.constData()));
    const auto size = static_cast<unsigned long>(data.size());
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(tj, jpeg, size, &w, &h, &subsampling, &colourspace) != 0) return false;
    if (colourspace != TJCS_YCbCr && colourspace != TJCS_GRAY) return false;
    QImage picture(w, h, QImage::Format_RGB32);
    if (picture.isNull()) return false;
    // BGRA sets the fourth byte to 0xff itself: no filling pass before.
    if (tjDecompress2(tj, jpeg, size, picture.bits(), w, int(picture.bytesPerLine()), h, TJPF_BGRA,
                      TJFLAG_ACCURATEDCT) != 0)
        return false; // warnings too: Qt's reader decides about such a file
    // The resolution as Qt's reader takes it from libjpeg: the JFIF segment
    // (the last one before the first scan), wherever it stands among the others.
    const Bytes b{reinterpret_cast<const uchar*>(data.constData()), data.size()};
    for (qint64 at = 2; b.has(at, 4) && b.u8(at) == 0xff;) {
        const unsigned m = b.u8(at + 1);
        if (m == 0xff) {
            ++at;
            continue;
        }
        if (m == 0xda || m == 0xd9 || m == 0x01 || (m >= 0xd0 && m <= 0xd8)) break;
        const qint64 length = b.be16(at + 2);
        if (length < 2 || !b.has(at + 2, length)) break;
        if (m == 0xe0 && length >= 14 && std::memcmp(b.p + at + 4, "JFIF\0", 5) == 0) {
            const unsigned unit = b.u8(at + 11), x = b.be16(at + 12), y = b.be16(at + 14);
            if (unit == 1) {
                picture.setDotsPerMeterX(int(100.0 * x / 2.54));
                picture.setDotsPerMeterY(int(100.0 * y / 2.54));
            } else if (unit == 2) {
                picture.setDotsPerMeterX(int(100 * x));
                picture.setDotsPerMeterY(int(100 * y));
            }
        }
        at += 2 + length;
    }
    out = std::move(picture);
    return true;  // false would only have Qt's reader decode it once more
}

} // namespace

bool LoadPictureData(const QByteArray& data, const QString& name, QImage& out, QString* error) {
    out = QImage();
    if (data.isEmpty()) {
        setError(error, QStringLiteral("Plik %1 jest pusty").arg(shown(name)));
        return false;
    }
    // Only the six formats, each told by its own signature: the header is
    // checked here, before a decoder is given the file, so that nothing
    // reaches a decoder that it would fill up from memory or that is too large.
    const Header header = inspect(data);
    if (header.kind == Kind::None) {
        setError(error, notAPicture(name));
        return false;
    }
    if (header.width > 0 && header.height > 0 && !withinLimits(header)) {
        setError(error, tooLarge(name, header.width, header.height));
        return false;
    }
    if (header.verdict != Verdict::Whole) {
        setError(error, damaged(name));
        return false;
    }
    if (header.kind == Kind::Pcx) {
        if (!loadWithMagick(data, name, out, error)) return false;
    } else if (header.kind == Kind::Jpeg && loadJpegTurbo(data, out)) {
        // decoded
    } else {
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, qtFormat(header.kind));
        // Room for the largest picture let through, at 8 bytes a pixel (16-bit PNG, TIFF).
        reader.setAllocationLimit(int(kMaxPicturePixels * 8 / (1024 * 1024)) + 1);
        QImage picture = reader.read();
        if (picture.isNull()) {
            qCWarning(lcImaging) << "cannot decode" << name << reader.errorString();
            setError(error, damaged(name));
            return false;
        }
        // In place where the depth allows: one decoded picture less at the peak.
        if (picture.format() != QImage::Format_RGB32) picture.convertTo(QImage::Format_RGB32);
        out = std::move(picture);
    }
    // A decoder that made a picture of another size than its header says read
    // something else than was checked.
    if (header.kind != Kind::Gif && qint64(out.width()) * out.height() != header.width * header.height) {
        qCWarning(lcImaging) << "decoded size differs from the header" << name << out.size();
        out = QImage();
        setError(error, damaged(name));
        return false;
    }
    return true;
}

bool ReadPictureFile(const QString& path, QByteArray& data, QString* error) {
    data.clear();
    // Opened without waiting (a fifo has no writer to wait for) and judged by
    // what was opened, not by an earlier look at the name.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        setError(error, (missing ? QStringLiteral("Nie znaleziono pliku %1") : QStringLiteral("Nie można otworzyć pliku %1"))
                            .arg(shown(path)));
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        setError(error, QStringLiteral("%1 nie jest zwykłym plikiem (to folder, kolejka lub urządzenie) - nie można "
                                       "odczytać obrazu")
                            .arg(shown(path)));
        return false;
    }
    if (st.st_size > kMaxPictureFileBytes) {
        ::close(fd);
        setError(error, QStringLiteral("Plik %1 jest zbyt duży (%2 MB; najwyżej %3 MB) - nie można odczytać obrazu")
                            .arg(shown(path))
                            .arg(st.st_size / (1024 * 1024))
                            .arg(kMaxPictureFileBytes / (1024 * 1024)));
        return false;
    }
    data.resize(qsizetype(st.st_size));
    qsizetype got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd, data.data() + got, size_t(data.size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            data.clear();
            setError(error, QStringLiteral("Nie można odczytać pliku %1").arg(shown(path)));
            return false;
        }
        if (n == 0) break; // shortened meanwhile: what was read is judged as it is
        got += n;
    }
    ::close(fd);
    data.truncate(got);
    return true;
}

bool LoadPicture(const QString& path, QImage& out, QString* error) {
    out = QImage();
    QByteArray data;
    return ReadPictureFile(path, data, error) && LoadPictureData(data, path, out, error);
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
