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

// A host name as part of a claim folder's name on any share: ASCII letters,
// digits and '_' kept, anything else '_' ("" is "stanowisko").
QString SafeName(const QString& text);

// What became of one card of the exchange folder.
struct AutoCardResult {
    bool stored = false;    // rows of the card are in SPC_Baza
    int rows = 0;
    QString parameter{};    // SPC_Setap ID of the card, empty when not recognised
    QString message{};      // why nothing was stored (one line)
    bool alreadyStored = false;  // the record says another look or station stored it
    bool recorded = false;       // the card's hash went into the record table or journal
    bool connectionLost = false; // the database could not be reached
};

// Keys of the text that the picture handed to the processor carries: the
// SHA-256 (hex) and the name of its file, recorded with the card's rows.
inline const QString kCardHashKey = QStringLiteral("KartovoHash");
inline const QString kCardNameKey = QStringLiteral("KartovoPlik");

// Runs one card, decoded from its file, through the pipeline (its working
// copy is "temp.bmp" in the working folder), the reading and the automatic
// save, without any window.
class AutoCardProcessor {
public:
    AutoCardProcessor(DbConnection& conn, const BaseSettings& base, CardPictures& pictures);
    void setOptions(const StationOptions& options) { m_options = options; }
    // Status and progress of the pipeline (the main window), none by default.
    void setView(PipelineView* view) { m_view = view; }
    // The picture's kCardHashKey/kCardNameKey texts, when set, are recorded
    // with the rows.
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

// One look into the exchange folder ("tick"), shared by the main window and
// the headless run. Several stations may serve one folder (also on a network
// share):
//  - a file is taken when its size and modification time have stood still
//    for the settle time (at once when it is already that old);
//  - it is claimed by renaming it into this station's hidden claim folder
//    (".kartovo-<host>-<pid>"), so no other station sees it meanwhile; it is
//    then deleted (stored, deletion on) or renamed back;
//  - claims of a station that died are returned: at once for a dead process
//    of this host, after the claim timeout otherwise;
//  - a file that does not decode whole (still being written, truncated) is
//    never stored;
//  - the card's SHA-256 is recorded in the database with its rows
//    (Kartovo_ZapisaneKarty), so a card is stored once whichever station
//    or look takes it; a database without that table falls back to the file
//    journal of this station;
//  - a lost database connection is logged once and tried again at every
//    look, the cards waiting in the folder.
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
    // A file is taken when its size and modification time have not changed
    // for this long (10 s by default).
    void setSettleMs(int ms) { m_settleMs = ms; }
    int settleMs() const { return m_settleMs; }
    // A claim folder of another host (or an unknown one) untouched this long
    // is taken for a crashed station's and its files are returned.
    void setClaimTimeoutMs(qint64 ms) { m_claimTimeoutMs = ms; }
    // The database of the record of stored cards; the run's connection by default.
    void setDatabase(DbConnection* conn) { m_conn = conn; }
    // This station's claim folder inside the exchange folder.
    QString claimFolder() const;

    struct Summary {
        int stored = 0;    // cards stored in this tick
        int refused = 0;   // cards read but not stored, files that are not cards
        int waiting = 0;   // files still being written
        int skipped = 0;   // cards stored before
        int deleted = 0;
    };
    Summary tick();

    // Name of the journal file in the working folder (where the database
    // has no record table).
    static QString journalName();
    static QByteArray fileHash(const QByteArray& content);
    bool journalHas(const QByteArray& hash) const { return m_known.contains(hash); }
    // False while the database cannot be reached.
    bool databaseReachable() const { return !m_connectionLost; }

private:
    struct Look {
        qint64 size = -1;
        QDateTime modified;
        QDateTime since;         // first look that saw this size and time
        bool knownStored = false; // its content is stored
    };
    enum class Taken { Stored, Known, Kept, Lost };
    DbConnection& database() const;
    // Logs `line` unless the same outcome of the same file was logged last time.
    void report(const QString& name, const QString& line);
    void returnStaleClaims();
    bool claim(const QString& name, QString& claimed);
    void giveBack(const QString& claimed, const QString& name);
    void finish(const QString& claimed, const QString& name, bool remove, Summary& summary);
    struct Claimed; // a claimed file, read and being decoded on the second thread
    Claimed begin(const QString& name, const QString& claimed);
    Taken take(Claimed& file, Summary& summary);
    bool checkDatabase();

    Processor m_processor;
    QString m_folder;
    bool m_deleteStored = false;
    int m_settleMs = 10000;
    qint64 m_claimTimeoutMs = 5 * 60 * 1000;
    Log m_log;
    std::function<bool()> m_stop;
    Clock m_clock;
    DbConnection* m_conn = nullptr;
    QSet<QByteArray> m_known;
    QHash<QString, Look> m_previousLook;
    QHash<QString, QString> m_lastLine;
    bool m_connectionLost = false;
    bool m_fileJournalWarned = false;
    int m_linesThisLook = 0;
};

} // namespace kartovo
