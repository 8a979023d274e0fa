// A fresh, uniquely named folder under the system's temporary folder, removed afterwards.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

namespace testsupport {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "vandrel") {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        m_path = std::filesystem::temp_directory_path() /
                 (prefix + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // UTF-8 path without a trailing separator.
    std::string Path() const {
        const auto u8 = m_path.u8string();
        return std::string(u8.begin(), u8.end());
    }
    const std::filesystem::path& FsPath() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace testsupport
