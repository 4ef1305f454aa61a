// The whole road of one card as automatic mode takes it, from the JPEG file to
// the measurement list: the file read and hashed for the journal, decoded,
// recognition with its working files, lookup on SQLite, cleaning, grid,
// reading (the save is measured by bench_saving). Beside it the bare decode of
// the same file.
#include "CardBench.h"
#include "app/AutoMode.h"
#include "app/CardPipeline.h"
#include "reading/Measurements.h"

#include <QFile>

using namespace kartovo;
using namespace kartovo::bench;

namespace {

void Road(benchmark::State& state, const QString* path) {
    CardState card;
    CardPictures pictures;
    CardPipeline pipeline(card, pictures, g_setup->conn, g_setup->base);
    StationOptions options;
    options.convertToBW = true;
    pipeline.setOptions(options);
    pipeline.setAutoMode(true);
    MeasurementTable table;
    pipeline.setReadCommand([&] { // as automatic mode reads
        auto read = ReadDrawnGrid(pictures.image(Picture::P1), card.CardParameter, card.Grid, 0.2);
        card.DialogAccepted = read.ok();
        table = read ? std::move(*read) : MeasurementTable();
    });
    card.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
    for (auto _ : state) {
        QFile file(*path);
        file.open(QIODevice::ReadOnly);
        const QByteArray content = file.readAll();
        benchmark::DoNotOptimize(AutoMode::fileHash(content));
        QImage picture;
        LoadPictureData(content, *path, picture);
        card.resetCard();
        pipeline.ZaladujPlikGraf(false, std::move(picture));
        if (!card.DialogAccepted || table.empty()) state.SkipWithError("card not read");
    }
    state.counters["marks"] = static_cast<double>(table.size());
}

} // namespace

int main(int argc, char** argv) {
    return RunCardBenchmarks(argc, argv, "Road", Road, {{"A4_150dpi", QPageSize::A4, 150}, {"A4_300dpi", QPageSize::A4, 300}});
}
