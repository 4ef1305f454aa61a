#include "recognition/CardIdentification.h"

#include "db/ParameterRow.h"

#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/Variants.h"

#include <cmath>
#include <limits>

namespace kartovo {

namespace {

QString Lines(std::initializer_list<const char*> lines) {
    QStringList out;
    for (const char* l : lines) out << QString::fromUtf8(l);
    return out.join(kLineBreak);
}

bool Open(DbConnection& conn, const QString& sql, Recordset& into, CardIdentification& result) {
    bool ok = false;
    into = conn.query(sql, &ok);
    if (!ok) {
        result.databaseError = conn.lastError();
        if (!result.databaseError.isSet()) result.databaseError.description = QStringLiteral("Błąd zapytania: ") + sql;
        qCWarning(lcRecognition) << "lookup failed:" << sql << result.databaseError.description;
    }
    return ok;
}

// IDP as a whole number; false when it is missing or not a whole number
// (the query text would not be valid SQL).
bool ProgramIdOf(const QVariant& idp, std::int32_t& out) {
    if (!IsPresent(idp)) return false;
    bool ok = false;
    const double d = idp.toString().trimmed().toDouble(&ok);
    if (!ok || d != std::floor(d) || d < std::numeric_limits<std::int32_t>::min() ||
        d > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(d);
    return true;
}

CardIdentification Refuse(CardIdentification r, IdentificationRefusal why) {
    r.refusal = why;
    r.message = IdentificationRefusalText(why);
    qCInfo(lcRecognition).noquote() << "card refused:" << JoinLines(r.message);
    return r;
}

} // namespace

QString ParameterQuery(std::int32_t parameterId) {
    return QStringLiteral("Select * from [SPC_Setap] Where ID=") + QString::number(parameterId);
}

QString ProgramQuery(std::int32_t programId) {
    return QStringLiteral("Select * from [SPC_Programy] Where ID=") + QString::number(programId);
}

QString IdentificationRefusalText(IdentificationRefusal refusal) {
    switch (refusal) {
    case IdentificationRefusal::None: return {};
    case IdentificationRefusal::UnreadableCode:
        return Lines({"Niepoprawnie odczytane pole kodujące parametr.", "Zmień parametry skanowania."});
    case IdentificationRefusal::NoParameter:
        return Lines({"Nie znaleziono parametru skanowanej karty.",
                      "Parametr nie istnieje lub wystąpił błąd podczas przetwarzania zeskanowanej karty.",
                      "Skanuj jeszcze raz lub ręcznie wskaż program kontroli."});
    case IdentificationRefusal::Alternative:
        return Lines({"Parametr skanowanej karty zdefiniowany jest jako ALTERNATYWNY. ",
                      "   Prawdopodobnie połączony jesteś z niewłaściwą bazą danych."});
    case IdentificationRefusal::NoGridScale:
        return Lines({"Dla parametru skanowanej karty nie zdefiniowany podziałki siatki. ",
                      "    Prawdopodobnie połączony jesteś z niewłaściwą bazą danych."});
    case IdentificationRefusal::NoProgram:
        return Lines({"Nie znaleziono programu kontroli dla skanowanej karty. ",
                      "Program kontroli nie istnieje lub wystąpił błąd podczas przetwarzania zeskanowanej karty.",
                      "Skanuj jeszcze raz lub ręcznie wskaż program kontroli."});
    }
    return {};
}

CardIdentification IdentifyCard(DbConnection& conn, std::int32_t parameterCode) {
    CardIdentification r;
    if (parameterCode <= 0) return Refuse(std::move(r), IdentificationRefusal::UnreadableCode);
    if (!Open(conn, ParameterQuery(parameterCode), r.parameter, r)) return r;
    if (r.parameter.recordCount() < 1) return Refuse(std::move(r), IdentificationRefusal::NoParameter);

    const ParameterRow parameter(r.parameter.current());
    if (parameter.is(CardType::Alternative)) return Refuse(std::move(r), IdentificationRefusal::Alternative);
    if (!parameter.SkalaSiatki) return Refuse(std::move(r), IdentificationRefusal::NoGridScale);

    std::int32_t programId = 0;
    if (!ProgramIdOf(parameter.IDP, programId))
        return Refuse(std::move(r), IdentificationRefusal::NoProgram);
    if (!Open(conn, ProgramQuery(programId), r.program, r)) return r;
    if (r.program.eof()) return Refuse(std::move(r), IdentificationRefusal::NoProgram);
    return r;
}

CardIdentification LoadChosenCard(DbConnection& conn, std::int32_t programId, std::int32_t parameterId) {
    CardIdentification r;
    if (!Open(conn, ProgramQuery(programId), r.program, r)) return r;
    if (!Open(conn, ParameterQuery(parameterId), r.parameter, r)) return r;
    if (r.parameter.eof()) return Refuse(std::move(r), IdentificationRefusal::NoParameter);
    if (r.program.eof()) return Refuse(std::move(r), IdentificationRefusal::NoProgram);
    return r;
}

} // namespace kartovo
