// The working copy's names and the removal of the rescue's temporary files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "PlatformCopy.h"
#include "RescueWorkingCopy.h"
#include "TempDir.h"

namespace tovanel {
namespace {

namespace fs = std::filesystem;

TEST(WorkingCopyName, LiesBesideTheNewFileAndCountsUp) {
    EXPECT_EQ(WorkingCopyCandidate("/d/x/banco_RESGATE.FDB", "banco_RESGATE", 0), "/d/x/banco_RESGATE_COPIA.tmp");
    EXPECT_EQ(WorkingCopyCandidate("/d/x/banco_RESGATE.FDB", "banco_RESGATE", 2), "/d/x/banco_RESGATE_COPIA_2.tmp");
    EXPECT_EQ(WorkingCopyCandidate("novo.fdb", "novo", 0), "novo_COPIA.tmp");
}

TEST(RescueTempFiles, EveryRegisteredFileGoesAtTheEndAndNothingElse) {
    testing::TempDir dir;
    const std::string mine = dir.MakeFile("a.tmp");
    const std::string other = dir.MakeFile("b.tmp");
    {
        RescueTempFiles temps;
        temps.Add(mine);
        temps.Add((dir.Path() / "never-made.tmp").string());
    }
    EXPECT_FALSE(fs::exists(mine));
    EXPECT_TRUE(fs::exists(other));
}

// A process that cannot wait for its rescue to stop removes the rescue's temporary files and the
// new database it has begun, never a file the rescue did not name or one it has finished.
TEST(UnfinishedRescueFiles, AProcessEndedEarlyRemovesWhatItsRescueWouldAndNothingElse) {
    testing::TempDir dir;
    const std::string copy = dir.MakeFile("banco_COPIA.tmp");
    const std::string begun = dir.MakeFile("banco_RESGATE.FDB");
    const std::string finished = dir.MakeFile("pronto_RESGATE.FDB");
    const std::string other = dir.MakeFile("outro.fdb");
    EXPECT_FALSE(AnyRescueUnfinished());
    {
        RescueTempFiles temps;
        temps.Add(copy);
        UnfinishedFile unfinished(begun);
        { UnfinishedFile done(finished); }
        EXPECT_TRUE(AnyRescueUnfinished());
        EXPECT_EXIT(EndProcessRemovingRescueFiles(2), ::testing::ExitedWithCode(2), "");
        EXPECT_FALSE(fs::exists(copy));
        EXPECT_FALSE(fs::exists(begun));
        EXPECT_TRUE(fs::exists(finished));
        EXPECT_TRUE(fs::exists(other));
    }
    EXPECT_FALSE(AnyRescueUnfinished()) << "an ended rescue names nothing any more";
}

TEST(PlatformCopy, CopyTargetNeverTakesAnExistingName) {
    testing::TempDir dir;
    const std::string source = dir.MakeFile("src.fdb");
    const std::string taken = dir.MakeFile("taken.tmp");
    const ReadableFile file(source);
    EXPECT_FALSE(CreateCopyTarget(file, taken));
    const std::string target = (dir.Path() / "copy.tmp").string();
    ASSERT_TRUE(CreateCopyTarget(file, target));
    CloneOrCopy(file, target, 0);
    std::ifstream a(source, std::ios::binary), b(target, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}), std::string(std::istreambuf_iterator<char>(b), {}));
}

TEST(PlatformCopy, UnreadableSourceRaisesBeforeAnythingIsMade) {
    testing::TempDir dir;
    EXPECT_THROW(ReadableFile((dir.Path() / "missing").string()), std::system_error);
    EXPECT_THROW(ReadableFile(dir.Path().string()), std::system_error);
}

}  // namespace
}  // namespace tovanel
