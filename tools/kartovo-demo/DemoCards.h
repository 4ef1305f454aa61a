#pragma once

#include <QString>
#include <QStringList>

namespace kartovo {

class DbConnection;

// Writes filled, scan-like demo cards for the demo database's parameters into
// `folder` (made when missing): clean ones and ones with the defects of real
// scans (noise, off-white paper, blur, JPEG), and one card of an alternative
// parameter that the program refuses. Existing files are kept. Returns the
// names written, or an empty list with `error` set.
QStringList WriteDemoCards(DbConnection& conn, const QString& folder, QString* error = nullptr);

} // namespace kartovo
