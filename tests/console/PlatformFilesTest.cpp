// The file-system operations behind the port: existence test, deletion, executable path.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "PlatformFiles.h"
#include "TempDir.h"

namespace tovanel::testing {
namespace {

namespace fs = std::filesystem;

TEST(RegularFileExists, TrueOnlyForRegularFilesLinksFollowed) {
    TempDir dir;
    const std::string file = dir.MakeFile("banco.fdb");
    fs::create_symlink(file, dir.Path() / "link");
    fs::create_symlink(dir.Path() / "link", dir.Path() / "link-to-link");
    fs::create_symlink(dir.Path() / "missing", dir.Path() / "dangling");
    fs::create_directory(dir.Path() / "sub.fdb");
    ASSERT_EQ(::mkfifo((dir.Path() / "fifo").c_str(), 0600), 0);

    EXPECT_TRUE(RegularFileExists(file));
    EXPECT_TRUE(RegularFileExists((dir.Path() / "link").string()));
    EXPECT_TRUE(RegularFileExists((dir.Path() / "link-to-link").string()));
    EXPECT_TRUE(RegularFileExists((dir.Path() / "sub.fdb" / ".." / "banco.fdb").string()));
    EXPECT_FALSE(RegularFileExists((dir.Path() / "dangling").string()));
    EXPECT_FALSE(RegularFileExists((dir.Path() / "sub.fdb").string()));
    EXPECT_FALSE(RegularFileExists((dir.Path() / "fifo").string()));
    EXPECT_FALSE(RegularFileExists("/dev/null"));
    EXPECT_FALSE(RegularFileExists(""));
    EXPECT_FALSE(RegularFileExists(file + "/x"));  // a file used as a directory
}

TEST(RegularFileExists, APathWithAnEmbeddedNulIsNeverCutShort) {
    TempDir dir;
    const std::string file = dir.MakeFile("banco.fdb");
    EXPECT_FALSE(RegularFileExists(file + std::string("\0.other", 7)));
}

TEST(RegularFileExists, AnEmptyFileExists) {
    TempDir dir;
    const auto file = dir.Path() / "vazio.fdb";
    { std::ofstream create(file); }
    EXPECT_TRUE(RegularFileExists(file.string()));
}

TEST(RemoveFileQuietly, DeletesAndReportsFailureWithoutRaising) {
    TempDir dir;
    const std::string file = dir.MakeFile("banco.GBK");
    EXPECT_TRUE(RemoveFileQuietly(file));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(RemoveFileQuietly(file));
    EXPECT_FALSE(RemoveFileQuietly(dir.Path().string()));
    EXPECT_TRUE(fs::exists(dir.Path()));
    EXPECT_FALSE(RemoveFileQuietly(file + std::string("\0x", 2)));
}

TEST(RunningExecutablePath, NamesThisTestProgram) {
    const std::string path = RunningExecutablePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_TRUE(fs::equivalent(path, "/proc/self/exe"));
}

struct DirectoryCase {
    std::string path;
    std::string directory;
};

void PrintTo(const DirectoryCase& value, std::ostream* out) {
    *out << value.path;
}

class DirectoryWithSeparatorCases : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(DirectoryWithSeparatorCases, KeepsEverythingUpToTheLastSeparator) {
    EXPECT_EQ(DirectoryWithSeparator(GetParam().path), GetParam().directory);
}

INSTANTIATE_TEST_SUITE_P(Cases, DirectoryWithSeparatorCases,
                         ::testing::Values(DirectoryCase{"/usr/bin/tovanel", "/usr/bin/"},
                                           DirectoryCase{"/tovanel", "/"},
                                           DirectoryCase{"tovanel", ""},
                                           DirectoryCase{"/a.b/c", "/a.b/"}));

}  // namespace
}  // namespace tovanel::testing
