#pragma once

#include "app/CardState.h"
#include "app/StationOptions.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace kartovo {

class DbConnection;
struct BaseSettings;

// One card read without a window, as reported by `kartovo --read`: file,
// recognised, message (refusal lines joined by " / "), parameter, program
// (ids or null), code (the bits read), grid ([left, top, width, height] of
// the grid cut-out on the card image, or null).
QJsonObject CardReport(const QString& file, const CardState& card);

// Exit status of `--read`.
enum ReadExit { kReadOk = 0, kReadMissingFile = 2, kReadSetupFault = 3 };

// Runs the pipeline (no messages, no questions) on a copy of every file in the
// working folder and hands one report per file to `report`. The files themselves
// are only read. Returns kReadOk when every file was processed (recognised or
// refused), kReadMissingFile when a file does not exist, kReadSetupFault when
// the database failed.
int ReadCards(const QStringList& files, const StationOptions& options, DbConnection& conn,
              const BaseSettings& base, const std::function<void(const QJsonObject&)>& report);

// The whole command: settings and database as the window's start-up, then
// ReadCards, one JSON object per line on standard output.
int RunReadCommand(const QStringList& files);

} // namespace kartovo
