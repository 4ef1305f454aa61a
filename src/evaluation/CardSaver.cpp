#include "evaluation/CardSaver.h"

#include "db/Connection.h"
#include "db/DbSession.h"
#include "db/StoredCards.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/Numbers.h"
#include "platform/Variants.h"
#include "platform/WorkingFolder.h"

#include <QDateTime>
#include <algorithm>
#include <utility>

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
    // A server that went away is reopened for the next card; this one is not stored.
    r.connectionLost = !EnsureConnected(conn);
    qCWarning(lcEvaluation).noquote() << step << "failed, nothing of the card stored:" << JoinLines(r.error);
    return r;
}

// Rows of the parameter that the moving window of an individual-value card
// can reach (Probka - 1); 0 when Probka is unusable, which the evaluation
// then refuses.
int HistoryLength(const ParameterRow& parameter) { return std::max(SampleSize(parameter) - 1, 0); }

// Columns without which the stored sample would be wrong or unusable: the
// keys, the timestamp, the values of the sample, the statistics the charts
// draw and the descriptive fields the operator filled in. The rest (limits,
// median, notes, the main program's own columns) may be missing in an older table.
QStringList NeededColumns(const Record& row, int descriptiveFields) {
    QStringList needed{QStringLiteral("IDP"),        QStringLiteral("IDPK"),    QStringLiteral("Data"),
                       QStringLiteral("Czas"),       QStringLiteral("Srednia"), QStringLiteral("Odchylenie"),
                       QStringLiteral("Rozstep"),    QStringLiteral("Mini"),    QStringLiteral("Maxi")};
    // Lp is the size of the row's sample: W1 .. W(Lp) hold its values.
    const int lp = static_cast<int>(ToNumber(row.value(QStringLiteral("Lp"))));
    for (int i = 1; i <= std::min(lp, BaseSettings::kMaxSampleSize); ++i) needed.append(QStringLiteral("W%1").arg(i));
    for (int i = 1; i <= descriptiveFields; ++i) needed.append(QStringLiteral("ID%1").arg(i));
    return needed;
}

QString MissingColumnError(const QString& column) {
    return QStringLiteral("Tabela SPC_Baza nie ma kolumny %1 potrzebnej do zapisu tej karty.").arg(column) +
           kLineBreak + QStringLiteral("Pomiary karty nie zostały zapisane !");
}

// The key refusing a second record row is the expected answer of a card
// stored meanwhile elsewhere, not a database fault worth a warning.
class QuietDatabase {
public:
    QuietDatabase() : m_category(const_cast<QLoggingCategory&>(lcDb())), m_was(m_category.isWarningEnabled()) {
        m_category.setEnabled(QtWarningMsg, false);
    }
    ~QuietDatabase() { m_category.setEnabled(QtWarningMsg, m_was); }

private:
    QLoggingCategory& m_category;
    bool m_was;
};

// A card's journal line, written before the card and withdrawn unless the
// card is stored.
class PendingJournalLine {
public:
    PendingJournalLine(bool wanted, const SaveInput& input)
        : m_at(wanted ? BeginFileJournal(input.cardHash, input.cardName, QDateTime::currentDateTime()) : -1) {}
    ~PendingJournalLine() { WithdrawFileJournal(m_at); }
    bool written() const { return m_at >= 0; }
    bool confirm() { return ConfirmFileJournal(std::exchange(m_at, -1)); }

private:
    qint64 m_at;
};

SaveResult AlreadyStoredResult() {
    SaveResult r;
    r.outcome = SaveOutcome::AlreadyStored;
    r.error = QStringLiteral("Ta karta została już zapisana w bazie danych.");
    return r;
}

} // namespace

