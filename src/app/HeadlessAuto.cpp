#include "app/HeadlessAuto.h"

#include "app/AutoMode.h"
#include "app/CardPictures.h"
#include "app/Startup.h"
#include "app/StartupDatabase.h"
#include "db/DbSession.h"
#include "db/StoredCards.h"
#include "platform/Messages.h"
#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>

namespace kartovo {

namespace {

std::atomic<bool> g_stop{false};

extern "C" void RequestStop(int) { g_stop.store(true); }

} // namespace

int RunAutoCommand(const AutoCommandOptions& command) {
    const QString& folder = command.folder;
    const bool once = command.once;
    SettingsStore store;
    const StationOptions options = ReadStationOptions(store);
    const QString exchange = folder.isEmpty() ? options.exchangeFolder : folder;
    if (exchange.isEmpty()) {
        std::fprintf(stderr, "kartovo: brak katalogu plików wymiany (ustawienie Start/AutoDir albo --auto KATALOG).\n");
        return kAutoUsage;
    }
    // Nobody is there to notice a wrong setting later: the run does not start on one.
    if (!options.invalidNumbers.isEmpty()) {
        std::fprintf(stderr, "kartovo: %s\n", qPrintable(JoinLines(InvalidNumbersMessage(options))));
        return kAutoSetupFault;
    }
    RunState run;
    if (const Result<void> checked = CheckDatabaseConfiguration(store, run, {}); !checked) {
        ShowStartupRefusal(checked.refusal(), store);
        return kAutoSetupFault;
    }
    // Unreachable at start-up: the run ends (a service manager starts it again).
    if (!RunDatabaseStartup(run.database)) return kAutoSetupFault;

    CardPictures pictures;
    AutoCardProcessor processor(Conn(), Base(), pictures);
    processor.setOptions(options);
    AutoMode mode([&](QImage picture) { return processor.process(std::move(picture)); });
    mode.setFolder(exchange);
    mode.setDeleteStored(options.deleteProcessedFile);
    const int settle = command.settleSeconds >= 0 ? command.settleSeconds : options.settleSeconds;
    mode.setSettleMs(settle * 1000);
    mode.setStopRequested([] { return g_stop.load(); });
    std::fprintf(stderr, "kartovo auto: katalog %s, stanowisko %s, zwłoka %d s%s\n", qPrintable(mode.folder()),
                 qPrintable(StationName()), settle, options.deleteProcessedFile ? ", zapisane pliki są usuwane" : "");

    if (once) {
        mode.tick();
        return mode.databaseReachable() ? kAutoOk : kAutoDatabaseLost;
    }

    // The handler only sets a flag; the loop looks at it between cards and ticks.
    g_stop.store(false);
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    QTimer next;
    next.setSingleShot(true);
    next.setInterval(std::max(1, command.intervalSeconds) * 1000);
    QObject::connect(&next, &QTimer::timeout, [&] {
        mode.tick();
        // The next look follows 30 s after this one ended.
        if (!g_stop.load()) next.start();
    });
    QTimer watch;
    watch.setInterval(200);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (g_stop.load()) QCoreApplication::exit(kAutoOk);
    });
    watch.start();
    QTimer::singleShot(0, [&] {
        mode.tick();
        if (!g_stop.load()) next.start();
    });
    const int code = QCoreApplication::exec();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::fprintf(stderr, "kartovo auto: zakończono\n");
    return code;
}

} // namespace kartovo
