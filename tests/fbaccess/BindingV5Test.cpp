// A client without isc_rollback_retaining and without the version query: version 5.0.
#include "ClientLibrary.h"
#include "FakeClient.h"
#include "FakeDatabase.h"
#include "IBDatabase.h"
#include "IBErrors.h"

#include <gtest/gtest.h>

namespace {

TEST(BindingV5, ReportsVersion50)
{
    EXPECT_EQ(GDSLibraryInstance()->GetIBClientVersion(), 50000);
}

TEST(BindingV5, ServiceAttachRaisesTheVersion6Text)
{
    auto library = GDSLibraryInstance();
    library->CheckIBLoaded();
    fakeclient::Reset();
    isc_svc_handle handle = 0;
    try {
        library->isc_service_attach(ThreadStatusVector(), 21, "localhost:service_mgr", &handle, 2, "\x02\x02");
        FAIL() << "isc_service_attach answered on a version 5 client";
    } catch (const EIBClientError& e) {
        EXPECT_STREQ(e.what(), "isc_service_attach is an InterBase 6 function. Please upgrade to InterBase 6 to use "
                               "this functonality");
        EXPECT_EQ(e.SQLCode(), ceVersion6Function);
        EXPECT_EQ(e.IBErrorCode(), 0);
    }
    EXPECT_TRUE(fakeclient::Calls().empty());
}

TEST(BindingV5, EveryVersion6OperationHasItsFallback)
{
    auto library = GDSLibraryInstance();
    library->CheckIBLoaded();
    for (const char* name : {"isc_rollback_retaining", "isc_service_attach", "isc_service_detach",
                             "isc_service_query", "isc_service_start", "isc_decode_sql_date", "isc_decode_sql_time",
                             "isc_decode_timestamp", "isc_encode_sql_date", "isc_encode_sql_time",
                             "isc_encode_timestamp"}) {
        try {
            library->CheckEntryPoint(name);
            ADD_FAILURE() << "no fallback for " << name;
        } catch (const EIBClientError& e) {
            EXPECT_EQ(std::string(e.what()), std::string(name) + " is an InterBase 6 function. Please upgrade to "
                                                                 "InterBase 6 to use this functonality");
        }
    }
}

TEST(BindingV5, VersionQueryFallbackNamesTheOperation)
{
    auto library = GDSLibraryInstance();
    library->CheckIBLoaded();
    try {
        library->CheckEntryPoint("isc_get_client_major_version");
        FAIL();
    } catch (const EIBClientError& e) {
        EXPECT_STREQ(e.what(), "isc_get_client_major_version  is an InterBase 7.0 function. Please upgrade to "
                               "InterBase 7.0 to use this functonality");
        EXPECT_EQ(e.SQLCode(), 0);
    }
}

TEST(BindingV5, DatabaseAttachmentStillWorks)
{
    TIBDatabase db;
    fakeclient::Reset();
    fbtest::Configure(db);
    fbtest::ScriptAttach(3);
    db.Open();
    EXPECT_TRUE(db.Connected());
    EXPECT_EQ(db.DBSQLDialect(), 3);
    db.Close();
    EXPECT_FALSE(db.Connected());
}

}  // namespace
