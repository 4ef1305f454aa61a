// Recognition of one card as the program does it, against the time to only
// decode the same JPEG file: load, GetXY (marker searches, grid and code-field
// cut-outs, code reading, working files) and the lookup on an SQLite database.
#include "CardRenderer.h"
#include "app/CardPipeline.h"
#include "db/BaseSettings.h"
#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "imaging/ImageFile.h"
#include "platform/WorkingFolder.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using namespace kartovo;

namespace {

struct Setup {
    QTemporaryDir dir;
    DbConnection conn;
    BaseSettings base;
    QString a5, a4;
};

Setup* g_setup = nullptr;

QString WriteCard(const QString& path, QPageSize::PageSizeId page, double dpi) {
    CardSpec cardSpec;
    cardSpec.id = 1;
    const Recordset rows = g_setup->conn.query(QStringLiteral("Select * from [SPC_Setap] Where ID=1"));
    cardSpec.parameter = rows.rows().value(0);
    cardSpec.name = cardSpec.parameter.value(QStringLiteral("Nazwa")).toString();
    CardStyle style;
    style.page = page;
    const int columns = cardSpec.parameter.value(QStringLiteral("Gestosc")).toInt() + 1;
    QImage card = RenderCard(cardSpec, style, dpi, RandomMarks(columns, 20, 3), 3);
    ScanDefects defects;
    defects.noise = 4.0;
    card = ApplyScanDefects(card, defects);
    if (!card.save(path, "JPG", 85)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return path;
}

void Decode(benchmark::State& state, const QString* path) {
    for (auto _ : state) {
        QImage img;
        LoadPicture(*path, img);
        benchmark::DoNotOptimize(img.constBits());
    }
}

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
        if (!card.DialogAccepted) state.SkipWithError("card not recognised");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    auto setup = std::make_unique<Setup>();
    g_setup = setup.get();
    const QString demo = setup->dir.filePath(QStringLiteral("demo"));
    if (CreateDemoDatabase(demo).isEmpty() || !setup->conn.openSqliteFile(demo + QStringLiteral("/Norv.mdb"))) {
        std::fprintf(stderr, "cannot create the demo database\n");
        return 1;
    }
    LoadBaseSettings(setup->conn, setup->base);
    SetProgramFolder(setup->dir.filePath(QStringLiteral("work")));
    setup->a5 = WriteCard(setup->dir.filePath(QStringLiteral("a5-150.jpg")), QPageSize::A5, 150);
    setup->a4 = WriteCard(setup->dir.filePath(QStringLiteral("a4-300.jpg")), QPageSize::A4, 300);

    benchmark::RegisterBenchmark("Decode/A5_150dpi_jpeg", Decode, &setup->a5)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Recognise/A5_150dpi_jpeg", Recognise, &setup->a5)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Decode/A4_300dpi_jpeg", Decode, &setup->a4)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Recognise/A4_300dpi_jpeg", Recognise, &setup->a4)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
