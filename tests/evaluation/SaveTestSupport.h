#pragma once

#include "db/DbTestSupport.h"
#include "db/BaseSettings.h"
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
        const Recordset rs = conn().query(QStringLiteral("Select * from [%1] Where ID=%2").arg(table).arg(id));
        return rs.isEmpty() ? Record() : rs.rows().first();
    }
    Record parameter(int id) { return row(QStringLiteral("SPC_Setap"), id); }
    Record program(int id) { return row(QStringLiteral("SPC_Programy"), id); }
    QList<Record> storedRows(int parameterId, DbConnection* other = nullptr) {
        bool ok = false;
        DbConnection& c = other ? *other : conn();
        const Recordset rs =
            c.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=%1 Order by ID").arg(parameterId), &ok);
        EXPECT_TRUE(ok) << c.lastError().description.toStdString();
        return rs.rows();
    }

    BaseSettings base;
};

// Same stored value: nulls alike, texts exactly, numbers (and yes/no, which
// servers keep as 1/0) by value.
inline ::testing::AssertionResult SameValue(const QVariant& expected, const QVariant& actual) {
    const bool en = expected.isNull(), an = actual.isNull();
    const auto text = [](bool null, const QVariant& v) { return null ? std::string("null") : v.toString().toStdString(); };
    bool same = en == an;
    if (same && !en)
        same = expected.typeId() == QMetaType::QString
                   ? actual.toString() == expected.toString()
                   : std::abs(ToNumber(expected) - ToNumber(actual)) <= 1e-9 * std::max(1.0, std::abs(ToNumber(expected)));
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << text(en, expected) << ", stored " << text(an, actual);
}

// Every column of the stored row: the expected value where the row sets one,
// null elsewhere (the key ID aside).
inline void ExpectStoredRow(const Record& expected, const Record& stored, const QStringList& tableColumns) {
    for (const QString& c : tableColumns) {
        if (c.compare(QStringLiteral("ID"), Qt::CaseInsensitive) != 0) {
            EXPECT_TRUE(SameValue(expected.value(c), stored.value(c))) << "column " << c.toStdString();
        }
    }
}

} // namespace kartovo::test
