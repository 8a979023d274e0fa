// One publisher at a time: a lock file in the record and in the server folder, held through the
// system's own file lock, which ends with the process that holds it. The file names the holder;
// one left by a process that ended without releasing it is taken over with a line that says so.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "tools/parchear/refusal.h"

namespace parchear {

inline constexpr std::string_view kLockName = "parchear.bloqueo";
inline constexpr std::chrono::seconds kLockWait{20};

class FolderLock {
public:
    // Takes folder's lock, waiting up to wait while another command holds it; after that,
    // Refusal naming the holder.
    FolderLock(const std::string& folder, Console& console, std::chrono::milliseconds wait = kLockWait);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    std::string m_file;
    std::intptr_t m_handle = -1;
};

// The platform's side (lock_posix.cpp, lock_win32.cpp).
struct LockAttempt {
    bool taken = false;
    std::intptr_t handle = -1;  // when taken
    std::string text;           // what the file held: its holder, or what an ended holder left
};
// One try, without waiting; raises core::RuntimeError when the file cannot be opened at all.
LockAttempt TryLockFile(const std::string& file);
void WriteLockText(std::intptr_t handle, const std::string& text);
// Deletes the file and lets it go.
void ReleaseLockFile(std::intptr_t handle, const std::string& file) noexcept;
std::int64_t ThisProcessId();
std::string ThisComputerName();

}  // namespace parchear
