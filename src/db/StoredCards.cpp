#include "db/StoredCards.h"

#include "db/Connection.h"
#include "platform/Logging.h"
#include "platform/SettingsStore.h"
#include "platform/WorkingFolder.h"

#include <QFile>
#include <QHash>
#include <QSysInfo>

namespace kartovo {

namespace {

// Outcome of the table look-up per connection (a reopened connection has a
// new name and is looked at again).
QHash<QString, StoredCardsRecord>& Prepared() {
    static QHash<QString, StoredCardsRecord> prepared;
    return prepared;
}

QString& ConfiguredStation() {
    static QString station;
    return station;
}

bool TableReadable(DbConnection& conn) {
    // A missing table is an expected answer here, not a fault to warn of.
    auto& category = const_cast<QLoggingCategory&>(lcDb());
    const bool warnings = category.isWarningEnabled();
    category.setEnabled(QtWarningMsg, false);
    struct Restore {
        QLoggingCategory& c;
        bool on;
        ~Restore() { c.setEnabled(QtWarningMsg, on); }
    } restore{category, warnings};
    bool ok = false;
    conn.query(QStringLiteral("Select Hash from [%1] Where 1=0").arg(kStoredCardsTable), &ok);
    return ok;
}

bool Reachable(DbConnection& conn) {
    bool ok = false;
    conn.query(QStringLiteral("Select 1"), &ok);
    return ok;
}

struct JournalLine {
    QByteArray hash;
    QString when;
    QString name;
};

QList<JournalLine> ReadJournal(const QString& path) {
    QList<JournalLine> lines;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return lines;
    while (!f.atEnd()) {
        const QList<QByteArray> parts = f.readLine().trimmed().split('\t');
        const QByteArray hash = parts.value(0).trimmed().toLower();
        if (hash.size() != 64) continue;
        lines.append({hash, QString::fromUtf8(parts.value(1)), QString::fromUtf8(parts.value(2))});
    }
    return lines;
}

// Cards stored before the table existed stay known: the journal goes into the
// table once and is then kept under another name.
void ImportFileJournal(DbConnection& conn) {
    const QString path = WorkingFile(StoredCardsJournalName());
    if (!QFile::exists(path)) return;
    int imported = 0;
    for (const JournalLine& line : ReadJournal(path)) {
        if (IsCardStored(conn, line.hash)) continue;
        if (conn.execute(QStringLiteral("INSERT INTO [%1] (Hash, Stacja, Plik, Czas) VALUES (?, ?, ?, ?)")
                             .arg(kStoredCardsTable),
                         {QString::fromLatin1(line.hash), StationName(), line.name.left(255), line.when.left(32)}))
            ++imported;
    }
    const QString done = WorkingFile(QStringLiteral("AutoZapisane-wczytane.txt"));
    QFile::remove(done);
    if (!QFile::rename(path, done))
        qCWarning(lcDb).noquote() << "the journal" << path << "was read into" << kStoredCardsTable
                                  << "but cannot be renamed";
    qCInfo(lcDb).noquote() << imported << "cards of" << path << "recorded in" << kStoredCardsTable;
}

// Opens the journal at a pending line of this station's; a journal gone
// meanwhile is not made again.
bool OpenPending(QFile& f, qint64 at) {
    char mark = 0;
    return at >= 0 && f.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered) && f.seek(at) &&
           f.getChar(&mark) && mark == '-' && f.seek(at);
}

} // namespace

QString StoredCardsJournalName() { return QStringLiteral("AutoZapisane.txt"); }

QString StationName() {
    QString& configured = ConfiguredStation();
    // Read once from the run's settings, by the window and the headless run alike.
    static const QString stored = SettingsStore().read(QStringLiteral("Start"), QStringLiteral("Stanowisko")).trimmed();
    if (configured.isEmpty()) configured = stored.left(255);
    return configured.isEmpty() ? QSysInfo::machineHostName() : configured;
}

void SetStationName(const QString& name) { ConfiguredStation() = name.trimmed().left(255); }

