// No client library where the binding looks: the exact missing-library error, tried again on
// each construction, and a success once the library is there.
#include "ClientLibrary.h"
#include "IBDatabase.h"
#include "IBErrors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* kMissingText =
    "InterBase library gds32.dll not found in the path. Please install InterBase to use this functionality";

class BindingAbsent : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("tovanel-absent-" + std::to_string(getpid()));
        fs::create_directories(dir);
        SetClientLibraryFileNameForTesting((dir / "libfbclient.so.2").string());
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

void ExpectLibraryMissing(const std::function<void()>& action)
{
    try {
        action();
        FAIL() << "no error without the client library";
    } catch (const EIBClientError& e) {
        EXPECT_STREQ(e.what(), kMissingText);
        EXPECT_EQ(e.SQLCode(), 1);
        EXPECT_EQ(e.IBErrorCode(), 0);
    }
}

TEST_F(BindingAbsent, EachConstructionTriesAgainUntilTheLibraryIsThere)
{
    ExpectLibraryMissing([] { TIBDatabase db; });
    ExpectLibraryMissing([] { TIBDatabase db; });
    ExpectLibraryMissing([] { GDSLibraryInstance()->GetIBClientVersion(); });
    EXPECT_FALSE(GDSLibraryInstance()->TryIBLoad());
    EXPECT_EQ(ClientVersion(), 0);

    fs::copy_file(TOVANEL_FAKE_CLIENT_FILE, dir / "libfbclient.so.2");
    TIBDatabase db;
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(GDSLibraryInstance()->GetIBClientVersion(), 30000);
}

}  // namespace
