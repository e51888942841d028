// What the rescue's server tests share: the service set up as the rescue sets it up, and the
// byte-for-byte comparison that proves the original untouched.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "IBServerInfoService.h"
#include "PrivateServer.h"

namespace tovanel::testing {

namespace fs = std::filesystem;

inline std::string FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<fs::path> FilesIn(const fs::path& directory) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(directory)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The first statement of an isql script that makes `path` on the instance; `layout` follows the
// page size ("page_size 4096 default character set utf8").
inline std::string CreateDatabaseStatement(const fs::path& path, const testserver::PrivateServer& server,
                                           const std::string& layout) {
    return "create database 'localhost:" + path.string() + "' user '" + server.user() + "' password '" +
           server.password() + "' " + layout + ";\n";
}

// A fresh directory the server's account can write: for new databases and the rescue's own files.
inline fs::path DirectoryForTheServer(testserver::PrivateServer& server, std::string_view stem) {
    const fs::path directory = server.freshPath(stem, "");
    fs::create_directory(directory);
    server.handToServer(directory);
    fs::permissions(directory, fs::perms::owner_all | fs::perms::group_all);
    return directory;
}

inline void ConfigureServerInfo(TIBServerInfoService& service, const testserver::PrivateServer& server) {
    service.SetServerName("localhost");
    service.SetProtocol(TProtocol::TCP);
    service.SetLoginPrompt(false);
    service.Params().SetValue("user_name", server.user());
    service.Params().SetValue("password", server.password());
}

}  // namespace tovanel::testing
