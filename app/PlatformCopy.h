#pragma once
// Copying a file byte for byte for a job that must leave the original untouched, and the file
// system facts that copy needs. The platform-specific part; this build uses Linux calls. Paths
// are UTF-8 text, used exactly as given. Failures raise std::system_error with the errno.

#include <cstdint>
#include <string>

namespace tovanel {

// Bytes an unprivileged process may still write in the file system holding the directory.
std::uint64_t FreeBytesInDirectory(const std::string& directory);

// Size of a regular file, symbolic links followed.
std::uint64_t FileSizeOf(const std::string& path);

// Opens the original for reading, first of all, so an unreadable one stops before anything is
// written. Closed by its destructor.
class ReadableFile {
public:
    explicit ReadableFile(const std::string& path);
    ~ReadableFile();
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;
    int Descriptor() const noexcept { return fd_; }
    std::uint64_t Size() const noexcept { return size_; }
    const std::string& Path() const noexcept { return path_; }

private:
    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

enum class CopyMethod { Reflink, Bytes };

// Creates `target` (which must not exist yet: O_EXCL, so a name another process took in the
// meantime is never overwritten) with the source's owner, group and permission bits where this
// process may set them, owner read and write always. Answers false when the name was taken.
bool CreateCopyTarget(const ReadableFile& source, const std::string& target);

// Fills the empty target made by CreateCopyTarget: a reflink (shared extents, no bytes written)
// where the file system offers one, else a plain copy. Checks beforehand that a plain copy
// leaves `reserveBytes` free; raises std::system_error ENOSPC when it would not. The target is
// flushed to disk before this returns.
CopyMethod CloneOrCopy(const ReadableFile& source, const std::string& target, std::uint64_t reserveBytes);

}  // namespace tovanel
