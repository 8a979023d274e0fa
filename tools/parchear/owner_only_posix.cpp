#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "core/runtime_error.h"
#include "tools/parchear/owner_only.h"

namespace parchear {
namespace {

[[noreturn]] void Fail(int err, const std::string& path) {
    core::Raise(err == ENOSPC ? core::ErrorKind::DiskFull : core::ErrorKind::PathFileAccess, path);
}

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777u);
    return text;
}

}  // namespace

bool CreateOwnerOnlyFile(const std::string& path, std::string_view content) {
    // The mode is given to open itself; the umask can only narrow it further.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        if (errno == EEXIST) return false;
        Fail(errno, path);
    }
    int err = 0;
    for (std::size_t at = 0; at < content.size() && err == 0;) {
        const ssize_t n = ::write(fd, content.data() + at, content.size() - at);
        if (n < 0 && errno != EINTR) err = errno;
        if (n > 0) at += static_cast<std::size_t>(n);
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        ::unlink(path.c_str());
        Fail(err, path);
    }
    return true;
}

std::string OthersWhoMayRead(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) Fail(errno, path);
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) == 0) return {};
    return "permisos " + Octal(static_cast<unsigned>(st.st_mode));
}

}  // namespace parchear
