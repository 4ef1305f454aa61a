#pragma once

#include "db/BackendFixture.h"
#include "db/BaseSettings.h"
#include "db/Connection.h"
#include "db/DemoDatabase.h"
#include "evaluation/SampleRows.h"
#include "platform/Variants.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace kartovo::test {

// Scratch database with the demonstration definitions and its base settings.
class SaveDatabase : public OnBothSystems {
protected:
    void SetUp() override {
        OnBothSystems::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(db->createSchema()) << conn().lastError().description.toStdString();
        ASSERT_TRUE(conn().beginTransaction());
        ASSERT_TRUE(FillDemoData(conn())) << conn().lastError().description.toStdString();
        ASSERT_TRUE(conn().commit());
        ASSERT_EQ(LoadBaseSettings(conn(), base), BaseSettingsOutcome::Loaded);
    }

    Record row(const QString& sql) {
        bool ok = false;
        const Recordset rs = conn().query(sql, &ok);
        EXPECT_TRUE(ok) << conn().lastError().description.toStdString();
        return rs.isEmpty() ? Record() : rs.rows().first();
    }
    Record parameter(int id) { return row(QStringLiteral("Select * from [SPC_Setap] Where ID=%1").arg(id)); }
    Record program(int id) { return row(QStringLiteral("Select * from [SPC_Programy] Where ID=%1").arg(id)); }
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
    const bool en = !expected.isValid() || expected.isNull();
    const bool an = !actual.isValid() || actual.isNull();
    if (en || an) {
        if (en == an) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "expected " << (en ? "null" : expected.toString().toStdString())
                                             << ", stored " << (an ? "null" : actual.toString().toStdString());
    }
    if (expected.typeId() == QMetaType::QString) {
        if (actual.toString() == expected.toString()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "expected \"" << expected.toString().toStdString() << "\", stored \""
                                             << actual.toString().toStdString() << "\"";
    }
    const double e = ToNumber(expected), a = ToNumber(actual);
    if (std::abs(e - a) <= 1e-9 * std::max(1.0, std::abs(e))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << e << ", stored " << a;
}

// Every column of the stored row: the expected value where the row sets one,
// null elsewhere (the key ID aside).
inline void ExpectStoredRow(const Record& expected, const Record& stored, const QStringList& tableColumns) {
    for (const QString& c : tableColumns) {
        if (c.compare(QStringLiteral("ID"), Qt::CaseInsensitive) == 0) continue;
        EXPECT_TRUE(SameValue(expected.value(c), stored.value(c))) << "column " << c.toStdString();
    }
}

// Answers the next modal window of type W from inside its event loop; any
// modal still open after a few seconds is closed so that a failing test
// cannot hang.
template <typename W>
void WhenModal(std::function<void(W*)> action) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* w = qobject_cast<W*>(modal)) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            action(w);
            return;
        }
        if (clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            ADD_FAILURE() << "the expected window did not open";
            if (modal) modal->close();
        }
    });
    timer->start();
}

} // namespace kartovo::test
