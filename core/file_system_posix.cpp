// POSIX implementation of the file seam, used by the native build and its tests.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "core/file_system.h"
#include "core/runtime_error.h"

namespace core {
namespace {

std::string Native(const std::string& path) {
    std::string out = path;
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

bool ParentExists(const std::string& nativePath) {
    const auto slash = nativePath.find_last_of('/');
    if (slash == std::string::npos) return true;
    if (slash == 0) return true;
    struct stat st {};
    return ::stat(nativePath.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void RaiseErrno(int err, const std::string& nativePath) {
    switch (err) {
        case ENOENT: Raise(ParentExists(nativePath) ? ErrorKind::FileNotFound : ErrorKind::PathNotFound, nativePath);
        case ENOTDIR: Raise(ErrorKind::PathNotFound, nativePath);
        case ENOSPC: Raise(ErrorKind::DiskFull, nativePath);
        case EACCES:
        case EPERM:
        case EROFS: Raise(ErrorKind::PathFileAccess, nativePath);
        case EBUSY:
        case ETXTBSY: Raise(ErrorKind::PermissionDenied, nativePath);
        default: Raise(ErrorKind::PathFileAccess, nativePath + ": " + std::strerror(err));
    }
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

class PosixWriter final : public FileWriter {
public:
    PosixWriter(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    void Write(const void* data, std::size_t size) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(m_fd.Get(), p, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                RaiseErrno(errno, m_path);
            }
            p += n;
            size -= static_cast<std::size_t>(n);
        }
    }
    void Commit() override {
        if (::fsync(m_fd.Get()) != 0 && errno != EINVAL) RaiseErrno(errno, m_path);
    }

private:
    Fd m_fd;
    std::string m_path;
};

class PosixReader final : public FileReader {
public:
    PosixReader(int fd, std::uint64_t size, std::string path) : m_fd(fd), m_size(size), m_path(std::move(path)) {}
    std::uint64_t Size() const override { return m_size; }
    std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        std::size_t done = 0;
        char* p = static_cast<char*>(data);
        while (done < size) {
            const ssize_t n = ::pread(m_fd.Get(), p + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                RaiseErrno(errno, m_path);
            }
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

private:
    Fd m_fd;
    std::uint64_t m_size;
    std::string m_path;
};

class Dir {
public:
    explicit Dir(DIR* dir) : m_dir(dir) {}
    ~Dir() {
        if (m_dir != nullptr) ::closedir(m_dir);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
    DIR* Get() const { return m_dir; }

private:
    DIR* m_dir;
};

DirectoryEntry::Kind KindOf(mode_t mode) {
    if (S_ISLNK(mode)) return DirectoryEntry::Kind::Link;
    if (S_ISDIR(mode)) return DirectoryEntry::Kind::Folder;
    if (S_ISREG(mode)) return DirectoryEntry::Kind::File;
    return DirectoryEntry::Kind::Other;
}

class PosixFileSystem final : public FileSystem {
public:
    std::uint64_t FileSize(const std::string& path) override {
        const std::string p = Native(path);
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0) RaiseErrno(errno, p);
        if (S_ISDIR(st.st_mode)) Raise(ErrorKind::FileNotFound, p);
        return static_cast<std::uint64_t>(st.st_size);
    }

    std::string ReadFile(const std::string& path, std::size_t maxBytes) override {
        auto reader = OpenRead(path);
        if (reader->Size() > maxBytes) Raise(ErrorKind::PathFileAccess, Native(path) + ": demasiado grande");
        std::string out(static_cast<std::size_t>(reader->Size()), '\0');
        out.resize(reader->ReadAt(0, out.data(), out.size()));
        return out;
    }

    std::unique_ptr<FileWriter> CreateFile(const std::string& path) override {
        const std::string p = Native(path);
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) RaiseErrno(errno, p);
        return std::make_unique<PosixWriter>(fd, p);
    }

    std::unique_ptr<FileWriter> AppendFile(const std::string& path) override {
        const std::string p = Native(path);
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) RaiseErrno(errno, p);
        return std::make_unique<PosixWriter>(fd, p);
    }

    std::unique_ptr<FileReader> OpenRead(const std::string& path) override {
        const std::string p = Native(path);
        const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) RaiseErrno(errno, p);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            Raise(ErrorKind::PathFileAccess, p);
        }
        return std::make_unique<PosixReader>(fd, static_cast<std::uint64_t>(st.st_size), p);
    }

    void Replace(const std::string& from, const std::string& to) override {
        const std::string f = Native(from), t = Native(to);
        if (::rename(f.c_str(), t.c_str()) != 0) RaiseErrno(errno, t);
        // Make the rename itself durable.
        const auto slash = t.find_last_of('/');
        const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : t.substr(0, slash));
        const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
    }

    void ReplaceUnflushed(const std::string& from, const std::string& to) override {
        const std::string f = Native(from), t = Native(to);
        if (::rename(f.c_str(), t.c_str()) != 0) RaiseErrno(errno, t);
    }

    void DeleteFile(const std::string& path) override {
        const std::string p = Native(path);
        if (::unlink(p.c_str()) != 0) RaiseErrno(errno, p);
    }

    void RemoveIfExists(const std::string& path) noexcept override { ::unlink(Native(path).c_str()); }

    bool FileExists(const std::string& path) override {
        struct stat st {};
        return ::stat(Native(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    bool DirectoryExists(const std::string& path) override {
        struct stat st {};
        return ::stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    void RemoveFolderIfEmpty(const std::string& path) noexcept override { ::rmdir(Native(path).c_str()); }

    void CreateDirectory(const std::string& path) override {
        const std::string p = Native(path);
        if (::mkdir(p.c_str(), 0755) != 0) {
            if (errno == EEXIST && DirectoryExists(path)) return;
            RaiseErrno(errno, p);
        }
    }

    std::optional<std::uint64_t> FreeBytes(const std::string& path) noexcept override {
        struct statvfs st {};
        if (::statvfs(Native(path).c_str(), &st) != 0) return std::nullopt;
        return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    }

    std::vector<DirectoryEntry> ListDirectory(const std::string& path, std::size_t maxEntries) override {
        const std::string p = Native(path);
        const Dir dir(::opendir(p.c_str()));
        if (dir.Get() == nullptr) RaiseErrno(errno == ENOENT ? ENOTDIR : errno, p);
        std::vector<DirectoryEntry> entries;
        for (;;) {
            errno = 0;
            const dirent* d = ::readdir(dir.Get());
            if (d == nullptr) {
                if (errno != 0) RaiseErrno(errno, p);
                return entries;
            }
            const std::string name = d->d_name;
            if (name == "." || name == "..") continue;
            if (entries.size() == maxEntries) Raise(ErrorKind::PathFileAccess, p + ": demasiados nombres");
            struct stat st {};
            if (::fstatat(::dirfd(dir.Get()), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT) continue;  // gone since it was listed
                RaiseErrno(errno, p + "/" + name);
            }
            DirectoryEntry e;
            e.name = name;
            e.kind = KindOf(st.st_mode);
            if (e.kind == DirectoryEntry::Kind::File) e.size = static_cast<std::uint64_t>(st.st_size);
            e.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec);
            entries.push_back(std::move(e));
        }
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace core
