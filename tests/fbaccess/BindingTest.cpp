// The binding against a client like the installed one (version 6 entry points, version query
// answering 3.0).
#include "ClientLibrary.h"
#include "FakeClient.h"
#include "IBDatabase.h"
#include "IBErrors.h"

#include <gtest/gtest.h>

namespace {

TEST(Binding, GivesOneSharedObject)
{
    EXPECT_EQ(GDSLibraryInstance().get(), GDSLibraryInstance().get());
}

TEST(Binding, LoadsOncePerProcess)
{
    TIBDatabase first;
    fakeclient::Reset();
    TIBDatabase second;
    TIBDatabaseInfo info(second);
    EXPECT_EQ(GDSLibraryInstance()->GetIBClientVersion(), 30000);
    // A second load would have asked the client for its version again.
    EXPECT_TRUE(fakeclient::Calls().empty());
}

TEST(Binding, ClientVersionIsMajorPlusMinorTenths)
{
    EXPECT_EQ(GDSLibraryInstance()->GetIBClientVersion(), 30000);
    EXPECT_EQ(ClientVersion(), 30000);
}

TEST(Binding, WrappersReachTheClientUnchanged)
{
    auto library = GDSLibraryInstance();
    library->CheckIBLoaded();
    fakeclient::Reset();
    fakeclient::Push("isc_service_start", fakeclient::Failure(335544344));
    isc_svc_handle handle = 7;
    const char spb[] = {1, 2, 0, 3};
    ISC_STATUS status[ISC_STATUS_LENGTH] = {};
    EXPECT_EQ(library->isc_service_start(status, &handle, nullptr, 4, spb), 335544344);
    EXPECT_EQ(status[0], 1);
    EXPECT_EQ(status[1], 335544344);

    const auto calls = fakeclient::CallsTo("isc_service_start");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Number("handle"), 7);
    EXPECT_EQ(calls[0].Bytes("spb"), std::string(spb, 4));
    EXPECT_EQ(calls[0].Number("status"), reinterpret_cast<intptr_t>(status));
    EXPECT_EQ(library->isc_vax_integer("\x20\x4E\x00\x00", 4), 20000);
}

struct GatedCase {
    const char* name;
    const char* text;
};

class GatedFallback : public testing::TestWithParam<GatedCase> {};

// Below 7.0 every gated group gets fallbacks; the text carries the name and one blank (two
// blanks before "is"), the batch pair the bare name.
TEST_P(GatedFallback, RaisesItsVersionText)
{
    auto library = GDSLibraryInstance();
    library->CheckIBLoaded();
    try {
        library->CheckEntryPoint(GetParam().name);
        FAIL() << "no fallback for " << GetParam().name;
    } catch (const EIBClientError& e) {
        EXPECT_STREQ(e.what(), GetParam().text);
        EXPECT_EQ(e.SQLCode(), 0);
        EXPECT_EQ(e.IBErrorCode(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Version30, GatedFallback,
    testing::Values(
        GatedCase{"isc_array_gen_sdl2",
                  "isc_array_gen_sdl2  is an InterBase 7.0 function. Please upgrade to InterBase 7.0 to use this "
                  "functonality"},
        GatedCase{"isc_blob_set_desc2",
                  "isc_blob_set_desc2  is an InterBase 7.0 function. Please upgrade to InterBase 7.0 to use this "
                  "functonality"},
        GatedCase{"isc_start_savepoint",
                  "isc_start_savepoint  is an InterBase 7.1 function. Please upgrade to InterBase 7.1 to use this "
                  "functonality"},
        GatedCase{"isc_dsql_batch_execute",
                  "isc_dsql_batch_execute is an InterBase 2007 function. Please upgrade to InterBase 2007 to use "
                  "this functonality"}));

TEST(Binding, ResolvedEntryPointsHaveNoFallback)
{
    auto library = GDSLibraryInstance();
    library->CheckIBLoaded();
    for (const char* name : {"isc_attach_database", "isc_service_attach", "isc_rollback_retaining",
                             "isc_get_client_version", "isc_encode_timestamp"})
        EXPECT_NO_THROW(library->CheckEntryPoint(name)) << name;
}

}  // namespace
