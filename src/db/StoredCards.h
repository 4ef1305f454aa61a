#pragma once

#include <QByteArray>

namespace kartovo {

class DbConnection;

// Kartovo's own record, in the SPC database, of the card files whose rows are
// in SPC_Baza: one row per stored card, keyed by its content's SHA-256 (hex).
// True when a card of this content is known to be stored.
bool IsCardStored(DbConnection& conn, const QByteArray& hash);

} // namespace kartovo
