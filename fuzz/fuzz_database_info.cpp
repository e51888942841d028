// The database connection's reading of the server's information replies: the SQL dialect
// after an attach, and the test request that TestConnected sends, over replies of any bytes
// and failures of any status. A reply is never read outside its 512 bytes.
#include "FuzzSupport.h"
#include "IBDatabase.h"

namespace {

void ScriptInfo(FuzzedDataProvider& input)
{
    if (input.ConsumeIntegralInRange(0, 5) == 0)
        fakeclient::Push("isc_database_info", fuzzsupport::FailureFrom(input));
    else
        fakeclient::Push("isc_database_info", fakeclient::Output(input.ConsumeRandomLengthString(600)));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    fakeclient::Reset();
    TIBDatabase database;
    database.SetLoginPrompt(false);
    database.SetDatabaseName("localhost:/data/banco.fdb");
    database.Params().SetValue("user_name", "SYSDBA");
    database.Params().SetValue("password", "masterkey");
    ScriptInfo(input);
    try {
        database.SetConnected(true);
    } catch (const EIBError&) {
        // The failure of the dialect query is an answer; the connection may stay attached.
    }
    ScriptInfo(input);
    const bool answered = database.TestConnected();
    fuzzsupport::Require(!answered || database.Connected(), "an answering connection is attached");
    if (input.ConsumeBool())
        fakeclient::Push("isc_detach_database", fuzzsupport::FailureFrom(input));
    try {
        database.Close();
    } catch (const EIBError&) {
        // A failed detach is raised after the connection was force-closed.
    }
    fuzzsupport::Require(!database.Connected(), "Close always ends detached");
    fakeclient::Reset();
    return 0;
}
