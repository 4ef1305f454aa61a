#include "acquisition/sane/ScanFrames.h"

#include <cmath>
#include <cstring>

namespace kartovo {

namespace {

int channelsOf(FrameFormat format) { return format == FrameFormat::Rgb ? 3 : 1; }

// Sample `index` of a line scaled to 0..255; samples run left to right, the
// channels of one pixel next to each other, 1-bit samples from the high bit.
inline int sampleAt(const uchar* line, int index, int depth) {
    switch (depth) {
    case 8:
        return line[index];
    case 16: {
        quint16 v;
        std::memcpy(&v, line + 2 * index, 2);
        return (int(v) * 255 + 32767) / 65535;
    }
    default:
        return ((line[index >> 3] >> (7 - (index & 7))) & 1) ? 255 : 0;
    }
}

// Complete lines a frame holds: the announced count, or what arrived when the
// device did not know the length in advance or ended early.
int linesOf(const ScanFrame& f) {
    const int complete = f.bytesPerLine > 0 ? int(f.data.size() / f.bytesPerLine) : 0;
    return f.lines < 0 ? complete : std::min(f.lines, complete);
}

bool usable(const ScanFrame& f) {
    if (f.depth != 1 && f.depth != 8 && f.depth != 16) return false;
    if (f.pixelsPerLine <= 0) return false;
    return f.bytesPerLine >= LineBytesNeeded(f);
}

} // namespace

int LineBytesNeeded(const ScanFrame& frame) {
    const qint64 samples = qint64(frame.pixelsPerLine) * channelsOf(frame.format);
    switch (frame.depth) {
    case 1: return int((samples + 7) / 8);
    case 8: return int(samples);
    case 16: return int(samples * 2);
    default: return -1;
    }
}

QImage AssembleFrames(const QList<ScanFrame>& frames, int dotsPerInch) {
    if (frames.isEmpty()) return {};
    const ScanFrame* whole = nullptr;
    const ScanFrame* planes[3] = {nullptr, nullptr, nullptr};
    for (const ScanFrame& f : frames) {
        if (!usable(f) || f.pixelsPerLine != frames.first().pixelsPerLine) return {};
        switch (f.format) {
        case FrameFormat::Gray:
        case FrameFormat::Rgb:
            if (!whole) whole = &f;
            break;
        case FrameFormat::Red: planes[0] = &f; break;
        case FrameFormat::Green: planes[1] = &f; break;
        case FrameFormat::Blue: planes[2] = &f; break;
        }
    }
    if (!whole && !(planes[0] && planes[1] && planes[2])) return {};

    const int width = frames.first().pixelsPerLine;
    int height = 0;
    if (whole) {
        height = linesOf(*whole);
    } else {
        height = std::min({linesOf(*planes[0]), linesOf(*planes[1]), linesOf(*planes[2])});
    }
    if (height <= 0) return {};

    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        if (whole) {
            const auto* line = reinterpret_cast<const uchar*>(whole->data.constData()) + qint64(y) * whole->bytesPerLine;
            if (whole->format == FrameFormat::Gray) {
                // In 1-bit grey a set bit is black (line art), unlike every other depth.
                const bool inverted = whole->depth == 1;
                for (int x = 0; x < width; ++x) {
                    int v = sampleAt(line, x, whole->depth);
                    if (inverted) v = 255 - v;
                    out[x] = qRgb(v, v, v);
                }
            } else {
                for (int x = 0; x < width; ++x)
                    out[x] = qRgb(sampleAt(line, 3 * x, whole->depth), sampleAt(line, 3 * x + 1, whole->depth),
                                  sampleAt(line, 3 * x + 2, whole->depth));
            }
        } else {
            const uchar* lines[3];
            for (int c = 0; c < 3; ++c)
                lines[c] = reinterpret_cast<const uchar*>(planes[c]->data.constData()) + qint64(y) * planes[c]->bytesPerLine;
            for (int x = 0; x < width; ++x)
                out[x] = qRgb(sampleAt(lines[0], x, planes[0]->depth), sampleAt(lines[1], x, planes[1]->depth),
                              sampleAt(lines[2], x, planes[2]->depth));
        }
    }
    if (dotsPerInch > 0) {
        const int dpm = int(std::lround(dotsPerInch / 0.0254));
        image.setDotsPerMeterX(dpm);
        image.setDotsPerMeterY(dpm);
    }
    return image;
}

} // namespace kartovo
