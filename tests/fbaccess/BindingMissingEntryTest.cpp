// A client that lacks one of the required core names (isc_que_events).
#include "ClientLibrary.h"
#include "IBDatabase.h"
#include "IBErrors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ContainsRegex;
using testing::HasSubstr;
using testing::StartsWith;

TEST(BindingMissingEntry, ConstructionRaisesTheSystemError)
{
    try {
        TIBDatabase db;
        FAIL() << "constructed over a client without isc_que_events";
    } catch (const EOSError& e) {
        const std::string text = e.what();
        EXPECT_THAT(text, StartsWith("System Error.  Code: " + std::to_string(e.ErrorCode()) + ".\r\n"));
        EXPECT_THAT(text, HasSubstr("isc_que_events"));
    }
}

TEST(BindingMissingEntry, EveryLaterCheckFailsTheSameWay)
{
    auto library = GDSLibraryInstance();
    EXPECT_THROW(library->CheckIBLoaded(), EOSError);
    EXPECT_THROW(library->TryIBLoad(), EOSError);
    EXPECT_THROW(library->GetIBClientVersion(), EOSError);
    EXPECT_EQ(ClientVersion(), 0);
}

TEST(BindingMissingEntry, NoEntryPointIsCalledAfterwards)
{
    auto library = GDSLibraryInstance();
    EXPECT_THROW(library->CheckIBLoaded(), EOSError);
    // The attach wrapper must not jump through an address it never resolved.
    isc_db_handle handle = 0;
    EXPECT_THROW(library->isc_attach_database(ThreadStatusVector(), 1, "x", &handle, 1, "\x01"), EIBClientError);
}

}  // namespace
