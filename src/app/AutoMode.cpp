#include "app/AutoMode.h"

#include "app/CardPipeline.h"
#include "app/CardSave.h"
#include "imaging/ImageFile.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/WorkingFolder.h"
#include "reading/Measurements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

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
    m_card.resetCard();
    m_card.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
    MeasurementTable table;
    QString readRefusal;
    CardPipeline pipeline(m_card, m_pictures, m_conn, m_base);
    if (m_view) pipeline.setView(m_view);
    pipeline.setOptions(m_options);
    pipeline.setAutoMode(true);
    pipeline.setReadCommand([&] {
        // P1 is the clean grid with the grid drawn by StartPix.
        m_card.DialogAccepted = ReadDrawnGrid(m_pictures.image(Picture::P1), m_card.CardParameter.current(),
                                                 m_card.Grid, ThresholdFraction(m_options.thresholdCaption), table,
                                                 &readRefusal);
    });
    pipeline.setSaveCommand([&] { SaveCardAutomatically(m_card, table, m_conn, m_base); });
    pipeline.ZaladujPlikGraf(false, std::move(picture));

    AutoCardResult result;
    result.stored = m_card.Stored;
    result.rows = m_card.RowsStored;
    if (!m_card.CardParameter.eof() && !m_card.CardParameter.bof())
        result.parameter = m_card.CardParameter.value(QStringLiteral("ID")).toString();
    if (!m_card.Fault.isEmpty()) result.message = m_card.Fault;
    else if (!m_card.Refusal.isEmpty()) result.message = m_card.Refusal;
    else if (!readRefusal.isEmpty()) result.message = readRefusal;
    else if (!m_card.SaveError.isEmpty()) result.message = m_card.SaveError;
    else if (!result.stored) result.message = QStringLiteral("Brak pełnej próbki do zapisu.");
    result.message = JoinLines(result.message);
    return result;
}

AutoMode::AutoMode(Processor processor) : m_processor(std::move(processor)) {
    m_log = [](const QString& line) {
        const QByteArray text = line.toUtf8();
        std::fprintf(stderr, "kartovo auto: %s\n", text.constData());
        std::fflush(stderr);
    };
    m_clock = [] { return QDateTime::currentDateTimeUtc(); };
    loadJournal();
}

QString AutoMode::JournalName() { return QStringLiteral("AutoZapisane.txt"); }

QByteArray AutoMode::FileHash(const QByteArray& content) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(content.constData()), static_cast<size_t>(content.size()), digest);
    return QByteArray(reinterpret_cast<const char*>(digest), SHA256_DIGEST_LENGTH).toHex();
}

void AutoMode::loadJournal() {
    QFile f(WorkingFile(JournalName()));
    if (!f.open(QIODevice::ReadOnly)) return;
    while (!f.atEnd()) {
        const QByteArray hash = f.readLine().split('\t').value(0).trimmed();
        if (hash.size() == 64) m_journal.insert(hash);
    }
}

bool AutoMode::remember(const QByteArray& hash, const QString& name) {
    m_journal.insert(hash);
    // One line per card: the hash decides, the rest is for whoever reads the file.
    QFile f(WorkingFile(JournalName()));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    const QByteArray line = hash + '\t' + m_clock().toString(Qt::ISODate).toUtf8() + '\t' + name.toUtf8() + '\n';
    return f.write(line) == line.size() && f.flush();
}

void AutoMode::report(const QString& name, const QString& line) {
    if (m_lastLine.value(name) == line) return;
    m_lastLine.insert(name, line);
    m_log(name + QStringLiteral(": ") + line);
}

void AutoMode::removeOriginal(const QString& path, const QString& name, Summary& summary) {
    if (QFile::remove(path)) {
        ++summary.deleted;
        m_log(name + QStringLiteral(": usunięty"));
        m_lastLine.remove(name);
    } else {
        report(name, QStringLiteral("nie można usunąć pliku"));
    }
}

AutoMode::Summary AutoMode::tick() {
    Summary summary;
    if (m_folder.isEmpty()) return summary;
    const QDir dir(m_folder);
    if (!dir.exists()) {
        report(QString(), QStringLiteral("brak katalogu wymiany %1").arg(m_folder));
        return summary;
    }
    const QFileInfoList files =
        dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    QHash<QString, Look> look;
    const QDateTime now = m_clock();
    for (const QFileInfo& info : files) {
        if (m_stop && m_stop()) break;
        const QString name = info.fileName();
        // Names of one or two characters are not cards; the rest is still read.
        if (name.size() <= 2) continue;
        const QString path = info.absoluteFilePath();
        const Look seen{info.size(), info.lastModified().toUTC()};
        look.insert(name, seen);
        const auto before = m_previousLook.constFind(name);
        const bool unchanged =
            before != m_previousLook.constEnd() && before->size == seen.size && before->modified == seen.modified;
        const bool settled = seen.modified.msecsTo(now) >= m_settleMs;
        if (!unchanged && !settled) {
            ++summary.waiting;
            continue;
        }

        // Only a file read whole, and not changed while being read, is taken.
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            ++summary.waiting;
            report(name, QStringLiteral("nie można otworzyć pliku"));
            continue;
        }
        const QByteArray content = f.readAll();
        f.close();
        const QFileInfo after(path);
        if (content.size() != seen.size || after.size() != seen.size ||
            after.lastModified().toUTC() != seen.modified) {
            ++summary.waiting;
            look.remove(name);
            continue;
        }

        const QByteArray hash = FileHash(content);
        if (m_journal.contains(hash)) {
            ++summary.skipped;
            if (m_deleteStored) removeOriginal(path, name, summary);
            else report(name, QStringLiteral("już zapisany, pominięty"));
            continue;
        }

        QImage picture;
        QString why;
        if (!LoadPictureData(content, name, picture, &why)) {
            ++summary.refused;
            report(name, QStringLiteral("odrzucony: ") + JoinLines(why));
            continue;
        }
        // The card goes on decoded; its working copy is written in the
        // working folder, the original is never written to.
        const AutoCardResult result = m_processor(std::move(picture));
        if (result.stored) {
            ++summary.stored;
            if (!remember(hash, name))
                m_log(name + QStringLiteral(": nie można zapisać dziennika ") + WorkingFile(JournalName()));
            m_lastLine.insert(name, QString());
            m_log(name + QStringLiteral(": zapisany, parametr %1, wierszy %2").arg(result.parameter).arg(result.rows));
            if (m_deleteStored) removeOriginal(path, name, summary);
        } else {
            ++summary.refused;
            report(name, QStringLiteral("odrzucony: ") + result.message);
        }
    }
    m_previousLook = look;
    return summary;
}

} // namespace kartovo
