// Shared set-up for tests that drive transactions, statements and blobs against the fake client.
#pragma once

#include "FakeDatabase.h"
#include "FakeSql.h"
#include "IBDatabase.h"
#include "IBStatement.h"
#include "IBTransaction.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace fbtest {

// An attached database (handle 100) and a started transaction on it.
class SqlFixture : public testing::Test {
protected:
    void SetUp() override
    {
        fakeclient::sql::Reset();
        Configure(db);
        ScriptAttach();
        db.Open();
    }

    TIBTransaction Start(const TTransactionOptions& options = TTransactionOptions::WriteTarget())
    {
        return TIBTransaction(db, options);
    }

    // Scripts the prepare of a statement of the given type with these columns and parameters.
    static void ScriptPrepare(int type, std::vector<fakeclient::sql::Field> columns,
                              std::vector<fakeclient::sql::Field> params = {})
    {
        fakeclient::Push("isc_dsql_sql_info", fakeclient::Output(fakeclient::sql::StatementTypeReply(type)));
        fakeclient::sql::PushDescription("isc_dsql_describe", std::move(columns));
        fakeclient::sql::PushDescription("isc_dsql_describe_bind", std::move(params));
    }

    // The calls since the last mark that matter for a sequence (no message calls).
    static std::vector<std::string> SqlCalls()
    {
        std::vector<std::string> names;
        for (const std::string& name : fakeclient::CallNames({"isc_interprete", "isc_sqlcode"}))
            if (name.rfind("isc_dsql", 0) == 0 || name.find("blob") != std::string::npos ||
                name.find("segment") != std::string::npos || name.find("transaction") != std::string::npos ||
                name == "isc_start_multiple" || name == "isc_commit_retaining" || name == "isc_detach_database")
                names.push_back(name);
        return names;
    }

    TIBDatabase db;
};

}  // namespace fbtest
