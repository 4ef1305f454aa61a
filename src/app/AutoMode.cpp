#include "app/AutoMode.h"

#include "app/CardPipeline.h"
#include "app/CardSave.h"
#include "db/DbSession.h"
#include "db/StoredCards.h"
#include "imaging/ImageFile.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/WorkingFolder.h"
#include "reading/Measurements.h"

#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <future>
#include <optional>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <openssl/sha.h>

namespace kartovo {

QString ExchangeFolderWithSeparator(const QString& folder) {
    if (folder.isEmpty()) return folder;
    if (folder.endsWith(u'/') || folder.endsWith(QDir::separator())) return folder;
    return folder + QDir::separator();
}

AutoCardProcessor::AutoCardProcessor(DbConnection& conn, const BaseSettings& base, CardPictures& pictures)
    : m_conn(conn), m_base(base), m_pictures(pictures) {}

AutoCardResult AutoCardProcessor::process(QImage picture) {
    const QByteArray hash = picture.text(kCardHashKey).toLatin1();
    const QString fileName = picture.text(kCardNameKey);
    m_card.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
    MeasurementTable table;
    QString readRefusal;
    SaveResult saved;
    CardPipeline pipeline(m_card, m_pictures, m_conn, m_base);
    if (m_view) pipeline.setView(m_view);
    pipeline.setOptions(m_options);
    pipeline.setAutoMode(true);
    pipeline.setReadCommand([&] {
        // P1 is the clean grid with the grid drawn by StartPix.
        auto read = ReadDrawnGrid(m_pictures.image(Picture::P1), m_card.CardParameter, m_card.Grid,
                                  ThresholdFraction(m_options.thresholdCaption));
        m_card.DialogAccepted = read.ok();
        readRefusal = read.error();
        table = read ? std::move(*read) : MeasurementTable();
    });
    pipeline.setSaveCommand([&] { saved = SaveAutomaticCard(m_card, table, m_conn, m_base, hash, fileName); });
    pipeline.ZaladujPlikGraf(false, std::move(picture));

    AutoCardResult result;
    result.stored = m_card.Stored;
    result.rows = m_card.RowsStored;
    result.alreadyStored = saved.outcome == SaveOutcome::AlreadyStored;
    result.recorded = saved.recorded;
    result.connectionLost = saved.connectionLost;
    result.parameter = m_card.CardParameter.ID.toString();
    if (!m_card.Fault.isEmpty()) result.message = m_card.Fault;
    else if (!m_card.Refusal.isEmpty()) result.message = m_card.Refusal;
    else if (!readRefusal.isEmpty()) result.message = readRefusal;
    else if (!m_card.SaveError.isEmpty()) result.message = m_card.SaveError;
    else if (!result.stored) result.message = QStringLiteral("Brak pełnej próbki do zapisu.");
    result.message = JoinLines(result.message);
    return result;
}

QString SafeName(const QString& text) {
    QString out;
    for (const QChar c : text) out += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'_' ? c : QChar(u'_');
    return out.isEmpty() ? QStringLiteral("stanowisko") : out;
}

namespace {

const QString kClaimPrefix = QStringLiteral(".kartovo-");

// Names of one or two characters are not cards; the rest is still read.
bool MayBeCard(const QFileInfo& file) { return file.fileName().size() > 2; }

QString ThisHost() { return SafeName(QSysInfo::machineHostName()); }

bool ProcessAlive(qint64 pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// rename(2): atomic within one file system, local or a network share; fails
// when the source is gone, so of two stations only one gets the file. Never
// over a file already there (EEXIST): plain rename(2) would lose that card.
bool RenameFile(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag (some network shares): looked at just before.
    struct stat there;
    if (::lstat(target.constData(), &there) == 0) return errno = EEXIST, false;
    return ::rename(source.constData(), target.constData()) == 0;
}

} // namespace

AutoMode::AutoMode(Processor processor) : m_processor(std::move(processor)) {
    m_log = [](const QString& line) {
        const QByteArray text = line.toUtf8();
        std::fprintf(stderr, "kartovo auto: %s\n", text.constData());
        std::fflush(stderr);
    };
    m_clock = [] { return QDateTime::currentDateTimeUtc(); };
}

QString AutoMode::journalName() { return StoredCardsJournalName(); }

QByteArray AutoMode::fileHash(const QByteArray& content) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(content.constData()), static_cast<size_t>(content.size()), digest);
    return QByteArray(reinterpret_cast<const char*>(digest), SHA256_DIGEST_LENGTH).toHex();
}

