// The whole road of one card as automatic mode takes it, from the JPEG file to
// the measurement list: decode, recognition with its working files, lookup on
// SQLite, cleaning, grid, reading. Beside it the bare decode of the same file.
#include "CardBench.h"
#include "app/CardPipeline.h"
#include "reading/Measurements.h"

#include <QFile>
#include <QGuiApplication>

#include <memory>

using namespace kartovo;
using namespace kartovo::bench;

namespace {

CardBenchSetup* g_setup = nullptr;

void Road(benchmark::State& state, const QString* path) {
    CardState card;
    CardPictures pictures;
    CardPipeline pipeline(card, pictures, g_setup->conn, g_setup->base);
    StationOptions options;
    options.convertToBW = true;
    pipeline.setOptions(options);
    pipeline.setAutoMode(true);
    MeasurementTable table;
    pipeline.setReadCommand([&] {
        card.DialogAccepted =
            ReadMeasurements(pictures.image(Picture::P2), card.CardParameter.current(), card.Grid, 0.2, table);
    });
    const QString copy = WorkingFile(QStringLiteral("karta.jpg"));
    for (auto _ : state) {
        QFile::remove(copy);
        QFile::copy(*path, copy); // automatic mode works on a copy of the scan
        card.resetCard();
        card.ImagePath = copy;
        pipeline.ZaladujPlikGraf(false);
        if (!card.DialogAccepted || table.empty()) state.SkipWithError("card not read");
    }
    state.counters["marks"] = static_cast<double>(table.size());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    auto setup = std::make_unique<CardBenchSetup>();
    g_setup = setup.get();
    if (!setup->open()) return 1;
    const QString a4_150 = setup->writeCard(QStringLiteral("a4-150.jpg"), QPageSize::A4, 150);
    const QString a4_300 = setup->writeCard(QStringLiteral("a4-300.jpg"), QPageSize::A4, 300);

    benchmark::RegisterBenchmark("Decode/A4_150dpi_jpeg", Decode, &a4_150)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Road/A4_150dpi_jpeg", Road, &a4_150)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Decode/A4_300dpi_jpeg", Decode, &a4_300)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Road/A4_300dpi_jpeg", Road, &a4_300)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
