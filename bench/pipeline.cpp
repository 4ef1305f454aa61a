// Recognition of one card as the program does it, against the time to only
// decode the same JPEG file: load, GetXY (marker searches, grid and code-field
// cut-outs, code reading, working files) and the lookup on an SQLite database.
#include "CardBench.h"
#include "app/CardPipeline.h"

#include <QGuiApplication>

#include <memory>

using namespace kartovo;
using namespace kartovo::bench;

namespace {

CardBenchSetup* g_setup = nullptr;

void Recognise(benchmark::State& state, const QString* path) {
    CardState card;
    CardPictures pictures;
    CardPipeline pipeline(card, pictures, g_setup->conn, g_setup->base);
    card.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
    for (auto _ : state) {
        QImage img;
        LoadPicture(*path, img);
        pictures.setImage(Picture::P2, std::move(img));
        card.resetCard();
        card.DialogAccepted = true;
        pipeline.GetXY(false);
        pipeline.waitForFiles(); // the card's working files are part of its recognition
        if (!card.DialogAccepted) state.SkipWithError("card not recognised");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    auto setup = std::make_unique<CardBenchSetup>();
    g_setup = setup.get();
    if (!setup->open()) return 1;
    const QString a5 = setup->writeCard(QStringLiteral("a5-150.jpg"), QPageSize::A5, 150);
    const QString a4 = setup->writeCard(QStringLiteral("a4-300.jpg"), QPageSize::A4, 300);

    benchmark::RegisterBenchmark("Decode/A5_150dpi_jpeg", Decode, &a5)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Recognise/A5_150dpi_jpeg", Recognise, &a5)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Decode/A4_300dpi_jpeg", Decode, &a4)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Recognise/A4_300dpi_jpeg", Recognise, &a4)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
