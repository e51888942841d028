#pragma once
// A fresh directory per test, removed with everything in it at the end.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tovanel::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tovanel-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Creates a regular file with a little content; returns its full path as text.
    std::string MakeFile(const std::string& name) const {
        const auto file = path_ / name;
        std::ofstream(file) << "not a database, only bytes";
        return file.string();
    }

private:
    std::filesystem::path path_;
};

}  // namespace tovanel::testing
