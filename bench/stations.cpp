// Automatic mode with several stations on one exchange folder and one
// (SQLite) database: cards per minute of one `kartovo --auto --once` process
// and of two at once, and what the exactly-once machinery costs per card:
// the claim (a rename into the claim folder and one back) and the save with
// its record row against the plain save.
//
//   cmake --build <build> --target bench_stations kartovo && <build>/bench/bench_stations
#include "CardBench.h"

#include "db/StoredCards.h"
#include "platform/SettingsStore.h"
#include "evaluation/CardSaver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <unistd.h>

using namespace kartovo;
using namespace kartovo::bench;

namespace {

constexpr int kCards = 24;
CardBenchSetup* g_db = nullptr;
QString g_cards, g_folder, g_ini;

QString Kartovo() { return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../src/kartovo")); }

// Cards of parameter 1 with marks of their own (each a different card).
void WriteCards() {
    CardSpec cardSpec;
    cardSpec.id = 1;
    cardSpec.parameter = g_db->conn.query(QStringLiteral("Select * from [SPC_Setap] Where ID=1")).rows().value(0);
    cardSpec.name = cardSpec.parameter.value(QStringLiteral("Nazwa")).toString();
    const int columns = cardSpec.parameter.value(QStringLiteral("Gestosc")).toInt() + 1;
    QDir().mkpath(g_cards);
    for (int k = 0; k < kCards; ++k) {
        const QImage card = RenderCard(cardSpec, CardStyle(), 150.0, RandomMarks(columns, 20, 100 + k), 100 + k);
        card.save(g_cards + QStringLiteral("/karta%1.png").arg(k, 2, 10, QChar(u'0')), "PNG");
    }
}

// The folder filled again and the record emptied, so that every card is new.
void Refill() {
    for (const QString& f : QDir(g_folder).entryList(QDir::Files)) QFile::remove(g_folder + u'/' + f);
    for (const QString& f : QDir(g_cards).entryList(QDir::Files)) QFile::copy(g_cards + u'/' + f, g_folder + u'/' + f);
    g_db->conn.execute(QStringLiteral("DELETE FROM [%1]").arg(kStoredCardsTable));
}

void Stations(benchmark::State& state) {
    const int stations = static_cast<int>(state.range(0));
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Refill();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < stations; ++i) {
            auto p = std::make_unique<QProcess>();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("KARTOVO_WORKDIR"), g_db->dir.filePath(QStringLiteral("work%1").arg(i)));
            env.remove(QStringLiteral("DISPLAY"));
            p->setProcessEnvironment(env);
            p->start(Kartovo(), {QStringLiteral("--settings"), g_ini, QStringLiteral("--auto"), QStringLiteral("--once"),
                                 g_folder});
            runs.push_back(std::move(p));
        }
        for (auto& p : runs) p->waitForFinished(600000);
        seconds += clock.elapsed() / 1000.0;
    }
    const int left = static_cast<int>(QDir(g_folder).entryList(QDir::Files).size());
    if (left != 0) state.SkipWithError("cards left in the folder");
    state.counters["cards_per_min"] = kCards * 60.0 * static_cast<double>(state.iterations()) / seconds;
}

// The claim of one card: into the hidden claim folder and back.
void Claim(benchmark::State& state) {
    const QString file = g_folder + QStringLiteral("/karta.png");
    const QString claimDir = g_folder + QStringLiteral("/.kartovo-bench-1");
    QDir().mkpath(claimDir);
    QFile::copy(g_cards + QStringLiteral("/karta00.png"), file);
    const QByteArray from = QFile::encodeName(file), to = QFile::encodeName(claimDir + QStringLiteral("/karta.png"));
    for (auto _ : state) {
        if (::rename(from.constData(), to.constData()) != 0 || ::rename(to.constData(), from.constData()) != 0)
            state.SkipWithError("rename failed");
    }
    QFile::remove(file);
    QDir().rmdir(claimDir);
}

// One sample card saved with (1) and without (0) its record row.
void Save(benchmark::State& state) {
    const bool recorded = state.range(0) != 0;
    SaveInput in;
    for (int i = 0; i < 10; ++i) in.measurements.append({QVariant(20.0 + i / 100.0), i + 1});
    in.parameter = g_db->conn.query(QStringLiteral("Select * from [SPC_Setap] Where ID=1")).rows().value(0);
    in.program = g_db->conn.query(QStringLiteral("Select * from [SPC_Programy] Where ID=1")).rows().value(0);
    in.constants = g_db->base.SampleConstants;
    in.descriptiveCount = g_db->base.DataIdentificationCount;
    static qint64 serial = 0;
    for (auto _ : state) {
        if (recorded) {
            in.cardHash = QByteArray::number(++serial).rightJustified(64, '0');
            in.cardName = QStringLiteral("karta.png");
        }
        const SaveResult r = SaveCard(g_db->conn, in);
        if (r.outcome != SaveOutcome::Stored) state.SkipWithError(qPrintable(r.error));
    }
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    CardBenchSetup setup;
    if (!setup.open()) return 1;
    g_db = &setup;
    g_cards = setup.dir.filePath(QStringLiteral("karty"));
    g_folder = setup.dir.filePath(QStringLiteral("wymiana"));
    QDir().mkpath(g_folder);
    WriteCards();
    // The demo's settings, with the cards taken at once and deleted once stored.
    g_ini = setup.dir.filePath(QStringLiteral("demo/NORV_SPC.ini"));
    {
        SettingsStore ini(g_ini);
        ini.write(QStringLiteral("Start"), QStringLiteral("AutoZwloka"), QStringLiteral("0"));
        ini.write(QStringLiteral("Start"), QStringLiteral("Automat1"), QStringLiteral("1"));
        ini.sync();
    }
    PrepareStoredCards(setup.conn);

    benchmark::RegisterBenchmark("Stations", Stations)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
    benchmark::RegisterBenchmark("Claim", Claim)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Save", Save)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
