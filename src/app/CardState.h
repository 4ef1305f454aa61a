#pragma once

#include "db/ParameterRow.h"
#include "db/Recordset.h"
#include "reading/GridGeometry.h"

#include <QRect>
#include <QString>
#include <cstdint>

namespace kartovo {

// What the program knows about the current card, from its loading until the
// next one. The pictures themselves live in CardPictures.
struct CardState {
    QString ImagePath;          // the working copy; the pipeline overwrites it with bitmaps
    bool DialogAccepted = false; // the card was recognised and may be read
    ParameterRow CardParameter; // SPC_Setap row of the card, valid while DialogAccepted
    Recordset ControlProgram;   // SPC_Programy row of the card
    GridGeometry Grid;          // value range and grid geometry

    // What recognition read, for the operator and for inspection.
    QString CodeBits;
    std::int32_t ParameterCode = 0;
    QRect GridRect;             // grid cut-out's rectangle on the (rotated) card image
    bool MarkersFound = false;
    QString Refusal;            // the last refusal's text (lines joined by CR), empty when none
    QString Fault;              // a fault of the program or its set-up (database error), empty when none
    bool ChosenByHand = false;  // program and parameter came from the manual choice
    // Outcome of the automatic save: rows stored, or the reason nothing was.
    bool Stored = false;
    int RowsStored = 0;
    QString SaveError;

    // Forgets the previous card (before a new one is processed).
    void resetCard() {
        DialogAccepted = false;
        CodeBits.clear();
        ParameterCode = 0;
        GridRect = {};
        MarkersFound = false;
        Refusal.clear();
        Fault.clear();
        ChosenByHand = false;
        Stored = false;
        RowsStored = 0;
        SaveError.clear();
        CardParameter = {};
        ControlProgram = {};
    }
};

} // namespace kartovo
