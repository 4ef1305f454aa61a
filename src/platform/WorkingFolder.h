#pragma once

#include <QString>

namespace kartovo {

// Folder where the program writes "temp.bmp", "Markery.bmp" and "Kod.bmp":
// the per-user application data folder (created on first use), or the folder
// named by KARTOVO_WORKDIR. Ends without a separator.
QString ProgramFolder();

// Overrides the folder for this process (tests, the demo).
void SetProgramFolder(const QString& folder);

// ProgramFolder() + "/" + name.
QString WorkingFile(const QString& name);

} // namespace kartovo
