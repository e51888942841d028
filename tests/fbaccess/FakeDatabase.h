// Shared set-up for tests that drive TIBDatabase against the fake client library.
#pragma once

#include "FakeClient.h"
#include "IBDatabase.h"

#include <string>

namespace fbtest {

// The info reply of a database with SQL dialect d: item 62, length 1, d, end.
inline std::string DialectReply(int dialect)
{
    return fakeclient::Bytes({62, 1, 0, dialect, 1});
}

// A connection set up as the console sets it, with no login step.
inline void Configure(TIBDatabase& db, const std::string& user = "SYSDBA", const std::string& password = "masterkey")
{
    db.SetLoginPrompt(false);
    db.SetDatabaseName("localhost:/data/base.fdb");
    db.Params().SetValue("user_name", user);
    db.Params().SetValue("password", password);
}

// Queues a successful attach and its dialect query.
inline void ScriptAttach(int dialect = 3)
{
    fakeclient::Push("isc_attach_database", {});
    fakeclient::Push("isc_database_info", fakeclient::Output(DialectReply(dialect)));
}

}  // namespace fbtest
