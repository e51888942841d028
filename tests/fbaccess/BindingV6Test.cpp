// A client with isc_rollback_retaining but without the version query: version 6.0.
#include "ClientLibrary.h"
#include "FakeClient.h"
#include "IBErrors.h"

#include <gtest/gtest.h>

namespace {

TEST(BindingV6, ReportsVersion60)
{
    EXPECT_EQ(GDSLibraryInstance()->GetIBClientVersion(), 60000);
}

TEST(BindingV6, ServiceOperationsReachTheClient)
{
    auto library = GDSLibraryInstance();
    library->CheckIBLoaded();
    fakeclient::Reset();
    isc_svc_handle handle = 0;
    EXPECT_EQ(library->isc_service_attach(ThreadStatusVector(), 21, "localhost:service_mgr", &handle, 2, "\x02\x02"),
              0);
    EXPECT_NE(handle, 0u);
    const auto calls = fakeclient::CallsTo("isc_service_attach");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Bytes("name"), "localhost:service_mgr");
}

TEST(BindingV6, VersionQueryGetsFallbacks)
{
    auto library = GDSLibraryInstance();
    library->CheckIBLoaded();
    EXPECT_THROW(library->CheckEntryPoint("isc_get_client_version"), EIBClientError);
    EXPECT_NO_THROW(library->CheckEntryPoint("isc_rollback_retaining"));
}

}  // namespace
