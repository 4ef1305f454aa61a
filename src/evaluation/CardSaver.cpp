#include "evaluation/CardSaver.h"

#include "db/Connection.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/Numbers.h"
#include "platform/Variants.h"

#include <QDateTime>

namespace kartovo {

namespace {

const QString kTable = QStringLiteral("SPC_Baza");

SaveResult Failure(DbConnection& conn, bool inTransaction, const QString& step) {
    SaveResult r;
    r.outcome = SaveOutcome::Failed;
    r.error = conn.lastError().description;
    if (r.error.isEmpty()) r.error = QStringLiteral("Błąd bazy danych nr %1.").arg(conn.lastError().number);
    // The error is taken first: a failing rollback would replace it.
    if (inTransaction && !conn.rollback())
        qCWarning(lcEvaluation).noquote() << "rollback failed:" << conn.lastError().description;
    qCWarning(lcEvaluation).noquote() << step << "failed, nothing of the card stored:" << JoinLines(r.error);
    return r;
}

bool IsIndividualCard(const Record& parameter) {
    const QVariant type = parameter.value(QStringLiteral("TypKarty"));
    return IsPresent(type) && ToNumber(type) == 1;
}

// Rows of the parameter that the moving window of an individual-value card
// can reach (Probka - 1); 0 when Probka is unusable, which the evaluation
// then refuses.
int HistoryLength(const Record& parameter) {
    const QVariant p = parameter.value(QStringLiteral("Probka"));
    if (!IsPresent(p)) return 0;
    const auto n = CInt(ToNumber(p));
    return n >= 1 && n <= BaseSettings::kMaxSampleSize ? static_cast<int>(n) - 1 : 0;
}

} // namespace

SaveResult SaveCard(DbConnection& conn, const SaveInput& input) {
    const SampleIdentification identification =
        input.identification ? *input.identification
                             : AutomaticIdentification(QDateTime::currentDateTime(), input.descriptiveCount);

    // Columns are looked up once, before anything is written: a column the
    // table lacks is left out of every row instead of failing a statement.
    if (conn.columns(kTable).isEmpty()) return Failure(conn, false, QStringLiteral("reading the columns of SPC_Baza"));

    if (!conn.beginTransaction()) return Failure(conn, false, QStringLiteral("starting the transaction"));

    // The earlier rows are read inside the transaction so that the window of
    // an individual-value card matches what ends up stored before it.
    QList<QVariant> previous;
    if (IsIndividualCard(input.parameter) && !input.measurements.isEmpty()) {
        bool ok = false;
        const Recordset history = conn.latestSamples(input.parameter.value(QStringLiteral("ID")),
                                                     HistoryLength(input.parameter), &ok);
        if (!ok) return Failure(conn, true, QStringLiteral("reading the latest samples"));
        previous = StoredValues(history.rows());
    }

    const EvaluationResult evaluation = EvaluateCard(input.measurements, input.parameter, input.program,
                                                     input.constants, identification, previous);
    if (!evaluation.ok() || evaluation.rows.isEmpty()) {
        conn.rollback();
        SaveResult r;
        r.outcome = evaluation.ok() ? SaveOutcome::NothingToStore : SaveOutcome::Refused;
        r.error = evaluation.error;
        return r;
    }

    for (const Record& row : evaluation.rows) {
        if (!conn.append(kTable, row)) return Failure(conn, true, QStringLiteral("appending a row"));
    }
    if (!conn.commit()) return Failure(conn, true, QStringLiteral("committing the card"));

    SaveResult r;
    r.outcome = SaveOutcome::Stored;
    r.rowsStored = static_cast<int>(evaluation.rows.size());
    qCDebug(lcEvaluation).noquote() << r.rowsStored << "rows stored for parameter"
                                   << input.parameter.value(QStringLiteral("ID")).toString();
    return r;
}

QString SaveFailureMessage(const SaveResult& result) {
    switch (result.outcome) {
    case SaveOutcome::Refused: return result.error;
    case SaveOutcome::Failed:
        return QStringLiteral("Błąd zapisu do bazy danych:") + kLineBreak + result.error + kLineBreak + kLineBreak +
               QStringLiteral("Pomiary karty nie zostały zapisane !");
    default: return {};
    }
}

} // namespace kartovo
