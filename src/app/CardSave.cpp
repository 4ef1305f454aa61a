#include "app/CardSave.h"

#include "db/BaseSettings.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "reading/Plausibility.h"

namespace kartovo {

SaveResult SaveAutomaticCard(CardState& card, const MeasurementTable& measurements, DbConnection& conn,
                             const BaseSettings& base, const QByteArray& cardHash, const QString& cardName) {
    SaveResult result;
    // Nobody looks at the card before it is stored: a blot or a scribble
    // read as marks must not become samples.
    const QString implausible = ImplausibleMarksText(measurements, card.CardParameter).error();
    if (!implausible.isEmpty()) {
        result.outcome = SaveOutcome::Refused;
        result.error = implausible;
    } else {
        SaveInput input;
        for (const MeasurementEntry& e : measurements) input.measurements.append({e.value, e.section});
        input.parameter = card.CardParameter;
        input.program = card.ControlProgram.current();
        input.constants = base.SampleConstants;
        input.descriptiveCount = base.DataIdentificationCount;
        input.cardHash = cardHash;
        input.cardName = cardName;
        result = SaveCard(conn, input);
    }
    card.Stored = result.outcome == SaveOutcome::Stored;
    card.RowsStored = result.rowsStored;
    card.SaveError = result.ok() ? QString() : JoinLines(SaveFailureMessage(result));
    if (result.ok())
        qCInfo(lcApp).noquote() << "stored" << result.rowsStored << "rows of parameter"
                                << card.CardParameter.ID.toString();
    else if (result.outcome != SaveOutcome::AlreadyStored)
        qCWarning(lcApp).noquote() << "card not stored:" << card.SaveError;
    return result;
}

} // namespace kartovo
