#pragma once

#include "db/BaseSettings.h"
#include "db/DbTestSupport.h"
#include "evaluation/SampleRows.h"
#include "platform/Variants.h"

#include <cmath>

namespace kartovo::test {

// Scratch database with the demonstration definitions and its base settings.
class SaveDatabase : public OnBothSystems {
protected:
    void SetUp() override {
        OnBothSystems::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(db->createSchema(true)) << lastError();
        ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    }
    Record row(const QString& table, int id) {
        const Recordset rs = conn().query(QStringLiteral("Select * from [%1] Where ID=%2").arg(table, QString::number(id)));
        return rs.isEmpty() ? Record() : rs.rows().first();
    }
    Record parameter(int id) { return row("SPC_Setap", id); }
    Record program(int id) { return row("SPC_Programy", id); }
    QList<Record> storedRows(int parameterId, DbConnection* other = nullptr) {
        bool ok = false;
        DbConnection& c = other ? *other : conn();
        const Recordset rs = c.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=%1 Order by ID").arg(parameterId), &ok);
        EXPECT_TRUE(ok) << c.lastError().description.toStdString();
        return rs.rows();
    }

    BaseSettings base;
};

// Every column of the stored row (the key ID aside) holds the expected value,
// null where the row sets none: nulls alike, texts exactly, numbers (and
// yes/no, which servers keep as 1/0) by value.
inline void ExpectStoredRow(const Record& expected, const Record& stored, const QStringList& tableColumns) {
    for (const QString& c : tableColumns) {
        if (c.compare("ID", Qt::CaseInsensitive) == 0) continue;
        const QVariant e = expected.value(c), a = stored.value(c);
        bool same = e.isNull() == a.isNull();
        if (same && !e.isNull())
            same = e.typeId() == QMetaType::QString
                       ? a.toString() == e.toString()
                       : std::abs(ToNumber(e) - ToNumber(a)) <= 1e-9 * std::max(1.0, std::abs(ToNumber(e)));
        EXPECT_TRUE(same) << "column " << c.toStdString() << ": expected " << e.toString().toStdString()
                          << (e.isNull() ? "null" : "") << ", stored " << a.toString().toStdString()
                          << (a.isNull() ? "null" : "");
    }
}

} // namespace kartovo::test
