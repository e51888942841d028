#include "PlatformCopy.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace tovanel {
namespace {

[[noreturn]] void RaiseErrno(const std::string& what, int error = errno) {
    throw std::system_error(error, std::generic_category(), what);
}

// Closes a descriptor at scope end.
class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const noexcept { return fd_; }

private:
    int fd_;
};

void WriteAll(int fd, const char* data, std::size_t length, const std::string& target) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            RaiseErrno(target);
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

void CopyBytes(int from, int to, const std::string& source, const std::string& target) {
    std::vector<char> buffer(1 << 20);
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            RaiseErrno(source);
        }
        if (got == 0) return;
        WriteAll(to, buffer.data(), static_cast<std::size_t>(got), target);
        offset += got;
    }
}

}  // namespace

std::uint64_t FreeBytesInDirectory(const std::string& directory) {
    struct statvfs info {};
    if (::statvfs(directory.empty() ? "." : directory.c_str(), &info) != 0) RaiseErrno(directory);
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::uint64_t FileSizeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) RaiseErrno(path);
    return static_cast<std::uint64_t>(info.st_size);
}

ReadableFile::ReadableFile(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) RaiseErrno(path);
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        const int error = errno;
        ::close(fd_);
        RaiseErrno(path, error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd_);
        RaiseErrno(path, EINVAL);
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
    // Read one byte now: a file that opens but cannot be read (a failing disk, a FUSE refusal)
    // stops here rather than half-way through the copy.
    char probe = 0;
    if (size_ > 0 && ::pread(fd_, &probe, 1, 0) < 0) {
        const int error = errno;
        ::close(fd_);
        RaiseErrno(path, error);
    }
}

ReadableFile::~ReadableFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool CreateCopyTarget(const ReadableFile& source, const std::string& target) {
    struct stat info {};
    if (::fstat(source.Descriptor(), &info) != 0) RaiseErrno(target);
    Descriptor to(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (to.get() < 0) {
        if (errno == EEXIST) return false;
        RaiseErrno(target);
    }
    // The server opens the copy under its own account: the original's owner and group give it
    // the same access it has to the original. Where this process may not give the file away,
    // the group alone is tried, then the file stays this process's own.
    if (::fchown(to.get(), info.st_uid, info.st_gid) != 0) (void)::fchown(to.get(), static_cast<uid_t>(-1), info.st_gid);
    if (::fchmod(to.get(), (info.st_mode & 0777) | S_IRUSR | S_IWUSR) != 0) RaiseErrno(target);
    return true;
}

CopyMethod CloneOrCopy(const ReadableFile& source, const std::string& target, std::uint64_t reserveBytes) {
    Descriptor to(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
    if (to.get() < 0) RaiseErrno(target);
    if (::ioctl(to.get(), FICLONE, source.Descriptor()) == 0) {
        if (::fsync(to.get()) != 0) RaiseErrno(target);
        return CopyMethod::Reflink;
    }
    const std::string directory = target.substr(0, target.find_last_of('/') + 1);
    if (FreeBytesInDirectory(directory) < source.Size() + reserveBytes) RaiseErrno(target, ENOSPC);
    CopyBytes(source.Descriptor(), to.get(), source.Path(), target);
    if (::fsync(to.get()) != 0) RaiseErrno(target);
    return CopyMethod::Bytes;
}

}  // namespace tovanel
