// Shared by the card benchmarks: a demo database in a temporary folder, rendered
// JPEG cards of its parameter 1, and the bare decode to compare with.
#pragma once

#include "CardRenderer.h"
#include "db/BaseSettings.h"
#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "imaging/ImageFile.h"
#include "platform/WorkingFolder.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>

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

} // namespace kartovo::bench
