#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace kartovo {

// What the operator entered in the identification window, as the checks of
// "&Zapisz" see it.
struct IdentificationEntries {
    struct Field {
        QString caption;     // as shown, with its trailing colon
        bool free = true;    // Pole yes: free text; no: one of the dictionary's items
        QString text;
        bool chosen = false; // dictionary field: the text is one of the list's items
    };
    QString date;
    QString time;
    QList<Field> fields; // descriptive fields 1 .. n in order
    bool notesShown = false;
    bool notesRequired = false; // CzyWymagany = 1
    QString notes;
};

enum class IdentificationFocus { None, Date, Time, Field, Notes };

// The first check that fails (number 1 .. 8, its message and where the focus
// goes), or number 0 when the entries may be stored.
struct IdentificationVerdict {
    int check = 0;
    QString message;
    IdentificationFocus focus = IdentificationFocus::None;
    int field = 0; // 1-based, for IdentificationFocus::Field
    bool ok() const { return check == 0; }
};

IdentificationVerdict CheckIdentification(const IdentificationEntries& entries);

// The date of the date field: "yyyy-mm-dd" (one-digit month and day allowed)
// or the Polish "dd.mm.yyyy"; invalid when it is neither.
QDate ReadIdentificationDate(const QString& text);

} // namespace kartovo
