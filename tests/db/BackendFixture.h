#pragma once

#include "DbTestSupport.h"

#include <gtest/gtest.h>

namespace kartovo::test {

// Runs a test once on an SQLite file and once on the PostgreSQL test server
// through ODBC, each time on a database of its own.
class OnBothSystems : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (GetParam() == Backend::PostgreSQL && !PgServer::available())
            GTEST_SKIP() << PgServer::skipReason().toStdString();
        db = std::make_unique<ScratchDatabase>(GetParam());
        ASSERT_TRUE(db->ok()) << db->error().toStdString();
    }
    DbConnection& conn() { return db->conn(); }
    bool isPg() const { return GetParam() == Backend::PostgreSQL; }

    std::unique_ptr<ScratchDatabase> db;
};

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

} // namespace kartovo::test

#define KARTOVO_ON_BOTH_SYSTEMS(Suite)                                                                            \
    INSTANTIATE_TEST_SUITE_P(Db, Suite,                                                                             \
                             ::testing::Values(::kartovo::test::Backend::SQLite,                                    \
                                               ::kartovo::test::Backend::PostgreSQL),                               \
                             ::kartovo::test::BackendName)
