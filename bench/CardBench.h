// Shared by the card benchmarks: a demo database in a temporary folder, rendered
// JPEG cards of its parameter 1, and the bare decode to compare with.
#pragma once

#include "CardRenderer.h"
#include "db/BaseSettings.h"
#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "imaging/ImageFile.h"
#include "platform/WorkingFolder.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace kartovo::bench {

struct CardBenchSetup {
    QTemporaryDir dir;
    DbConnection conn;
    BaseSettings base;

    // Creates and opens the demo database; the working files go to work/.
    bool open() {
        const QString demo = dir.filePath(QStringLiteral("demo"));
        if (CreateDemoDatabase(demo).isEmpty() || !conn.openSqliteFile(demo + QStringLiteral("/Norv.mdb"))) {
            std::fprintf(stderr, "cannot create the demo database\n");
            return false;
        }
        LoadBaseSettings(conn, base);
        SetProgramFolder(dir.filePath(QStringLiteral("work")));
        return true;
    }

    // A filled, slightly noisy card of parameter 1 written as JPEG (quality 85).
    QString writeCard(const QString& name, QPageSize::PageSizeId page, double dpi) {
        const QString path = dir.filePath(name);
        CardSpec cardSpec;
        cardSpec.id = 1;
        cardSpec.parameter = conn.query(QStringLiteral("Select * from [SPC_Setap] Where ID=1")).rows().value(0);
        cardSpec.name = cardSpec.parameter.value(QStringLiteral("Nazwa")).toString();
        CardStyle style;
        style.page = page;
        const int columns = cardSpec.parameter.value(QStringLiteral("Gestosc")).toInt() + 1;
        ScanDefects defects;
        defects.noise = 4.0;
        const QImage card =
            ApplyScanDefects(RenderCard(cardSpec, style, dpi, RandomMarks(columns, 20, 3), 3), defects);
        if (!card.save(path, "JPG", 85)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return path;
    }
};

inline void Decode(benchmark::State& state, const QString* path) {
    for (auto _ : state) {
        QImage img;
        LoadPicture(*path, img);
        benchmark::DoNotOptimize(img.constBits());
    }
}

// A card of the benchmark: its name in the results ("A5_150dpi"), page and resolution.
struct CardPage {
    const char* name;
    QPageSize::PageSizeId page;
    double dpi;
};
using CardBenchmark = void (*)(benchmark::State&, const QString* path);

// The main of a card benchmark: writes each card, registers its bare decode
// beside `measured` (as "<label>/<name>_jpeg") and runs them; g_setup points at
// the database and cards meanwhile.
inline CardBenchSetup* g_setup = nullptr;
inline int RunCardBenchmarks(int argc, char** argv, const char* label, CardBenchmark measured,
                             std::initializer_list<CardPage> pages) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    CardBenchSetup own;
    if (!own.open()) return 1;
    g_setup = &own;
    std::vector<QString> paths;
    paths.reserve(pages.size()); // the benchmarks keep pointers to them
    for (const CardPage& p : pages) {
        paths.push_back(own.writeCard(QString::fromLatin1(p.name).toLower() + QStringLiteral(".jpg"), p.page, p.dpi));
        const std::string suffix = std::string("/") + p.name + "_jpeg";
        benchmark::RegisterBenchmark(("Decode" + suffix).c_str(), Decode, &paths.back())->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((label + suffix).c_str(), measured, &paths.back())->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_setup = nullptr;
    return 0;
}

} // namespace kartovo::bench
