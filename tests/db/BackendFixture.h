#pragma once

#include "DbTestSupport.h"

#include <gtest/gtest.h>

namespace kartovo::test {

// Runs a test on an SQLite file and on the PostgreSQL and MariaDB test
// servers through ODBC, each time on a database of its own; a server that was
// not started is skipped.
class OnBothSystems : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (!BackendAvailable(GetParam())) GTEST_SKIP() << BackendSkipReason(GetParam()).toStdString();
        db = std::make_unique<ScratchDatabase>(GetParam());
        ASSERT_TRUE(db->ok()) << db->error().toStdString();
    }
    DbConnection& conn() { return db->conn(); }
    bool isPg() const { return GetParam() == Backend::PostgreSQL; }
    bool isMariaDb() const { return GetParam() == Backend::MariaDB; }
    // A database server (as opposed to the SQLite file): CHECK constraints
    // name themselves in the server's refusal.
    bool isServer() const { return GetParam() != Backend::SQLite; }

    std::unique_ptr<ScratchDatabase> db;
};

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
    switch (info.param) {
    case Backend::SQLite: return "SQLite";
    case Backend::PostgreSQL: return "PostgreSQL";
    case Backend::MariaDB: return "MariaDB";
    }
    return "Other";
}

} // namespace kartovo::test

#define KARTOVO_ON_BOTH_SYSTEMS(Suite)                                                                            \
    INSTANTIATE_TEST_SUITE_P(Db, Suite,                                                                             \
                             ::testing::Values(::kartovo::test::Backend::SQLite,                                    \
                                               ::kartovo::test::Backend::PostgreSQL,                                \
                                               ::kartovo::test::Backend::MariaDB),                                  \
                             ::kartovo::test::BackendName)
