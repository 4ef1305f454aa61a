#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace kartovo {

class DbConnection;

// Kartovo's own record, in the SPC database, of the card files whose rows are
// in SPC_Baza: one row per stored card, keyed by its content's SHA-256 (hex).
// The tables of the main program are never changed; this one is created when
// missing. Where the database refuses to create it, the file journal
// AutoZapisane.txt in the working folder stands in (without the guarantee
// across stations).
inline const QString kStoredCardsTable = QStringLiteral("Kartovo_ZapisaneKarty");

// Name of the file journal in the working folder.
QString StoredCardsJournalName();

enum class StoredCardsRecord {
    Table,       // the record table is there
    FileJournal, // the database refused it: the file journal stands in
    Unreachable, // the database could not be asked (connection lost)
};

// Makes sure the record table exists on this connection (looked up once per
// connection); on the first success the file journal is read into it once.
StoredCardsRecord PrepareStoredCards(DbConnection& conn);

// True when a card of this content is known to be stored (the record table,
// or the file journal where the table cannot be had).
bool IsCardStored(DbConnection& conn, const QByteArray& hash);

// Appends the record row of a card inside the caller's transaction. False
// with conn.lastError() set when the database refused it (a second row of the
// same card fails on the key).
bool RecordStoredCard(DbConnection& conn, const QByteArray& hash, const QString& station, const QString& fileName,
                      const QDateTime& when);

// The file journal (where there is no record table) gets a card's line
// before the card is stored, marked pending by a '-' before the hash (no
// reader takes it for a hash): a journal that cannot take the line refuses
// the card instead of leaving a stored card unrecorded. Returns the line's
// offset, or -1.
qint64 BeginFileJournal(const QByteArray& hash, const QString& fileName, const QDateTime& when);
// The card is stored: its mark becomes a space, written in place, which a
// full disk still takes.
bool ConfirmFileJournal(qint64 at);
// The card was not stored: its pending line goes.
void WithdrawFileJournal(qint64 at);
bool FileJournalHas(const QByteArray& hash);

// This station's name in the record: "Start"/"Stanowisko" when set, else the host name.
QString StationName();
void SetStationName(const QString& name);

} // namespace kartovo
