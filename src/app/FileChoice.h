#pragma once

#include <QString>

namespace kartovo {

// The file filter of the image-file dialog as the program writes it: pairs of
// description and pattern list separated by "|", patterns by ";".
inline const QString kImageFileTitle = QStringLiteral("Wskaż plik grafiki");
inline const QString kImageFileMask =
    QStringLiteral("Grafika rastrowa|*.jpg;*.jpeg;*.png;*.gif;*.tif;*.tiff;*.pcx;*.bmp|Wszystkie typy plików|*.*");

// The same filter for the platform dialog: "Grafika rastrowa (*.jpg *.gif
// ...);;Wszystkie typy plików (*)". "*.*" stands for every file, also those
// without an extension.
QString QtFileFilter(const QString& mask);

// Outcome of the file dialog.
struct FileChoice {
    bool DialogAccepted = false;
    QString ChosenFilePath; // full path
    QString ChosenFileName; // bare name
    QString folder() const; // the folder of the file, with its trailing separator
};

// Accepted only when the confirmed path names an existing file.
FileChoice FileChoiceFor(const QString& confirmedPath);

} // namespace kartovo
