#include "app/CardSave.h"

#include "db/BaseSettings.h"
#include "evaluation/CardSaver.h"
#include "platform/Logging.h"
#include "platform/Messages.h"

namespace kartovo {

bool SaveCardAutomatically(CardState& card, const MeasurementTable& measurements, DbConnection& conn,
                           const BaseSettings& base) {
    SaveInput input;
    for (const MeasurementEntry& e : measurements) input.measurements.append({e.value, e.section});
    input.parameter = card.CardParameter.current();
    input.program = card.ControlProgram.current();
    input.constants = base.SampleConstants;
    input.descriptiveCount = base.DataIdentificationCount;
    const SaveResult result = SaveCard(conn, input);
    card.Stored = result.outcome == SaveOutcome::Stored;
    card.RowsStored = result.rowsStored;
    card.SaveError = result.ok() ? QString() : JoinLines(SaveFailureMessage(result));
    if (result.ok())
        qCInfo(lcApp).noquote() << "stored" << result.rowsStored << "rows of parameter"
                                << input.parameter.value(QStringLiteral("ID")).toString();
    else
        qCWarning(lcApp).noquote() << "card not stored:" << card.SaveError;
    return result.ok();
}

} // namespace kartovo