SaveResult SaveCard(DbConnection& conn, const SaveInput& input) {
    const SampleIdentification identification =
        input.identification ? *input.identification
                             : AutomaticIdentification(QDateTime::currentDateTime(), input.descriptiveCount);

    // A connection lost since the last card (a server restart) is reopened
    // before anything is asked of it.
    if (!EnsureConnected(conn)) return Failure(conn, false, QStringLiteral("reaching the database"));

    // Columns are looked up once, before anything is written: a column the
    // table lacks is left out of every row instead of failing a statement.
    if (conn.columns(kTable).isEmpty()) return Failure(conn, false, QStringLiteral("reading the columns of SPC_Baza"));

    // The record table is looked up (and made) outside the card's transaction.
    const StoredCardsRecord kept =
        input.cardHash.isEmpty() ? StoredCardsRecord::FileJournal : PrepareStoredCards(conn);
    if (kept == StoredCardsRecord::Unreachable) return Failure(conn, false, QStringLiteral("reaching the database"));
    const bool record = kept == StoredCardsRecord::Table;
    // Without the table only this station's journal keeps the card from being
    // stored again: a journal that cannot take its line refuses the card.
    const bool journaled = !record && !input.cardHash.isEmpty();
    PendingJournalLine journal(journaled, input);
    if (journaled && !journal.written()) {
        SaveResult r;
        r.outcome = SaveOutcome::Refused;
        r.error = QStringLiteral("Nie można zapisać dziennika zapisanych kart %1.")
                      .arg(WorkingFile(StoredCardsJournalName())) +
                  kLineBreak + QStringLiteral("Pomiary karty nie zostały zapisane !");
        return r;
    }

    if (!conn.beginTransaction()) return Failure(conn, false, QStringLiteral("starting the transaction"));

    // The record row first: a second station storing the same card waits
    // here for the first one's transaction and then fails on the key.
    bool recorded = false;
    if (record && !(input.storeAgain && IsCardStored(conn, input.cardHash))) {
        bool inserted = false;
        {
            const QuietDatabase quiet;
            inserted = RecordStoredCard(conn, input.cardHash, StationName(), input.cardName,
                                        QDateTime::currentDateTime());
        }
        if (!inserted) {
            const DbError error = conn.lastError();
            conn.rollback();
            if (EnsureConnected(conn) && IsCardStored(conn, input.cardHash)) return AlreadyStoredResult();
            SaveResult r;
            r.outcome = SaveOutcome::Failed;
            r.error = error.description.isEmpty() ? QStringLiteral("Błąd bazy danych nr %1.").arg(error.number)
                                                  : error.description;
            r.connectionLost = !EnsureConnected(conn);
            qCWarning(lcEvaluation).noquote() << "recording the card failed, nothing of the card stored:" << r.error;
            return r;
        }
        recorded = true;
    }

    // The earlier rows are read inside the transaction so that the window of
    // an individual-value card matches what ends up stored before it.
    QList<QVariant> previous;
    if (input.parameter.is(CardType::Individual) && !input.measurements.isEmpty()) {
        bool ok = false;
        const Recordset history = conn.latestSamples(input.parameter.ID, HistoryLength(input.parameter), &ok);
        if (!ok) return Failure(conn, true, QStringLiteral("reading the latest samples"));
        previous = StoredValues(history.rows());
    }

    const EvaluationResult evaluation = EvaluateCard(input.measurements, input.parameter, input.program,
                                                     input.constants, identification, previous);
    if (!evaluation.ok() || evaluation->isEmpty()) {
        conn.rollback();
        SaveResult r;
        r.outcome = evaluation.ok() ? SaveOutcome::NothingToStore : SaveOutcome::Refused;
        r.error = evaluation.error();
        return r;
    }
    for (const QString& column : NeededColumns(evaluation->first(), identification.descriptive.size())) {
        if (conn.hasColumn(kTable, column)) continue;
        conn.rollback();
        SaveResult r;
        r.outcome = SaveOutcome::Refused;
        r.error = MissingColumnError(column);
        qCWarning(lcEvaluation).noquote() << "SPC_Baza lacks column" << column << "- card refused";
        return r;
    }

    for (const Record& row : *evaluation) {
        if (!conn.append(kTable, row)) return Failure(conn, true, QStringLiteral("appending a row"));
    }
    if (!conn.commit()) return Failure(conn, true, QStringLiteral("committing the card"));

    SaveResult r;
    r.outcome = SaveOutcome::Stored;
    r.rowsStored = static_cast<int>(evaluation->size());
    r.recorded = recorded || (journaled && journal.confirm());
    if (journaled && !r.recorded) qCWarning(lcEvaluation) << "the card is stored, its journal line is not completed";
    qCDebug(lcEvaluation).noquote() << r.rowsStored << "rows stored for parameter"
                                   << input.parameter.ID.toString();
    return r;
}

QString SaveFailureMessage(const SaveResult& result) {
    switch (result.outcome) {
    case SaveOutcome::Refused: return result.error;
    case SaveOutcome::AlreadyStored:
        return result.error + kLineBreak + QStringLiteral("Pomiary karty nie zostały zapisane ponownie.");
    case SaveOutcome::Failed:
        return QStringLiteral("Błąd zapisu do bazy danych:") + kLineBreak + result.error + kLineBreak + kLineBreak +
               QStringLiteral("Pomiary karty nie zostały zapisane !");
    default: return {};
    }
}

} // namespace kartovo
