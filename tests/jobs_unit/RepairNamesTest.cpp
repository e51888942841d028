#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "RepairNames.h"

namespace tovanel {
namespace {
namespace fs = std::filesystem;

struct NameCase {
    std::string path;
    std::string stem, extension, proposed, backup;
};

TEST(RepairNames, StemIsCutAtTheFirstDotAndExtensionTakenFromTheLast) {
    const NameCase cases[] = {
        {"/dados/banco", "banco", "", "banco_NOVO", "banco.GBK"},
        {"/dados/banco.fdb", "banco", ".FDB", "banco_NOVO.FDB", "banco.GBK"},
        {"/dados/banco.gdb", "banco", ".GDB", "banco_NOVO.GDB", "banco.GBK"},
        {"/dados/banco.old.fdb", "banco", ".FDB", "banco_NOVO.FDB", "banco.GBK"},
        {"/dados/.fdb", "", ".FDB", "_NOVO.FDB", ".GBK"},
        {"/dados.v2/banco", "banco", "", "banco_NOVO", "banco.GBK"},
        {"/dados.v2/banco.Fdb", "banco", ".FDB", "banco_NOVO.FDB", "banco.GBK"},
        {"banco.fdb", "banco", ".FDB", "banco_NOVO.FDB", "banco.GBK"},
        {"/dados/banco.", "banco", ".", "banco_NOVO.", "banco.GBK"},
        {"/dados/Ação.fdb", "Ação", ".FDB", "Ação_NOVO.FDB", "Ação.GBK"},
        {"/dados/banco.fdé", "banco", ".FDé", "banco_NOVO.FDé", "banco.GBK"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.path);
        const RepairNames names = DeriveRepairNames(c.path);
        EXPECT_EQ(names.stem, c.stem);
        EXPECT_EQ(names.extension, c.extension);
        EXPECT_EQ(names.proposedNewName, c.proposed);
        EXPECT_EQ(names.backupName, c.backup);
    }
}

TEST(RepairNames, DirectoryPartHasNoTrailingSeparator) {
    EXPECT_EQ(DirectoryPart("/dados/sub/banco.fdb"), "/dados/sub");
    EXPECT_EQ(DirectoryPart("/dados.v2/banco"), "/dados.v2");
    EXPECT_EQ(DirectoryPart("/banco.fdb"), "/");
    EXPECT_EQ(DirectoryPart("banco.fdb"), "");
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tovanel-names-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    void Touch(const fs::path& p, const std::string& bytes = "x") { std::ofstream(p) << bytes; }
    fs::path dir;
};

using TemporaryBackup = TempDir;

TEST_F(TemporaryBackup, GoesIntoTheNewFilesDirectory) {
    EXPECT_EQ(TemporaryBackupPath((dir / "banco_NOVO.FDB").string(), "banco"),
              (dir / "banco.GBK").string());
}

TEST_F(TemporaryBackup, TakesTheFirstFreeNumberedNameWhenTheNameIsTaken) {
    Touch(dir / "banco.GBK");
    EXPECT_EQ(TemporaryBackupPath((dir / "novo.fdb").string(), "banco"), (dir / "banco_1.GBK").string());
    Touch(dir / "banco_1.GBK");
    Touch(dir / "banco_3.GBK");
    EXPECT_EQ(TemporaryBackupPath((dir / "novo.fdb").string(), "banco"), (dir / "banco_2.GBK").string());
}

TEST_F(TemporaryBackup, ADirectoryOrADanglingLinkAlsoTakesTheName) {
    fs::create_directory(dir / "banco.GBK");
    fs::create_symlink(dir / "nowhere", dir / "banco_1.GBK");
    EXPECT_EQ(TemporaryBackupPath((dir / "novo.fdb").string(), "banco"), (dir / "banco_2.GBK").string());
}

TEST_F(TemporaryBackup, NeverTakesTheNameOfTheNewDatabaseFile) {
    EXPECT_EQ(TemporaryBackupPath((dir / "banco.GBK").string(), "banco"), (dir / "banco_1.GBK").string());
}

TEST_F(TemporaryBackup, OtherCaseOfTheNameIsAnotherFile) {
    Touch(dir / "banco.gbk");
    EXPECT_EQ(TemporaryBackupPath((dir / "novo.fdb").string(), "banco"), (dir / "banco.GBK").string());
}

TEST_F(TemporaryBackup, EmptyStemStillGetsAFreeName) {
    Touch(dir / ".GBK");
    EXPECT_EQ(TemporaryBackupPath((dir / "_NOVO.FDB").string(), ""), (dir / "_1.GBK").string());
}

using SameFile = TempDir;

TEST_F(SameFile, EqualTextIsTheSameFileEvenWhenAbsent) {
    EXPECT_TRUE(IsSameDatabaseFile("/nao/existe.fdb", "/nao/existe.fdb"));
}

TEST_F(SameFile, AnotherSpellingOfAnExistingSourceIsTheSameFile) {
    Touch(dir / "banco.fdb");
    fs::create_symlink(dir / "banco.fdb", dir / "link.fdb");
    fs::create_hard_link(dir / "banco.fdb", dir / "hard.fdb");
    const std::string source = (dir / "banco.fdb").string();
    EXPECT_TRUE(IsSameDatabaseFile((dir / "link.fdb").string(), source));
    EXPECT_TRUE(IsSameDatabaseFile((dir / "hard.fdb").string(), source));
    EXPECT_TRUE(IsSameDatabaseFile((dir / "." / "banco.fdb").string(), source));
    EXPECT_TRUE(IsSameDatabaseFile(dir.string() + "//banco.fdb", source));

    const fs::path before = fs::current_path();
    fs::current_path(dir);
    EXPECT_TRUE(IsSameDatabaseFile("./banco.fdb", source));
    EXPECT_TRUE(IsSameDatabaseFile(source, "banco.fdb"));
    fs::current_path(before);
}

TEST_F(SameFile, ADifferentOrAbsentFileIsNotTheSame) {
    Touch(dir / "banco.fdb");
    Touch(dir / "copia.fdb");
    const std::string source = (dir / "banco.fdb").string();
    EXPECT_FALSE(IsSameDatabaseFile((dir / "copia.fdb").string(), source));
    EXPECT_FALSE(IsSameDatabaseFile((dir / "BANCO.FDB").string(), source));
    EXPECT_FALSE(IsSameDatabaseFile((dir / "banco_NOVO.FDB").string(), source));
}

}  // namespace
}  // namespace tovanel
