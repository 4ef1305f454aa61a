// Image operations on an A4 page scanned at 300 dpi (2480 x 3508, 32-bit),
// beside one plain memcpy of the same 34.8 MB measured in the same run.
//
//   cmake --build <build> --target bench_imaging && <build>/bench/bench_imaging
#include "imaging/ImageFile.h"
#include "imaging/PicMod.h"

#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <vector>

using namespace kartovo;

namespace {

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;

// Random pixels: every comparison of the operations goes either way.
const QImage& page() {
    static const QImage img = [] {
        QImage p(kWidth, kHeight, QImage::Format_RGB32);
        std::mt19937 rng(1);
        for (int y = 0; y < kHeight; ++y) {
            auto* line = reinterpret_cast<quint32*>(p.scanLine(y));
            for (int x = 0; x < kWidth; ++x) line[x] = rng() | 0xff000000u;
        }
        return p;
    }();
    return img;
}

std::size_t pageBytes() { return static_cast<std::size_t>(page().sizeInBytes()); }

// A picture of its own (not shared with page()), so that writing into it
// neither detaches nor allocates inside the timed region.
QImage workingCopy() {
    QImage work(kWidth, kHeight, QImage::Format_RGB32);
    std::memcpy(work.bits(), page().constBits(), pageBytes());
    return work;
}

void restore(benchmark::State& state, QImage& work) {
    state.PauseTiming();
    std::memcpy(work.bits(), page().constBits(), pageBytes());
    state.ResumeTiming();
}

int g_lastPercent = 0;
const ProgressCallback kProgress = [](int p) { g_lastPercent = p; };

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pageBytes()));
}

void BM_Memcpy(benchmark::State& state) {
    std::vector<unsigned char> dst(pageBytes());
    for (auto _ : state) {
        std::memcpy(dst.data(), page().constBits(), pageBytes());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    setBytes(state);
}

void BM_ConvertToBW(benchmark::State& state) {
    QImage work = workingCopy();
    for (auto _ : state) {
        restore(state, work);
        ConvertToBW(work, kProgress);
    }
    setBytes(state);
}

void BM_FilterColors(benchmark::State& state) {
    QImage work = workingCopy();
    for (auto _ : state) {
        restore(state, work);
        FilterColors(work, 0, 150, 100, 100, kProgress);
    }
    setBytes(state);
}

void BM_RemoveNoise(benchmark::State& state) {
    QImage work = workingCopy();
    for (auto _ : state) {
        restore(state, work);
        RemoveNoise(work, 1, kProgress);
    }
    setBytes(state);
}

void BM_RotatePicture(benchmark::State& state) {
    const int angle = static_cast<int>(state.range(0));
    QImage dst;
    RotatePicture(page(), dst, angle); // the destination's memory exists before timing
    for (auto _ : state) {
        RotatePicture(page(), dst, angle, kProgress);
        benchmark::DoNotOptimize(dst.constBits());
    }
    setBytes(state);
}

// The working bitmaps are 24-bit files written over the previous card's.
void BM_SavePictureBitmap(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("temp.bmp"));
    for (auto _ : state) {
        if (!SavePictureBitmap(page(), path)) state.SkipWithError("cannot write the bitmap");
    }
    setBytes(state);
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertToBW)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterColors)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotatePicture)->Arg(90)->Arg(270)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePictureBitmap)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