StoredCardsRecord PrepareStoredCards(DbConnection& conn) {
    if (!conn.isOpen()) return StoredCardsRecord::Unreachable;
    const auto known = Prepared().constFind(conn.connectionName());
    if (known != Prepared().constEnd()) return known.value();

    StoredCardsRecord state = StoredCardsRecord::Table;
    if (!TableReadable(conn)) {
        // Plain types only: the same text serves every system.
        const bool created = conn.execute(QStringLiteral("CREATE TABLE [%1] (Hash VARCHAR(64) NOT NULL PRIMARY KEY, "
                                                         "Stacja VARCHAR(255), Plik VARCHAR(255), Czas VARCHAR(32))")
                                              .arg(kStoredCardsTable));
        // Another station may have created it meanwhile.
        if (!created && !TableReadable(conn)) {
            if (!Reachable(conn)) return StoredCardsRecord::Unreachable;
            qCWarning(lcDb).noquote() << "UWAGA: baza danych nie pozwala utworzyć tabeli" << kStoredCardsTable << "("
                                      << conn.lastError().description
                                      << "); zapisane karty są pamiętane tylko w pliku"
                                      << WorkingFile(StoredCardsJournalName())
                                      << "tego stanowiska, bez ochrony przed zapisem tej samej karty na innym stanowisku";
            state = StoredCardsRecord::FileJournal;
        }
    }
    Prepared().insert(conn.connectionName(), state);
    if (state == StoredCardsRecord::Table) ImportFileJournal(conn);
    return state;
}

bool IsCardStored(DbConnection& conn, const QByteArray& hash) {
    if (hash.isEmpty()) return false;
    switch (PrepareStoredCards(conn)) {
    case StoredCardsRecord::FileJournal: return FileJournalHas(hash);
    case StoredCardsRecord::Unreachable: return false;
    case StoredCardsRecord::Table: break;
    }
    bool found = false;
    conn.read(QStringLiteral("Select Hash from [%1] Where Hash=?").arg(kStoredCardsTable),
              [&](const Record&) {
                  found = true;
                  return false;
              },
              {QString::fromLatin1(hash.toLower())});
    return found;
}

bool RecordStoredCard(DbConnection& conn, const QByteArray& hash, const QString& station, const QString& fileName,
                      const QDateTime& when) {
    return conn.execute(
        QStringLiteral("INSERT INTO [%1] (Hash, Stacja, Plik, Czas) VALUES (?, ?, ?, ?)").arg(kStoredCardsTable),
        {QString::fromLatin1(hash.toLower()), station.left(255), fileName.left(255),
         when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
}

qint64 BeginFileJournal(const QByteArray& hash, const QString& fileName, const QDateTime& when) {
    // One line per card: the hash decides, the rest is for whoever reads the file.
    // Unbuffered: a full disk fails the write itself, not a later flush.
    QFile f(WorkingFile(StoredCardsJournalName()));
    if (!f.open(QIODevice::ReadWrite | QIODevice::Unbuffered) || !f.seek(f.size())) return -1;
    const qint64 at = f.pos();
    const QByteArray line =
        '-' + hash.toLower() + '\t' + when.toString(Qt::ISODate).toUtf8() + '\t' + fileName.toUtf8() + '\n';
    if (f.write(line) == line.size()) return at;
    f.resize(at);
    return -1;
}

bool ConfirmFileJournal(qint64 at) {
    QFile f(WorkingFile(StoredCardsJournalName()));
    return OpenPending(f, at) && f.putChar(' ');
}

void WithdrawFileJournal(qint64 at) {
    QFile f(WorkingFile(StoredCardsJournalName()));
    if (OpenPending(f, at)) f.resize(at);
}

bool FileJournalHas(const QByteArray& hash) {
    const QByteArray wanted = hash.toLower();
    for (const JournalLine& line : ReadJournal(WorkingFile(StoredCardsJournalName())))
        if (line.hash == wanted) return true;
    return false;
}

} // namespace kartovo