DbConnection& AutoMode::database() const { return m_conn ? *m_conn : Conn(); }

QString AutoMode::claimFolder() const {
    if (m_folder.isEmpty()) return {};
    return m_folder + kClaimPrefix + ThisHost() + u'-' + QString::number(QCoreApplication::applicationPid()) + u'/';
}

void AutoMode::report(const QString& name, const QString& line) {
    if (m_lastLine.value(name) == line) return;
    m_lastLine.insert(name, line);
    ++m_linesThisLook;
    m_log(name.isEmpty() ? line : name + QStringLiteral(": ") + line);
}

bool AutoMode::claim(const QString& name, QString& claimed) {
    const QString folder = claimFolder();
    claimed = folder + name;
    for (int attempt = 0;; ++attempt) {
        if (RenameFile(m_folder + name, claimed)) return true;
        const int error = errno;
        // Gone: another station took it first.
        if (!QFileInfo::exists(m_folder + name)) return false;
        // The claim folder is made at the first claim (and may have been
        // cleared away as a stale one meanwhile); made once, then the error is said.
        if (error == ENOENT && attempt == 0 && !QDir(folder).exists()) {
            if (!QDir().mkpath(folder)) {
                report(QString(), QStringLiteral("nie można utworzyć katalogu %1 w katalogu wymiany").arg(folder));
                return false;
            }
            continue;
        }
        report(name, QStringLiteral("nie można przejąć pliku: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
        return false;
    }
}

void AutoMode::giveBack(const QString& claimed, const QString& name) {
    // A new file of the same name that came meanwhile is not overwritten: the
    // first free "name (n)" takes it, and with none free it stays claimed.
    QString target = m_folder + name;
    const QFileInfo fi(name);
    for (int n = 2; !RenameFile(claimed, target); ++n) {
        if (errno != EEXIST || n == 1000) {
            report(name, QStringLiteral("nie można zwrócić pliku do katalogu wymiany (%1)").arg(claimed));
            return;
        }
        target = m_folder + fi.completeBaseName() + QStringLiteral(" (%1)").arg(n) +
                 (fi.suffix().isEmpty() ? QString() : u'.' + fi.suffix());
    }
}

void AutoMode::finish(const QString& claimed, const QString& name, bool remove, Summary& summary) {
    if (!remove) {
        giveBack(claimed, name);
        return;
    }
    if (QFile::remove(claimed)) {
        ++summary.deleted;
        m_log(name + QStringLiteral(": usunięty"));
        ++m_linesThisLook;
        m_lastLine.remove(name);
    } else {
        report(name, QStringLiteral("nie można usunąć pliku"));
        giveBack(claimed, name);
    }
}

void AutoMode::returnStaleClaims() {
    const QDir dir(m_folder);
    const QString mine = QDir(claimFolder()).dirName();
    const QDateTime now = m_clock();
    const QFileInfoList claims =
        dir.entryInfoList({kClaimPrefix + u'*'}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : claims) {
        const QString owner = info.fileName().mid(kClaimPrefix.size());
        const qsizetype dash = owner.lastIndexOf(u'-');
        const QString host = owner.left(dash);
        bool numeric = false;
        const qint64 pid = owner.mid(dash + 1).toLongLong(&numeric);
        bool stale = false;
        if (info.fileName() == mine) stale = true; // left over by a failed return
        else if (numeric && host == ThisHost()) stale = !ProcessAlive(pid);
        else stale = info.lastModified().toUTC().msecsTo(now) >= m_claimTimeoutMs;
        if (!stale) continue;
        const QDir claimDir(info.absoluteFilePath());
        for (const QFileInfo& f : claimDir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (info.fileName() != mine)
                m_log(f.fileName() + QStringLiteral(": zwrócony z porzuconego katalogu %1").arg(info.fileName()));
            giveBack(f.absoluteFilePath(), f.fileName());
        }
        if (info.fileName() != mine) dir.rmdir(info.fileName());
    }
}

bool AutoMode::checkDatabase() {
    DbConnection& conn = database();
    if (!EnsureConnected(conn)) {
        if (!m_connectionLost) {
            m_log(QStringLiteral("brak połączenia z bazą danych (%1); karty czekają w katalogu, ponawiam przy każdym "
                                 "przejrzeniu")
                      .arg(JoinLines(conn.lastError().description)));
            ++m_linesThisLook;
        }
        m_connectionLost = true;
        return false;
    }
    if (m_connectionLost) {
        m_log(QStringLiteral("połączenie z bazą danych przywrócone"));
        ++m_linesThisLook;
    }
    m_connectionLost = false;
    if (PrepareStoredCards(conn) == StoredCardsRecord::FileJournal && !m_fileJournalWarned) {
        m_fileJournalWarned = true;
        m_log(QStringLiteral("UWAGA: baza danych nie pozwala utworzyć tabeli %1; zapisane karty pamięta tylko plik %2 "
                             "tego stanowiska (bez ochrony przed zapisem tej samej karty na innym stanowisku)")
                  .arg(kStoredCardsTable, WorkingFile(journalName())));
        ++m_linesThisLook;
    }
    return true;
}

struct AutoMode::Claimed {
    QString name, claimed;
    bool opened = false;
    QByteArray content, hash;
    struct Decoded {
        bool ok = false;
        QImage picture;
        QString why;
    };
    std::future<Decoded> decoded; // not started for a file already known stored
};

// Reads a claimed file and starts decoding it on another thread, so that it
// decodes while the card before it is recognised, read and stored.
AutoMode::Claimed AutoMode::begin(const QString& name, const QString& claimed) {
    Claimed file;
    file.name = name;
    file.claimed = claimed;
    QFile f(claimed);
    file.opened = f.open(QIODevice::ReadOnly);
    if (!file.opened) return file;
    file.content = f.readAll();
    f.close();
    file.hash = fileHash(file.content);
    if (!m_known.contains(file.hash))
        file.decoded = std::async(std::launch::async, [content = file.content, name] {
            Claimed::Decoded d;
            d.ok = LoadPictureData(content, name, d.picture, &d.why);
            return d;
        });
    return file;
}

AutoMode::Taken AutoMode::take(Claimed& file, Summary& summary) {
    const QString& name = file.name;
    const QString& claimed = file.claimed;
    if (!file.opened) {
        ++summary.waiting;
        report(name, QStringLiteral("nie można otworzyć pliku"));
        finish(claimed, name, false, summary);
        return Taken::Kept;
    }
    const QByteArray& hash = file.hash;
    DbConnection& conn = database();
    if (m_known.contains(hash) || IsCardStored(conn, hash)) {
        if (file.decoded.valid()) file.decoded.wait(); // its picture is not needed
        m_known.insert(hash);
        ++summary.skipped;
        if (!m_deleteStored) report(name, QStringLiteral("już zapisany, pominięty"));
        finish(claimed, name, m_deleteStored, summary);
        return Taken::Known;
    }

    // Only a file that decodes whole: one still being written, or cut short,
    // waits for a later look and is never stored.
    if (!file.decoded.valid()) // only a known file is not decoded ahead, and it is skipped above: a guard for get()
        file.decoded = std::async(std::launch::deferred, [&file] {
            Claimed::Decoded d;
            d.ok = LoadPictureData(file.content, file.name, d.picture, &d.why);
            return d;
        });
    Claimed::Decoded decoded = file.decoded.get();
    QImage picture = std::move(decoded.picture);
    const QString why = decoded.why;
    if (!decoded.ok) {
        ++summary.refused;
        report(name, QStringLiteral("odrzucony (niekompletny albo nie jest obrazem): ") + JoinLines(why));
        finish(claimed, name, false, summary);
        return Taken::Kept;
    }
    picture.setText(kCardHashKey, QString::fromLatin1(hash));
    picture.setText(kCardNameKey, name);
    // The card goes on decoded; its working copy is written in the working
    // folder, the original is never written to.
    const AutoCardResult result = m_processor(std::move(picture));
    if (result.stored) {
        ++summary.stored;
        m_known.insert(hash);
        if (!result.recorded)
            m_log(name + QStringLiteral(": nie można zapisać dziennika ") + WorkingFile(journalName()));
        ++m_linesThisLook;
        m_log(name + QStringLiteral(": zapisany, parametr %1, wierszy %2").arg(result.parameter).arg(result.rows));
        finish(claimed, name, m_deleteStored, summary);
        return Taken::Stored;
    }
    if (result.alreadyStored) {
        m_known.insert(hash);  // saves asking the record again
        ++summary.skipped;
        report(name, QStringLiteral("już zapisany (przez inne stanowisko), pominięty"));
        finish(claimed, name, m_deleteStored, summary);
        return Taken::Known;
    }
    finish(claimed, name, false, summary);
    // A refusal caused by a database that went away is no refusal of the card.
    if (result.connectionLost || !EnsureConnected(conn)) return Taken::Lost;
    ++summary.refused;
    report(name, QStringLiteral("odrzucony: ") + result.message);
    return Taken::Kept;
}

AutoMode::Summary AutoMode::tick() {
    Summary summary;
    m_linesThisLook = 0;
    if (m_folder.isEmpty()) return summary;
    const QDir dir(m_folder);
    if (!dir.exists()) {
        report(QString(), QStringLiteral("brak katalogu wymiany %1").arg(m_folder));
        return summary;
    }
    returnStaleClaims();
    const QFileInfoList files =
        dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    if (!checkDatabase()) {
        summary.waiting = static_cast<int>(files.size());
        return summary;
    }

    QHash<QString, Look> look;
    const QDateTime now = m_clock();
    std::optional<Claimed> current;
    bool lost = false;
    // Takes the claimed file before the one just begun; false when the database went away.
    const auto takeCurrent = [&]() {
        const Taken taken = take(*current, summary);
        if (taken == Taken::Known || taken == Taken::Stored) look[current->name].knownStored = true;
        if (taken == Taken::Lost) {
            checkDatabase();
            summary.waiting += 1;
            return false;
        }
        return true;
    };
    for (qsizetype at = 0; at < files.size(); ++at) {
        const QFileInfo& info = files.at(at);
        if (m_stop && m_stop()) break;
        const QString name = info.fileName();
        if (!MayBeCard(info)) continue;
        Look seen{info.size(), info.lastModified().toUTC(), now, false};
        const auto before = m_previousLook.constFind(name);
        if (before != m_previousLook.constEnd() && before->size == seen.size && before->modified == seen.modified) {
            seen.since = before->since;
            seen.knownStored = before->knownStored;
        } else if (before != m_previousLook.constEnd()) {
            m_lastLine.remove(name); // new content: its outcome is news again
        }
        look.insert(name, seen);
        const bool settled = seen.modified.msecsTo(now) >= m_settleMs || seen.since.msecsTo(now) >= m_settleMs;
        if (!settled) {
            ++summary.waiting;
            continue;
        }
        // Kept after an earlier look found it stored: nothing to do unless it is to go.
        if (seen.knownStored && !m_deleteStored) {
            ++summary.skipped;
            continue;
        }

        QString claimed;
        if (!claim(name, claimed)) {
            look.remove(name); // another station has it
            continue;
        }
        // This file decodes while the one claimed before it is taken: one
        // card in flight, one being decoded, stored in listing order.
        std::optional<Claimed> next = begin(name, claimed);
        if (current && !takeCurrent()) {
            finish(next->claimed, next->name, false, summary); // given back for a later look
            if (next->decoded.valid()) next->decoded.wait();
            lost = true;
            // The file given back and those not looked at yet wait as well.
            summary.waiting += int(std::count_if(files.cbegin() + at, files.cend(), MayBeCard));
            break;
        }
        current = std::move(next);
    }
    if (current && !lost) takeCurrent();
    // Outcomes of files that are gone are forgotten.
    for (auto it = m_lastLine.begin(); it != m_lastLine.end();)
        it = !it.key().isEmpty() && !look.contains(it.key()) ? m_lastLine.erase(it) : std::next(it);
    m_previousLook = std::move(look);
    QDir().rmdir(claimFolder()); // only when empty; made again at the next claim
    if (m_linesThisLook > 0) // a stored or deleted card has its line too
        m_log(QStringLiteral("przejrzenie: zapisane %1, odrzucone %2, czekające %3, pominięte %4, usunięte %5")
                  .arg(summary.stored)
                  .arg(summary.refused)
                  .arg(summary.waiting)
                  .arg(summary.skipped)
                  .arg(summary.deleted));
    return summary;
}

} // namespace kartovo
