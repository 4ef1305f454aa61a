// Saving an individual-value card (20 measurements, n = 5) into an SQLite
// SPC_Baza that is empty, and into one holding 1,000,000 rows of other
// parameters plus 10,000 of the card's own parameter. The cost of a save must
// not grow with the table: only the latest n - 1 rows of the parameter are read.
//
//   cmake --build <build> --target bench_saving && <build>/bench/bench_saving
//
// "Synced" runs with the program's own SQLite settings (every commit reaches
// the disk); "NoSync" leaves the disk out so that the database work shows.
#include "db/BaseSettings.h"
#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "evaluation/CardSaver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace kartovo;

namespace {

constexpr int kParameter = 100;
constexpr int kOtherRows = 1'000'000;
constexpr int kOwnRows = 10'000;
constexpr int kMeasurements = 20;

[[noreturn]] void Fail(const char* what, const QString& why) {
    std::fprintf(stderr, "bench_saving: %s: %s\n", what, qPrintable(why));
    std::exit(1);
}

void Exec(DbConnection& conn, const QString& sql) {
    QSqlQuery q(conn.database());
    if (!q.exec(sql)) Fail("setup statement", q.lastError().text() + QStringLiteral(" in ") + sql);
}

// One database file in its own temporary folder, with the demonstration
// definitions and an individual-value parameter of sample size 5.
struct BenchDatabase {
    QTemporaryDir dir;
    DbConnection conn;
    SaveInput input;
    qlonglong lastKey = 0; // rows above this key are the benchmark's own

    explicit BenchDatabase(bool large) {
        const QString path = QDir(dir.path()).filePath(QStringLiteral("Norv.mdb"));
        if (!conn.openSqliteFile(path, false)) Fail("open", conn.lastError().description);
        QElapsedTimer clock;
        clock.start();
        if (!conn.beginTransaction() || !ApplySchema(conn) || !FillDemoData(conn))
            Fail("schema", conn.lastError().description);
        Exec(conn, QStringLiteral("DELETE FROM SPC_Baza"));
        Record p;
        for (const auto& [k, v] : std::initializer_list<std::pair<const char*, QVariant>>{
                 {"ID", kParameter}, {"IDP", 1}, {"LP", 9}, {"Nazwa", QStringLiteral("Masa")}, {"WN", 50.0},
                 {"Format", QStringLiteral("0.00")}, {"TypKarty", 1}, {"Probka", 5}, {"SkalaSiatki", 20},
                 {"Gestosc", 24}, {"OG", 50.5}, {"OD", 49.5}, {"GLK", 50.3}, {"DLK", 49.7}, {"LS", 50.0}})
            p.set(QLatin1String(k), v);
        if (!conn.append(QStringLiteral("SPC_Setap"), p)) Fail("parameter", conn.lastError().description);
        if (large) {
            // Generated inside SQLite in one statement per kind: seconds, not minutes.
            auto insert = [](int count, const QString& idpk, int lp) {
                return QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < ") +
                       QString::number(count) +
                       QStringLiteral(") INSERT INTO SPC_Baza (IDP, IDPK, P, CzyOb, Data, Czas, ID1, ID2, ID3, "
                                      "W1, W2, W3, W4, W5, Srednia, Odchylenie, Rozstep, Dodat, Mediana, Lp, Mini, "
                                      "Maxi, GX, DX, SX) SELECT 1, ") +
                       idpk +
                       QStringLiteral(", '0', 1, date('2020-01-01', '+' || (x / 400) || ' days'), "
                                      "printf('%02d:%02d', (x / 60) % 24, x % 60), 'Jan Kowalski', 'II', "
                                      "'P-' || (x % 97), 50 + (x % 7) / 100.0, 50.01, 49.99, 50.02, 50.0, 50.004, "
                                      "0.011, 0.03, 50.005, 50.0, ") +
                       QString::number(lp) + QStringLiteral(", 49.99, 50.02, 50.3, 49.7, 50.0 FROM c");
            };
            Exec(conn, insert(kOtherRows, QStringLiteral("1000 + x % 500"), 5));
            Exec(conn, insert(kOwnRows, QString::number(kParameter), 1));
        }
        if (!conn.commit()) Fail("commit", conn.lastError().description);
        Exec(conn, QStringLiteral("ANALYZE"));

        BaseSettings base;
        LoadBaseSettings(conn, base);
        bool ok = false;
        input.parameter = conn.query(QStringLiteral("Select * from [SPC_Setap] Where ID=%1").arg(kParameter), &ok)
                              .rows()
                              .value(0);
        input.program = conn.query(QStringLiteral("Select * from [SPC_Programy] Where ID=1"), &ok).rows().value(0);
        input.constants = base.SampleConstants;
        SampleIdentification id;
        id.date = QStringLiteral("2025-06-02");
        id.time = QStringLiteral("06:00");
        id.descriptive = {QStringLiteral("Anna Nowak"), QStringLiteral("I"), QStringLiteral("P-5001")};
        input.identification = id;
        for (int i = 0; i < kMeasurements; ++i) input.measurements.append({QVariant(49.9 + 0.01 * i), i + 1});
        lastKey = conn.query(QStringLiteral("Select max(ID) AS k from [SPC_Baza]"), &ok)
                      .rows()
                      .value(0)
                      .value(QStringLiteral("k"))
                      .toLongLong();
        std::fprintf(stderr, "bench_saving: %s table ready in %.1f s\n", large ? "large" : "empty",
                     static_cast<double>(clock.elapsed()) / 1000.0);
    }
};

BenchDatabase& Database(bool large) {
    static std::unique_ptr<BenchDatabase> empty, big;
    auto& slot = large ? big : empty;
    if (!slot) slot = std::make_unique<BenchDatabase>(large);
    return *slot;
}

void SaveCardBench(benchmark::State& state) {
    const bool large = state.range(0) != 0;
    const bool synced = state.range(1) != 0;
    BenchDatabase& db = Database(large);
    Exec(db.conn, synced ? QStringLiteral("PRAGMA synchronous=FULL") : QStringLiteral("PRAGMA synchronous=OFF"));
    for (auto _ : state) {
        const SaveResult r = SaveCard(db.conn, db.input);
        if (r.outcome != SaveOutcome::Stored || r.rowsStored != kMeasurements) {
            state.SkipWithError(qPrintable(r.error));
            break;
        }
        state.PauseTiming();
        // Every iteration saves into the same table.
        Exec(db.conn, QStringLiteral("DELETE FROM SPC_Baza WHERE ID > %1").arg(db.lastKey));
        state.ResumeTiming();
    }
    state.SetLabel(std::string(large ? "1M other + 10k own rows" : "empty table") + (synced ? ", synced" : ", no sync"));
    state.SetItemsProcessed(state.iterations() * kMeasurements);
}

} // namespace

BENCHMARK(SaveCardBench)
    ->ArgNames({"large", "synced"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
