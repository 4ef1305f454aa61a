#include "db/StoredCards.h"

#include "db/Connection.h"

namespace kartovo {

bool IsCardStored(DbConnection& conn, const QByteArray& hash) {
    // The record table is created on first use by the save; before that
    // nothing is known to be stored.
    if (hash.isEmpty() || !conn.isOpen()) return false;
    return false;
}

} // namespace kartovo
