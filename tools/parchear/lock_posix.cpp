#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/runtime_error.h"
#include "tools/parchear/lock.h"

namespace parchear {
namespace {

constexpr std::size_t kMaxLockText = 512;

std::string ReadAll(int fd) {
    std::string text(kMaxLockText, '\0');
    const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

}  // namespace

LockAttempt TryLockFile(const std::string& file) {
    for (;;) {
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            core::Raise(errno == ENOENT ? core::ErrorKind::PathNotFound : core::ErrorKind::PermissionDenied, file);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            LockAttempt held{false, -1, ReadAll(fd)};
            ::close(fd);
            if (error != EWOULDBLOCK) core::Raise(core::ErrorKind::PermissionDenied, file);
            return held;
        }
        // The holder before may have deleted the file between our open and our lock: then the
        // lock is on a name nobody else sees, and the next try opens the new file.
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && ::stat(file.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
            opened.st_dev == named.st_dev) {
            return {true, fd, ReadAll(fd)};
        }
        ::close(fd);
    }
}

void WriteLockText(std::intptr_t handle, const std::string& text) {
    const int fd = static_cast<int>(handle);
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()) ||
        ::fsync(fd) != 0) {
        core::Raise(core::ErrorKind::PathFileAccess, "parchear.bloqueo");
    }
}

void ReleaseLockFile(std::intptr_t handle, const std::string& file) noexcept {
    if (handle < 0) return;
    ::unlink(file.c_str());
    ::close(static_cast<int>(handle));
}

std::int64_t ThisProcessId() { return ::getpid(); }

std::string ThisComputerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "?";
    return name;
}

}  // namespace parchear
