// Recognition of one scanned card (marker searches with their trace, grid and
// code-field cut-outs, code reading) against the time to decode the same JPEG.
#include "CardRenderer.h"
#include "imaging/ImageFile.h"
#include "recognition/Recognition.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace kartovo;

namespace {

struct Sample {
    const char* name;
    QPageSize::PageSizeId page;
    double dpi;
    int gestosc, rows;
};

constexpr Sample kSamples[] = {{"A5_150dpi", QPageSize::A5, 150, 9, 20}, {"A4_300dpi", QPageSize::A4, 300, 20, 40}};

QTemporaryDir& Folder() {
    static QTemporaryDir dir;
    return dir;
}

// Renders the sample once, as a noisy JPEG scan, and returns its file.
QString CardFile(int index) {
    static QString files[std::size(kSamples)];
    if (!files[index].isEmpty()) return files[index];
    const Sample& s = kSamples[index];
    CardSpec cardSpec;
    cardSpec.id = 4711;
    cardSpec.name = QStringLiteral("Średnica");
    cardSpec.program = QStringLiteral("Wałek");
    for (const auto& [column, value] : std::initializer_list<std::pair<const char*, QVariant>>{
             {"Gestosc", s.gestosc}, {"SkalaSiatki", s.rows}, {"OG", 12.0}, {"OD", 10.0},
             {"GLK", 11.6}, {"DLK", 10.4}, {"LS", 11.0}, {"Format", "0.00"}})
        cardSpec.parameter.set(column, value);
    CardStyle style;
    style.page = s.page;
    style.paper = QColor(246, 241, 228);
    QImage card = RenderCard(cardSpec, style, s.dpi, RandomMarks(s.gestosc + 1, s.rows, 1), 1);
    ScanDefects defects;
    defects.noise = 6.0;
    card = ApplyScanDefects(card, defects);
    files[index] = Folder().filePath(QStringLiteral("%1.jpg").arg(s.name));
    card.save(files[index], "JPEG", 85);
    return files[index];
}

void BM_Decode(benchmark::State& state) {
    const QString file = CardFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QImage img(file);
        benchmark::DoNotOptimize(img.constBits());
    }
    state.SetLabel(kSamples[state.range(0)].name);
}

// Searches, cut-outs and code on the decoded card; no trace picture.
void BM_Recognise(benchmark::State& state) {
    const QImage img(CardFile(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        RecognitionResult r = RecogniseCard(img, {}, false);
        if (r.code.id != 4711) state.SkipWithError("card not recognised");
        benchmark::DoNotOptimize(r.grid.constBits());
    }
    state.SetLabel(kSamples[state.range(0)].name);
}

// What GetXY does from the file on: decode, searches, cut-outs, code.
void BM_DecodeAndRecognise(benchmark::State& state) {
    const QString file = CardFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QImage card;
        if (!LoadPicture(file, card)) state.SkipWithError("card not loaded");
        RecognitionResult r = RecogniseCard(std::move(card), {}, false);
        if (r.code.id != 4711) state.SkipWithError("card not recognised");
        benchmark::DoNotOptimize(r.grid.constBits());
    }
    state.SetLabel(kSamples[state.range(0)].name);
}

// The same with the working files written as GetXY writes them: the trace
// painted on the rows of the card's bitmap, the grid and the code field.
void BM_RecogniseWithFiles(benchmark::State& state) {
    const int index = static_cast<int>(state.range(0));
    const QImage img(CardFile(index));
    const QString trace = Folder().filePath("Markery.bmp");
    for (auto _ : state) {
        RecognitionResult r = RecogniseCard(img, {}, false, [&](const QImage& card, const MarkerSearch& search) {
            const SearchTrace rows(search);
            SavePictureBitmap(card, trace, nullptr, [&rows](int row, uchar* bgr) { rows.paintRow(row, bgr); });
        });
        if (r.code.id != 4711) state.SkipWithError("card not recognised");
        SavePictureBitmap(r.grid, Folder().filePath(QStringLiteral("work_%1.bmp").arg(index)));
        SavePictureBitmap(r.codeField, Folder().filePath("Kod.bmp"));
    }
    state.SetLabel(kSamples[index].name);
}

BENCHMARK(BM_Decode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recognise)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAndRecognise)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecogniseWithFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
