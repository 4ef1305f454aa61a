#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

namespace kartovo {

// Channels one frame of a scan carries: all three, one grey, or one colour of
// a three-pass scan.
enum class FrameFormat { Gray, Rgb, Red, Green, Blue };

// Raw lines of one frame as the device delivered them.
struct ScanFrame {
    FrameFormat format = FrameFormat::Gray;
    int depth = 8;          // bits per sample: 1, 8 or 16 (16-bit samples in host order)
    int pixelsPerLine = 0;
    int bytesPerLine = 0;   // may exceed the pixels' bytes (padding at the line end)
    int lines = 0;          // < 0: unknown in advance, taken from the data
    QByteArray data;
};

// Bytes the samples of one line need, without padding.
int LineBytesNeeded(const ScanFrame& frame);

// Turns the frames of one page into a colour picture (QImage::Format_RGB32).
// Grey becomes equal red, green and blue; a 1-bit grey sample set is black,
// while a 1-bit colour sample set is full intensity; 16-bit samples are scaled
// to 8 bits. Three-pass frames may come in any order. Returns a null picture
// when the frames are unusable (unknown depth, lines shorter than their
// pixels, frames of different sizes, a colour missing). `dotsPerInch` > 0 is
// stored in the picture.
QImage AssembleFrames(const QList<ScanFrame>& frames, int dotsPerInch = 0);

} // namespace kartovo
