// The batch road as an operator's station runs it: `kartovo --read` and
// `kartovo --auto --once` over ten A4 cards at 300 dpi and ten at 150 dpi,
// whole processes, beside libjpeg-turbo decoding the same files in this
// process. Times are per card; the peak memory is the child's own.
//
// `--benchmark_filter=Many` adds a look over 1,000 cards (distinct files of
// the same pictures) to show that memory does not grow with the batch.
#include "CardBench.h"
#include "app/DemoSetup.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <turbojpeg.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <memory>

extern char** environ;

using namespace kartovo;
using namespace kartovo::bench;

namespace {

struct Batch {
    QString name;
    QStringList files;
};

QString g_program;  // the kartovo program beside this benchmark
QString g_settings; // the demo settings file
QString g_database; // the demo database and its pristine copy
QString g_pristine;
QString g_work;     // root of the working and exchange folders
std::vector<Batch> g_batches;

// Writes `count` distinct JPEG cards of parameter 2, 25 columns of 20 rows
// (their own marks and noise).
QStringList WriteCards(CardBenchSetup& setup, const QString& prefix, double dpi, int count) {
    CardSpec cardSpec;
    cardSpec.id = 2;
    cardSpec.parameter = setup.conn.query(QStringLiteral("Select * from [SPC_Setap] Where ID=2")).rows().value(0);
    cardSpec.name = cardSpec.parameter.value(QStringLiteral("Nazwa")).toString();
    const int columns = cardSpec.parameter.value(QStringLiteral("Gestosc")).toInt() + 1;
    CardStyle style;
    style.page = QPageSize::A4;
    style.paper = QColor(QStringLiteral("#f6f1e4")); // recycled paper, as the stations use
    QStringList files;
    for (int i = 0; i < count; ++i) {
        ScanDefects defects;
        defects.noise = 6.0;
        defects.seed = static_cast<quint32>(i + 1);
        const QImage card = ApplyScanDefects(
            RenderCard(cardSpec, style, dpi, RandomMarks(columns, 20, static_cast<quint32>(i + 7)), 3), defects);
        const QString path = setup.dir.filePath(QStringLiteral("%1-%2.jpg").arg(prefix).arg(i, 2, 10, QLatin1Char('0')));
        if (!card.save(path, "JPG", 85)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        files << path;
    }
    return files;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Seconds a card (shown as 120m = 120 ms).
benchmark::Counter PerCard(const benchmark::State& state, const Batch& batch) {
    return benchmark::Counter(static_cast<double>(state.iterations()) * batch.files.size(),
                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// What any program must pay at least: the file read and libjpeg-turbo's
// accurate decode into four bytes a pixel, each card into a new picture (as
// a decoder returning pictures does) or, the lowest floor, into one buffer
// reused for every card (no page of it is faulted in twice).
void BareDecode(benchmark::State& state, const Batch* batch, bool reuse) {
    tjhandle tj = tjInitDecompress();
    std::vector<unsigned char> reused;
    for (auto _ : state) {
        for (const QString& file : batch->files) {
            const QByteArray jpeg = ReadAll(file);
            int width = 0, height = 0, subsampling = 0, colourspace = 0;
            auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
            if (tjDecompressHeader3(tj, data, jpeg.size(), &width, &height, &subsampling, &colourspace) != 0) {
                state.SkipWithError("not a JPEG");
                break;
            }
            const size_t bytes = static_cast<size_t>(width) * height * 4;
            std::unique_ptr<unsigned char[]> fresh;
            unsigned char* pixels = nullptr;
            if (reuse) {
                reused.resize(bytes);
                pixels = reused.data();
            } else {
                fresh.reset(new unsigned char[bytes]);
                pixels = fresh.get();
            }
            tjDecompress2(tj, data, jpeg.size(), pixels, width, 0, height, TJPF_BGRX, TJFLAG_ACCURATEDCT);
            benchmark::DoNotOptimize(pixels);
        }
    }
    tjDestroy(tj);
    state.counters["per_card"] = PerCard(state, *batch);
}

struct ChildRun {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0; // its own user and system time
    long peakKb = 0;
};

// Runs the program as a station would, output thrown away, and takes its own
// peak memory from wait4().
ChildRun Run(const QStringList& args) {
    std::vector<QByteArray> bytes{g_program.toLocal8Bit()};
    for (const QString& a : args) bytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes) argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.peakKb = usage.ru_maxrss;
    auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    run.cpuSeconds = secs(usage.ru_utime) + secs(usage.ru_stime);
    return run;
}

// The child's processor time is shown too: on a loaded machine it stays
// comparable with the bare decode's CPU column.
void Report(benchmark::State& state, const Batch& batch, long peakKb, double cpuSeconds) {
    state.counters["per_card"] = PerCard(state, batch);
    state.counters["cpu_per_card"] = cpuSeconds / (static_cast<double>(state.iterations()) * batch.files.size());
    state.counters["peak_MB"] = static_cast<double>(peakKb) / 1024.0;
}

void ReadCommand(benchmark::State& state, const Batch* batch) {
    QStringList args{QStringLiteral("--settings"), g_settings, QStringLiteral("--read")};
    args += batch->files;
    // The first card alone as well: the difference is what one more card costs
    // once the program has started.
    const QStringList single = args.mid(0, 4);
    long peak = 0;
    double cpu = 0, all = 0, one = 0;
    for (auto _ : state) {
        const ChildRun run = Run(args);
        const ChildRun first = Run(single);
        if (!run.ok || !first.ok) {
            state.SkipWithError("kartovo --read failed");
            break;
        }
        state.SetIterationTime(run.seconds);
        peak = std::max(peak, run.peakKb);
        cpu += run.cpuSeconds;
        all += run.seconds;
        one += first.seconds;
    }
    Report(state, *batch, peak, cpu);
    if (batch->files.size() > 1)
        state.counters["per_extra_card"] =
            (all - one) / (static_cast<double>(state.iterations()) * (batch->files.size() - 1));
}

// Each look starts from the demo database as created and a folder holding
// only this batch, so every card is new to it and is stored.
void AutoOnce(benchmark::State& state, const Batch* batch) {
    const QString folder = QDir(g_work).filePath(QStringLiteral("wymiana"));
    long peak = 0;
    double cpu = 0;
    for (auto _ : state) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        for (const QString& file : batch->files)
            QFile::copy(file, QDir(folder).filePath(QFileInfo(file).fileName()));
        QFile::remove(g_database);
        QFile::copy(g_pristine, g_database);
        const ChildRun run = Run({QStringLiteral("--settings"), g_settings, QStringLiteral("--auto"), folder,
                                  QStringLiteral("--once"), QStringLiteral("--settle"), QStringLiteral("0")});
        if (!run.ok) {
            state.SkipWithError("kartovo --auto --once failed");
            break;
        }
        state.SetIterationTime(run.seconds);
        peak = std::max(peak, run.peakKb);
        cpu += run.cpuSeconds;
    }
    Report(state, *batch, peak, cpu);
}

// `count` files that differ only in a trailer after the picture's end, so
// each is a new card to the record of stored cards while decoding the same.
QStringList Copies(const QStringList& files, int count, const QString& folder) {
    QDir().mkpath(folder);
    QStringList out;
    for (int i = 0; i < count; ++i) {
        QByteArray content = ReadAll(files[i % files.size()]);
        content += QByteArray::number(i);
        const QString path = QDir(folder).filePath(QStringLiteral("many-%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(content);
        out << path;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    CardBenchSetup setup;
    if (!setup.open()) return 1;
    g_program = QStringLiteral(KARTOVO_PROGRAM);
    const QString demo = setup.dir.filePath(QStringLiteral("demo"));
    QString error;
    g_settings = UseDemoSetup(demo, &error);
    if (g_settings.isEmpty()) {
        std::fprintf(stderr, "demo setup: %s\n", qPrintable(error));
        return 1;
    }
    g_database = demo + QStringLiteral("/Norv.mdb");
    g_pristine = setup.dir.filePath(QStringLiteral("Norv-pristine.mdb"));
    QFile::copy(g_database, g_pristine);
    g_work = setup.dir.filePath(QStringLiteral("station"));
    // The children keep their working files apart from the user's.
    qputenv("KARTOVO_WORKDIR", QFile::encodeName(QDir(g_work).filePath(QStringLiteral("work"))));

    g_batches.reserve(3); // the benchmarks keep pointers to them
    g_batches.push_back({QStringLiteral("A4_300dpi_x10"), WriteCards(setup, QStringLiteral("a4-300"), 300, 10)});
    g_batches.push_back({QStringLiteral("A4_150dpi_x10"), WriteCards(setup, QStringLiteral("a4-150"), 150, 10)});
    const bool many = [&] {
        for (int i = 1; i < argc; ++i)
            if (std::strstr(argv[i], "Many")) return true;
        return false;
    }();
    if (many)
        g_batches.push_back({QStringLiteral("Many_A4_150dpi_x1000"),
                             Copies(g_batches[1].files, 1000, setup.dir.filePath(QStringLiteral("many")))});

    for (const Batch& batch : g_batches) {
        const std::string suffix = "/" + batch.name.toStdString();
        benchmark::RegisterBenchmark(("BareDecode" + suffix).c_str(), BareDecode, &batch, false)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("BareDecodeOneBuffer" + suffix).c_str(), BareDecode, &batch, true)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("ReadCommand" + suffix).c_str(), ReadCommand, &batch)
            ->UseManualTime()
            ->Iterations(batch.files.size() > 100 ? 1 : 5)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("AutoOnce" + suffix).c_str(), AutoOnce, &batch)
            ->UseManualTime()
            ->Iterations(batch.files.size() > 100 ? 1 : 5)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
