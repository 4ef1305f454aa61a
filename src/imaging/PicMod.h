#pragma once

#include <QImage>
#include <functional>

namespace kartovo {

// Called once per pixel column with the percentage done (0..100); may be empty.
using ProgressCallback = std::function<void(int percent)>;

// The image operations of the preprocessing. Each works on the picture in
// place (one pass over its memory, in memory order) and gives exactly the
// result of a column-by-column loop over the pixels: the picture ends as
// opaque 32-bit RGB. The progress callback gets that loop's percentages,
// x / width * 100 rounded half to even after column x, once per column and
// in column order, once the pixels are done (an A4 page takes milliseconds).

// Rotates `source` into `destination` by 0, 90 (clockwise), 180 or 270
// (counter-clockwise) degrees, in the source's native depth. Throws BitmapError
// for a depth other than 8, 15, 16, 24, 32 and std::invalid_argument for any
// other angle. The result has that depth's BitmapFormat: an 8-bit result keeps
// the source's colour table (each index becomes the nearest entry to its
// colour, the first of equals; a picture without a table gets a grey ramp), a 15-bit pixel with
// its unused top bit set has full red, a 32-bit pixel is opaque.
void RotatePicture(const QImage& source, QImage& destination, int angle, const ProgressCallback& progress = {});

// Every pixel becomes white when (red + green + blue) / 3 > 125, otherwise black.
void ConvertToBW(QImage& picture, const ProgressCallback& progress = {});

// Keeps one colour (filterColour 0 red, 1 green, 2 blue) as black, the rest
// white. Red kept: red >= tRed, green <= tGreen, blue <= tBlue (the others
// alike). Any other filterColour makes every pixel white.
void FilterColors(QImage& picture, int filterColour, int tRed, int tGreen, int tBlue,
                  const ProgressCallback& progress = {});

// Each pixel except the last column and the top row becomes white when the mean
// of the rounded-up channel quarters of the 2 x 2 block formed with its right,
// upper and upper-right neighbours exceeds (filterSensitivity + 1) * 64,
// otherwise black.
void RemoveNoise(QImage& picture, int filterSensitivity, const ProgressCallback& progress = {});

} // namespace kartovo
