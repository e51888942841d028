// A client reporting major 7, minor 0: the first gated group is resolved, the savepoint and
// batch groups get fallbacks.
#include "ClientLibrary.h"
#include "IBErrors.h"

#include <gtest/gtest.h>

namespace {

TEST(BindingV7, ReportsVersion70)
{
    EXPECT_EQ(GDSLibraryInstance()->GetIBClientVersion(), 70000);
}

TEST(BindingV7, FirstGatedGroupIsResolved)
{
    auto library = GDSLibraryInstance();
    library->CheckIBLoaded();
    for (const char* name : {"isc_array_gen_sdl2", "isc_array_get_slice2", "isc_array_lookup_bounds2",
                             "isc_array_lookup_desc2", "isc_array_set_desc2", "isc_array_put_slice2",
                             "isc_blob_default_desc2", "isc_blob_gen_bpb2", "isc_blob_lookup_desc2",
                             "isc_blob_set_desc2"})
        EXPECT_NO_THROW(library->CheckEntryPoint(name)) << name;
}

TEST(BindingV7, SavepointAndBatchGroupsGetFallbacks)
{
    auto library = GDSLibraryInstance();
    library->CheckIBLoaded();
    const std::pair<const char*, const char*> cases[] = {
        {"isc_release_savepoint", "isc_release_savepoint  is an InterBase 7.1 function. Please upgrade to "
                                  "InterBase 7.1 to use this functonality"},
        {"isc_rollback_savepoint", "isc_rollback_savepoint  is an InterBase 7.1 function. Please upgrade to "
                                   "InterBase 7.1 to use this functonality"},
        {"isc_dsql_batch_execute_immed", "isc_dsql_batch_execute_immed is an InterBase 2007 function. Please "
                                         "upgrade to InterBase 2007 to use this functonality"},
    };
    for (const auto& [name, text] : cases) {
        try {
            library->CheckEntryPoint(name);
            ADD_FAILURE() << "no fallback for " << name;
        } catch (const EIBClientError& e) {
            EXPECT_STREQ(e.what(), text);
        }
    }
}

}  // namespace
