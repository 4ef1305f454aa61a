// Recognition of one card as the program does it, against the time to only
// decode the same JPEG file: load, then the window's two stages: GetXY (marker
// searches, grid and code-field cut-outs, code reading, working files) and
// the lookup on an SQLite database.
#include "CardBench.h"
#include "app/CardPipeline.h"

using namespace kartovo;
using namespace kartovo::bench;

namespace {

void Recognise(benchmark::State& state, const QString* path) {
    CardState card;
    CardPictures pictures;
    CardPipeline pipeline(card, pictures, g_setup->conn, g_setup->base);
    card.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
    for (auto _ : state) {
        QImage img;
        LoadPicture(*path, img);
        pipeline.begin(false);
        pipeline.prepare(std::move(img));
        pipeline.identify();
        pipeline.waitForFiles(); // the card's working files are part of its recognition
        if (!card.DialogAccepted) state.SkipWithError("card not recognised");
    }
}

} // namespace

int main(int argc, char** argv) {
    return RunCardBenchmarks(argc, argv, "Recognise", Recognise, {{"A5_150dpi", QPageSize::A5, 150}, {"A4_300dpi", QPageSize::A4, 300}});
}
