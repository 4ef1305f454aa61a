#pragma once

#include "app/CardPictures.h"
#include "app/CardState.h"
#include "app/StationOptions.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QString>
#include <functional>

namespace kartovo {

class DbConnection;
class PipelineView;
struct BaseSettings;

// Interval between the end of one look into the exchange folder and the next.
inline constexpr int kAutoIntervalMs = 30000;

// The folder as automatic mode uses it: names are appended to it directly,
// so it ends with the separator ("" stays "").
QString ExchangeFolderWithSeparator(const QString& folder);

// What became of one card of the exchange folder.
struct AutoCardResult {
    bool stored = false;    // rows of the card are in SPC_Baza
    int rows = 0;
    QString parameter;      // SPC_Setap ID of the card, empty when not recognised
    QString message;        // why nothing was stored (one line)
};

// Runs one card, decoded from its file, through the pipeline (its working
// copy is "temp.bmp" in the working folder), the reading and the automatic
// save, without any window.
class AutoCardProcessor {
public:
    AutoCardProcessor(DbConnection& conn, const BaseSettings& base, CardPictures& pictures);
    void setOptions(const StationOptions& options) { m_options = options; }
    // Status and progress of the pipeline (the main window), none by default.
    void setView(PipelineView* view) { m_view = view; }
    AutoCardResult process(QImage picture);
    const CardState& card() const { return m_card; }

private:
    DbConnection& m_conn;
    const BaseSettings& m_base;
    CardPictures& m_pictures;
    PipelineView* m_view = nullptr;
    StationOptions m_options;
    CardState m_card;
};

// One look into the exchange folder ("tick"): the files ready to be read are
// decoded and handed to the card processor one by one;
// the original is only read, and deleted only after its card was stored (when
// so configured). Cards already stored are remembered by the SHA-256 of their
// file in a journal in the working folder, so a file left in the folder is
// never stored twice. Shared by the main window and the headless run.
class AutoMode {
public:
    using Processor = std::function<AutoCardResult(QImage picture)>;
    using Log = std::function<void(const QString& line)>;
    using Clock = std::function<QDateTime()>;

    explicit AutoMode(Processor processor);

    void setFolder(const QString& folder) { m_folder = ExchangeFolderWithSeparator(folder); }
    QString folder() const { return m_folder; }
    void setDeleteStored(bool on) { m_deleteStored = on; }
    // One line per outcome; standard error by default.
    void setLog(Log log) { m_log = std::move(log); }
    // Asked between two files: true ends the tick after the card in hand.
    void setStopRequested(std::function<bool()> stop) { m_stop = std::move(stop); }
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // A file not seen unchanged at the previous look is taken only when it was
    // last modified at least this long ago.
    void setSettleMs(int ms) { m_settleMs = ms; }

    struct Summary {
        int stored = 0;    // cards stored in this tick
        int refused = 0;   // cards read but not stored, files that are not cards
        int waiting = 0;   // files still being written
        int skipped = 0;   // cards stored before
        int deleted = 0;
    };
    Summary tick();

    // Name of the journal file in the working folder.
    static QString JournalName();
    static QByteArray FileHash(const QByteArray& content);
    bool journalHas(const QByteArray& hash) const { return m_journal.contains(hash); }

private:
    struct Look {
        qint64 size = -1;
        QDateTime modified;
    };
    void loadJournal();
    bool remember(const QByteArray& hash, const QString& name);
    // Logs `line` unless the same outcome of the same file was logged last time.
    void report(const QString& name, const QString& line);
    void removeOriginal(const QString& path, const QString& name, Summary& summary);

    Processor m_processor;
    QString m_folder;
    bool m_deleteStored = false;
    int m_settleMs = 2000;
    Log m_log;
    std::function<bool()> m_stop;
    Clock m_clock;
    QSet<QByteArray> m_journal;
    QHash<QString, Look> m_previousLook;
    QHash<QString, QString> m_lastLine;
};

} // namespace kartovo
