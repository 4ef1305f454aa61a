#pragma once

#include <QString>

namespace kartovo {

// The demo's own folder when none is given: <XDG data home>/kartovo-demo.
QString DefaultDemoFolder();

// Creates (or keeps) the demo database and settings in `folder` and points this
// process at them: the settings file, and a working folder inside the demo
// folder, so the user's own settings and working files stay untouched.
// Returns the settings file, or an empty text with `error` set.
QString UseDemoSetup(const QString& folder, QString* error = nullptr);

} // namespace kartovo
