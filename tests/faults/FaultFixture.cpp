#include "FaultFixture.h"
#include "WindowChecks.h"

#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

namespace faults {

std::optional<FileIdentity> FileIdentity::Of(const fs::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

bool GuardedPort::FileExists(const std::string& path) const
{
    const bool exists = FakeUiPort::FileExists(path);
    if (exists && afterFileExists)
        afterFileExists(path);
    return exists;
}

void Record(const std::string& fault, const std::string& seen, const std::string& leftOnDisk)
{
    std::cout << "[fault] " << fault << " | seen: " << seen << " | left: " << leftOnDisk << std::endl;
}

void ServerFault::SetUp()
{
    ASSERT_NE(server().instanceName(), "main") << "fault tests stop the server: they need an instance of their own";
    try {
        server().start();
    } catch (const std::exception& e) {
        if (testserver::serverWasProvided())
            GTEST_FAIL() << e.what();
        GTEST_SKIP() << "cannot start a private instance here: " << e.what();
    }
    ASSERT_TRUE(server().reachable());
}

void ServerFault::TearDown()
{
    // A server holding a file system of the test lets go of it only when it stops.
    if (!mounts_.empty())
        server().stop();
    for (const fs::path& mounted : mounts_)
        ::umount2(mounted.c_str(), MNT_DETACH);
    // The next test finds a running server, whatever this one did to it.
    if (!server().reachable())
        server().start();
    server().removeFreshFiles();
    for (const fs::path& directory : directories_)
        fs::remove_all(directory);
}

fs::path ServerFault::WorkDir(const std::string& stem, bool writableByServer)
{
    const fs::path directory = server().freshPath(stem, "");
    fs::create_directories(directory);
    directories_.push_back(directory);
    if (writableByServer) {
        struct stat owner {};
        if (::stat(server().scratch().c_str(), &owner) == 0) {
            EXPECT_EQ(::chown(directory.c_str(), owner.st_uid, owner.st_gid), 0);
        }
        fs::permissions(directory, fs::perms::owner_all | fs::perms::group_all);
    } else {
        fs::permissions(directory, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
    }
    return directory;
}

std::optional<fs::path> ServerFault::SmallFileSystem(const std::string& stem, const std::string& size)
{
    const fs::path directory = WorkDir(stem);
    const std::string options = "size=" + size + ",mode=1777";
    // The server runs in a mount namespace of its own, copied when it starts: it is restarted
    // after the mount to see it.
    server().stop();
    if (::mount("tovanel-full", directory.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        server().start();
        return std::nullopt;
    }
    mounts_.push_back(directory);
    server().start();
    return directory;
}

fs::path ServerFault::HealthyDatabase(const std::string& stem)
{
    const fs::path database = server().freshPath(stem);
    server().createHealthyDatabase(database);
    return database;
}

void ServerFault::ExpectSourceIntact(const fs::path& database, const std::optional<FileIdentity>& before)
{
    ExpectSameFile(database, before);
    if (!server().reachable())
        server().start();
    EXPECT_EQ(server().countRows(database), testserver::PrivateServer::healthyRowCounts());
}

void ConsoleFault::SetUp()
{
    ServerFault::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    form = std::make_unique<TFrmPrincipal>(port);
    form->FormCreate();
}

void ConsoleFault::TearDown()
{
    form.reset();
    ServerFault::TearDown();
}

void ConsoleFault::Fill(const fs::path& database)
{
    port.databasePath = database.string();
    port.user = server().user();
    port.password = server().password();
}

void ConsoleFault::Run(void (TFrmPrincipal::*command)())
{
    tovanel::testing::RunAsWindow(*form, command);
}

void ConsoleFault::Repair(const fs::path& database, const fs::path& target)
{
    Fill(database);
    port.QueueAnswer(tovanel::kButtonYes);
    port.QueueSaveDialog(target.string());
    Run(&TFrmPrincipal::ActnReparabancoExecute);
}

void ConsoleFault::Verify(const fs::path& database, std::optional<int> offerAnswer)
{
    Fill(database);
    port.QueueAnswer(tovanel::kButtonYes);
    if (offerAnswer)
        port.QueueAnswer(*offerAnswer);
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);
}

void ConsoleFault::Test(const fs::path& database)
{
    Fill(database);
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
}

void ConsoleFault::ExpectWindowRestored() const
{
    tovanel::testing::ExpectWindowIdle(port, *form);
}

void ConsoleFault::ExpectOneErrorBox(const std::string& text) const
{
    std::vector<const tovanel::testing::MessageBoxCall*> errors;
    for (const auto& box : port.messageBoxes)
        if (box.kind == tovanel::MessageKind::Error)
            errors.push_back(&box);
    ASSERT_EQ(errors.size(), 1u) << port.LogText();
    EXPECT_EQ(errors[0]->title, "Erro!");
    EXPECT_FALSE(errors[0]->text.empty());
    if (!text.empty()) {
        EXPECT_EQ(errors[0]->text, text);
    }
    // The box comes after the window was given back to the operator.
    EXPECT_FALSE(errors[0]->busyCursor);
    EXPECT_TRUE(errors[0]->inputGroupEnabled);
    EXPECT_TRUE(errors[0]->mainMenuEnabled);
}

void ServerFault::ExpectNoBackupIn(const fs::path& directory)
{
    for (const auto& entry : fs::directory_iterator(directory))
        EXPECT_NE(entry.path().extension(), ".GBK") << entry.path() << " was left behind";
}

void ServerFault::ExpectSameFile(const fs::path& path, const std::optional<FileIdentity>& before)
{
    ASSERT_TRUE(before.has_value());
    const auto now = FileIdentity::Of(path);
    ASSERT_TRUE(now.has_value()) << path << " was deleted";
    EXPECT_EQ(*now, *before) << path << " was replaced by another file";
}

std::string ConsoleFault::SeenText() const
{
    if (port.messageBoxes.empty())
        return "(no box) log: " + port.LogText();
    std::string text = port.messageBoxes.back().title + ": " + port.messageBoxes.back().text;
    std::replace(text.begin(), text.end(), '\r', '/');
    std::replace(text.begin(), text.end(), '\n', '/');
    return text;
}

std::string ServerFault::Listing(const fs::path& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string() + " (" +
                        (entry.is_regular_file() ? std::to_string(entry.file_size()) : std::string("dir")) + ")");
    std::sort(names.begin(), names.end());
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? "(nothing)" : text;
}

}  // namespace faults
