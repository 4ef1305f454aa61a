#include "db/ParameterRow.h"

#include "platform/Variants.h"

namespace kartovo {

namespace {

std::optional<double> Number(const QVariant& v) {
    if (!IsPresent(v)) return std::nullopt;
    return ToNumber(v);
}

// Stored booleans come as bool, as -1/1 or as text depending on the database.
bool Flag(const QVariant& v) {
    if (!IsPresent(v)) return false;
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    if (v.typeId() == QMetaType::QString)
        return v.toString().trimmed().compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 || ToNumber(v) != 0.0;
    return ToNumber(v) != 0.0;
}

} // namespace

ParameterRow::ParameterRow(const Record& row) {
    const auto value = [&row](const char* column) { return row.value(QLatin1String(column)); };
    const auto number = [&](const char* column) { return Number(value(column)); };
    ID = value("ID");
    IDP = value("IDP");
    LP = number("LP");
    Nazwa = value("Nazwa").toString();
    WN = number("WN");
    Jednostka = value("Jednostka").toString();
    Format = value("Format").toString();
    TypKarty = number("TypKarty");
    Probka = number("Probka");
    SkalaSiatki = number("SkalaSiatki");
    Gestosc = number("Gestosc");
    OG = number("OG");
    OD = number("OD");
    GL = number("GL");
    DL = number("DL");
    Skala = number("Skala");
    CzyArch = Flag(value("CzyArch"));
    GLK = number("GLK");
    DLK = number("DLK");
    LS = number("LS");
    LR = number("LR");
    LO = number("LO");
    MinX = number("MinX");
    MaxX = number("MaxX");
    MaxR = number("MaxR");
    MaxS = number("MaxS");
    stored = {value("Probka"), value("GLK"), value("DLK"), value("LS")};
    hasGestosc = row.contains(QStringLiteral("Gestosc"));
    hasSkalaSiatki = row.contains(QStringLiteral("SkalaSiatki"));
}

} // namespace kartovo
