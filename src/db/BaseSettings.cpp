#include "db/BaseSettings.h"

#include "db/Connection.h"
#include "db/DbSession.h"
#include "platform/Logging.h"
#include "platform/Numbers.h"

#include <cmath>

namespace kartovo {

namespace {

bool IsNull(const QVariant& v) { return !v.isValid() || v.isNull(); }

// Reads one query into `visit`; false (logged) when the database failed.
bool ReadAll(DbConnection& conn, const QString& sql, const std::function<bool(const Record&)>& visit, bool& any) {
    any = false;
    const bool ok = conn.read(sql, [&](const Record& r) {
        any = true;
        return visit(r);
    });
    if (!ok) qCWarning(lcDb).noquote() << "base settings: loading stopped at" << sql;
    return ok;
}

} // namespace

BaseSettingsOutcome LoadBaseSettings(DbConnection& conn, BaseSettings& out) {
    out = BaseSettings{};
    bool any = false;

    // Program identification: every row takes an entry, only non-null
    // captions are counted. Rows beyond the tenth have no column to describe.
    int k = 0;
    if (!ReadAll(conn, QStringLiteral("Select * from [SPC_OpisBaz] Order by ID"),
                 [&](const Record& r) {
                     if (k >= BaseSettings::kMaxProgramIdentification) return false;
                     ++k;
                     out.ProgramIdentification[k] = {r.value(QStringLiteral("Nazwa")), r.value(QStringLiteral("NazwaA")),
                                                     r.value(QStringLiteral("Pole")), r.value(QStringLiteral("Dlugosc"))};
                     if (!IsNull(out.ProgramIdentification[k].Nazwa)) ++out.ProgramIdentificationCount;
                     return true;
                 },
                 any))
        return BaseSettingsOutcome::Loaded;
    if (!any) return BaseSettingsOutcome::NoProgramIdentification;

    // Data identification: the list ends at the first null caption.
    if (!ReadAll(conn, QStringLiteral("Select * from [SPC_OpisID] Order by ID"),
                 [&](const Record& r) {
                     const QVariant name = r.value(QStringLiteral("Nazwa"));
                     if (IsNull(name)) return false;
                     if (out.DataIdentificationCount >= BaseSettings::kMaxDataIdentification) return false;
                     const int i = ++out.DataIdentificationCount;
                     out.DataIdentification[i] = {name, r.value(QStringLiteral("NazwaA")), r.value(QStringLiteral("Pole"))};
                     return true;
                 },
                 any))
        return BaseSettingsOutcome::Loaded;
    if (!any) return BaseSettingsOutcome::NoDataIdentification;

    // Working parameters: the first row is the only one used.
    if (!ReadAll(conn, QStringLiteral("Select * from [SPC_Ustawienia]"),
                 [&](const Record& r) {
                     out.WorkingParameters = r;
                     return false;
                 },
                 any))
        return BaseSettingsOutcome::Loaded;
    if (!any) return BaseSettingsOutcome::NoWorkingParameters;

    // Constants: at most 40 rows, each under its own sample size. Fewer rows
    // are not refused; a size outside 0 .. 40 has no slot and is skipped.
    int taken = 0;
    ReadAll(conn, QStringLiteral("Select * from [SPC_Tablice] Order by LP"),
            [&](const Record& r) {
                if (taken >= BaseSettings::kMaxSampleSize) return false;
                ++taken;
                const QVariant lp = r.value(QStringLiteral("LP"));
                bool isNumber = false;
                const double value = lp.toDouble(&isNumber);
                if (IsNull(lp) || !isNumber || !std::isfinite(value)) {
                    qCWarning(lcDb) << "SPC_Tablice: row without a usable LP skipped";
                    return true;
                }
                const double n = RoundHalfEven(value, 0);
                if (n < 0 || n > BaseSettings::kMaxSampleSize) {
                    qCWarning(lcDb) << "SPC_Tablice: LP" << value << "outside 0..40 skipped";
                    return true;
                }
                out.SampleConstants[static_cast<int>(n)] = {r.value(QStringLiteral("R1")), r.value(QStringLiteral("R2")),
                                                            r.value(QStringLiteral("S1")), r.value(QStringLiteral("S2")),
                                                            r.value(QStringLiteral("R")),  r.value(QStringLiteral("S"))};
                return true;
            },
            any);
    return BaseSettingsOutcome::Loaded;
}

QString BaseSettingsRefusalText(BaseSettingsOutcome outcome) {
    const QChar cr(13);
    const QString run = QStringLiteral("Przed uruchomieniem programu pomiarowego, uruchom NORV Vedi - SPC");
    const QString stop = QStringLiteral("Przerywam !");
    switch (outcome) {
    case BaseSettingsOutcome::NoProgramIdentification:
        return QStringLiteral("Nie ustawiono identyfikacji programów kontroli !") + cr + run + cr +
               QStringLiteral("i ustaw identyfikację programów kontroli (Bazy podstawowe)") + cr + cr + stop;
    case BaseSettingsOutcome::NoDataIdentification:
        return QStringLiteral("Nie ustawiono identyfikacji danych pomiarowych.") + cr + run + cr +
               QStringLiteral("i ustaw identyfikację danych (Bazy podstawowe).") + cr + cr + stop;
    case BaseSettingsOutcome::NoWorkingParameters:
        return QStringLiteral("Nie ustawiono podstawowych parametrów pracy programu.") + cr + run + cr +
               QStringLiteral("i ustaw podstawowe parametry pracy programu (F7).") + cr + cr + stop;
    case BaseSettingsOutcome::Loaded: break;
    }
    return {};
}

Result<void> UstawieniaBaz() {
    DbSession& session = DbSession::instance();
    const BaseSettingsOutcome outcome = LoadBaseSettings(session.conn(), session.baseSettings());
    if (outcome == BaseSettingsOutcome::Loaded) return {};
    return Refuse(RefusalKind::NotFound, BaseSettingsRefusalText(outcome));
}

} // namespace kartovo
