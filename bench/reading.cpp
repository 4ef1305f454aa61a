// Reading of the marks of one card after recognition ("&Czytaj"): grid drawn
// again, every cell tested, boxes and counts drawn, table sorted and valued.
// The clean grid stands for the cut-out of a 20-column, 50-row card (7 x 4.6
// mm cells) after the black-and-white conversion, one pen mark per column.
#include "reading/ReadingState.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>

using namespace kartovo;

namespace {

constexpr int kColumns = 20;
constexpr int kRows = 50;

Record Parameter() {
    Record p;
    for (const auto& [column, value] : std::initializer_list<std::pair<const char*, QVariant>>{
             {"Gestosc", kColumns - 1}, {"SkalaSiatki", kRows}, {"OG", 12.0}, {"OD", 10.0}, {"GLK", 11.6},
             {"DLK", 10.4}, {"LS", 11.0}, {"Format", "0.00"}, {"Probka", 5}, {"TypKarty", 2}})
        p.set(column, value);
    return p;
}

QImage CleanGrid(double dpi) {
    const double px = dpi / 25.4;
    const double cw = 7.0 * px, rh = 4.6 * px;
    QImage img(static_cast<int>(kColumns * cw) + 1, static_cast<int>(kRows * rh) + 1, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    QRandomGenerator random(7);
    for (int c = 0; c < kColumns; ++c) {
        const int row = random.bounded(kRows);
        const QPointF centre((c + 0.5) * cw, img.height() - 1 - (row + 0.5) * rh);
        p.drawEllipse(centre, cw * 0.3, rh * 0.3);
    }
    return img;
}

void BM_Czytaj(benchmark::State& st) {
    const double dpi = static_cast<double>(st.range(0));
    const QImage clean = CleanGrid(dpi);
    const Record parameter = Parameter();
    GridGeometry grid;
    (void)UstawZakresyP(parameter, grid);
    ReadingState state;
    QImage p1, p3;
    ReadingState::Hooks hooks;
    hooks.cell = [] {}; // the window's event hook, empty
    hooks.progress = [](int) {};
    for (auto _ : st) {
        const auto result = state.Czytaj(clean, parameter, grid, 0.2, p1, p3, true, hooks);
        benchmark::DoNotOptimize(result.status);
    }
    if (state.MeasurementCount() != kColumns) st.SkipWithError("marks not read");
    st.counters["cells"] = kColumns * kRows;
    st.counters["width"] = clean.width();
    st.counters["height"] = clean.height();
}
BENCHMARK(BM_Czytaj)->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond);

// The same reading without pictures to show (the headless report).
void BM_ReadMeasurements(benchmark::State& st) {
    const QImage clean = CleanGrid(static_cast<double>(st.range(0)));
    const Record parameter = Parameter();
    GridGeometry grid;
    (void)UstawZakresyP(parameter, grid);
    for (auto _ : st) {
        const auto table = ReadMeasurements(clean, parameter, grid, 0.2);
        benchmark::DoNotOptimize(table.ok());
    }
}
BENCHMARK(BM_ReadMeasurements)->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the counts are printed with a font
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
