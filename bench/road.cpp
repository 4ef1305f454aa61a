// The whole road of one card as automatic mode takes it, from the JPEG file to
// the measurement list: decode, recognition with its working files, lookup on
// SQLite, cleaning, grid, reading. Beside it the bare decode of the same file.
#include "CardRenderer.h"
#include "app/CardPipeline.h"
#include "db/BaseSettings.h"
#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "imaging/ImageFile.h"
#include "platform/WorkingFolder.h"
#include "reading/Measurements.h"

#include <QFile>
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
    QString a4_150, a4_300;
};

Setup* g_setup = nullptr;

QString WriteCard(const QString& path, double dpi) {
    CardSpec cardSpec;
    cardSpec.id = 1;
    cardSpec.parameter = g_setup->conn.query(QStringLiteral("Select * from [SPC_Setap] Where ID=1")).rows().value(0);
    cardSpec.name = cardSpec.parameter.value(QStringLiteral("Nazwa")).toString();
    CardStyle style;
    style.page = QPageSize::A4;
    const int columns = cardSpec.parameter.value(QStringLiteral("Gestosc")).toInt() + 1;
    ScanDefects defects;
    defects.noise = 4.0;
    const QImage card = ApplyScanDefects(RenderCard(cardSpec, style, dpi, RandomMarks(columns, 20, 3), 3), defects);
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
    auto setup = std::make_unique<Setup>();
    g_setup = setup.get();
    const QString demo = setup->dir.filePath(QStringLiteral("demo"));
    if (CreateDemoDatabase(demo).isEmpty() || !setup->conn.openSqliteFile(demo + QStringLiteral("/Norv.mdb"))) {
        std::fprintf(stderr, "cannot create the demo database\n");
        return 1;
    }
    LoadBaseSettings(setup->conn, setup->base);
    SetProgramFolder(setup->dir.filePath(QStringLiteral("work")));
    setup->a4_150 = WriteCard(setup->dir.filePath(QStringLiteral("a4-150.jpg")), 150);
    setup->a4_300 = WriteCard(setup->dir.filePath(QStringLiteral("a4-300.jpg")), 300);

    benchmark::RegisterBenchmark("Decode/A4_150dpi_jpeg", Decode, &setup->a4_150)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Road/A4_150dpi_jpeg", Road, &setup->a4_150)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Decode/A4_300dpi_jpeg", Decode, &setup->a4_300)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Road/A4_300dpi_jpeg", Road, &setup->a4_300)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
