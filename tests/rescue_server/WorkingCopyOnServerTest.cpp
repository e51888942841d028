// The working copy against the real server: a byte-identical copy beside the new file that the
// server can attach, the original unchanged, and the refusals that come before anything is
// written.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DatabaseOnServer.h"
#include "PlatformCopy.h"
#include "RescueServerSupport.h"
#include "RescueWorkingCopy.h"

namespace tovanel::testing {
namespace {

class WorkingCopyOnServer : public testserver::RealServerTest {
protected:
    void SetUp() override {
        RealServerTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        ConfigureServerInfo(info, server());
        info.Attach();
        directory = DirectoryForTheServer(server(), "copia");
    }
    void TearDown() override {
        if (info.Active()) info.Detach();
        if (!directory.empty()) fs::remove_all(directory);
        RealServerTest::TearDown();
    }
    std::string NewFile() const { return (directory / "banco_RESGATE.FDB").string(); }

    TIBServerInfoService info;
    fs::path directory;
};

TEST_F(WorkingCopyOnServer, CopyIsByteIdenticalAttachableAndGoneAtTheEnd) {
    const fs::path original = server().freshPath("original");
    server().createDamagedDatabase(original, fbdamage::Kind::Records);
    const std::string before = FileBytes(original);
    std::string copyPath;
    {
        RescueTempFiles temps;
        const WorkingCopy copy = MakeWorkingCopy(info, original.string(), NewFile(), temps);
        copyPath = copy.path;
        EXPECT_EQ(fs::path(copy.path).parent_path(), directory) << "the copy lies beside the new file";
        EXPECT_EQ(copy.bytes, before.size());
        EXPECT_EQ(FileBytes(copy.path), before);
        // The server can attach and write it: a validation changes its header page.
        EXPECT_TRUE(server().validate(copy.path).exitCode >= 0);
        EXPECT_NO_THROW(server().countRows(copy.path));
        EXPECT_EQ(temps.Paths(), std::vector<std::string>{copy.path});
    }
    EXPECT_FALSE(fs::exists(copyPath)) << "the copy is removed when the rescue ends";
    EXPECT_EQ(FileBytes(original), before) << "the original is byte for byte as it was";
    EXPECT_TRUE(FilesIn(directory).empty());
}

TEST_F(WorkingCopyOnServer, TakenNamesAreSkippedNeverOverwritten) {
    const fs::path original = server().freshPath("original");
    server().createHealthyDatabase(original);
    const std::string first = WorkingCopyCandidate(NewFile(), "banco_RESGATE", 0);
    const std::string second = WorkingCopyCandidate(NewFile(), "banco_RESGATE", 1);
    { std::ofstream(first) << "someone else's"; }
    RescueTempFiles temps;
    const WorkingCopy copy = MakeWorkingCopy(info, original.string(), NewFile(), temps);
    EXPECT_EQ(copy.path, second);
    EXPECT_EQ(FileBytes(first), "someone else's");
    temps.RemoveAll();
    EXPECT_TRUE(fs::exists(first)) << "only the rescue's own files are removed";
}

TEST_F(WorkingCopyOnServer, OriginalHeldOpenByTheServerIsRefusedBeforeAnythingIsWritten) {
    const fs::path original = server().freshPath("aberto");
    server().createHealthyDatabase(original);
    TIBDatabase holder;
    testserver::configureAsConsole(holder, testserver::PrivateServer::remote(original), server().user(),
                                   server().password());
    holder.SetConnected(true);
    RescueTempFiles temps;
    try {
        MakeWorkingCopy(info, original.string(), NewFile(), temps);
        ADD_FAILURE() << "an original the server holds open must be refused";
    } catch (const ERescueError& refusal) {
        EXPECT_NE(std::string(refusal.what()).find(original.string()), std::string::npos) << refusal.what();
        EXPECT_NE(std::string(refusal.what()).find("aberto"), std::string::npos) << refusal.what();
    }
    EXPECT_TRUE(FilesIn(directory).empty());
    EXPECT_TRUE(temps.Paths().empty());
    holder.SetConnected(false);
}

struct UnreadableCase {
    const char* name;
    void (*make)(const fs::path& path);
};

class UnreadableOriginal : public WorkingCopyOnServer, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(UnreadableOriginal, StopsWithAClearMessageAndWritesNothing) {
    const fs::path original = server().freshPath("ilegivel");
    GetParam().make(original);
    RescueTempFiles temps;
    try {
        MakeWorkingCopy(info, original.string(), NewFile(), temps);
        ADD_FAILURE() << "an unreadable original must stop the rescue";
    } catch (const ERescueError& refusal) {
        const std::string text = refusal.what();
        EXPECT_EQ(text.rfind("Não foi possível ler o banco de dados " + original.string() + ": ", 0), 0u) << text;
    }
    EXPECT_TRUE(FilesIn(directory).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnreadableOriginal,
    ::testing::Values(UnreadableCase{"missing", [](const fs::path&) {}},
                      UnreadableCase{"directory", [](const fs::path& p) { fs::create_directory(p); }},
                      UnreadableCase{"dangling_link", [](const fs::path& p) { fs::create_symlink(p.string() + ".nada", p); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkingCopyOnServer, TooLittleFreeSpaceIsRefusedBeforeAnythingIsWritten) {
    // A sparse original larger than the free room: it takes no space itself.
    const fs::path original = server().freshPath("enorme");
    const std::uint64_t free = FreeBytesInDirectory(directory.string());
    {
        const int fd = ::open(original.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(free / 2 + (1u << 20))), 0);
        ::close(fd);
    }
    RescueTempFiles temps;
    try {
        MakeWorkingCopy(info, original.string(), NewFile(), temps);
        ADD_FAILURE() << "a directory short of room must be refused";
    } catch (const ERescueError& refusal) {
        EXPECT_EQ(std::string(refusal.what()).rfind("Espaço livre insuficiente em " + directory.string() + ":", 0), 0u)
            << refusal.what();
    }
    EXPECT_TRUE(FilesIn(directory).empty());
}

}  // namespace
}  // namespace tovanel::testing
