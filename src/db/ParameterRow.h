#pragma once

#include "db/Record.h"

#include <QString>
#include <QVariant>
#include <optional>

namespace kartovo {

// Kinds of card a parameter (TypKarty) is drawn on.
enum class CardType {
    Samples = 0,     // samples of Probka measurements
    Individual = 1,  // individual values, one mark per column
    Alternative = 2, // alternative (count) card: nothing is stored
};

// One row of SPC_Setap, read once. A number column is none when it is null or
// an empty text; a text holding a number is read as the program always read
// it (leniently). Whether a number is usable (finite, in range) is checked
// where it is used, with the refusal that use gives.
struct ParameterRow {
    ParameterRow() = default;
    // Not explicit: tests and tools build a parameter as a Record row.
    ParameterRow(const Record& row);

    QVariant ID;  // key, as stored (copied into SPC_Baza.IDPK)
    QVariant IDP; // control program
    std::optional<double> LP;
    QString Nazwa;
    std::optional<double> WN; // nominal value
    QString Jednostka;
    QString Format;
    std::optional<double> TypKarty;
    std::optional<double> Probka;
    std::optional<double> SkalaSiatki; // rows of the grid
    std::optional<double> Gestosc;     // columns of the grid less one
    std::optional<double> OG, OD, GL, DL;
    std::optional<double> Skala;
    bool CzyArch = false; // null counts as no
    std::optional<double> GLK, DLK, LS, LR, LO;
    std::optional<double> MinX, MaxX, MaxR, MaxS;

    // Values that are copied on or shown exactly as the database holds them.
    struct Stored {
        QVariant Probka, GLK, DLK, LS;
    } stored;
    // Grid columns an older table may lack (refused by name).
    bool hasGestosc = false;
    bool hasSkalaSiatki = false;

    bool is(CardType type) const { return TypKarty && *TypKarty == static_cast<int>(type); }
};

} // namespace kartovo
