// One Updater per installation folder at a time: a named mutex in the session's namespace,
// named after the folder, and the way a second start hands over to the running one.
#pragma once

#include <windows.h>

#include <string>

#include "core/handle_win32.h"

namespace window {

// The folder as Windows would compare it: full, long, without a trailing separator, upper case.
std::wstring ComparableFolder(const std::wstring& folder);

// "Local\\VandrelUpdater-" and a 64-bit FNV-1a hash of ComparableFolder(folder) in 16 hex digits
// (a mutex name cannot hold further backslashes).
std::wstring InstanceMutexName(const std::string& folder);

// Holds the folder's mutex for the life of the object.
class InstanceLock {
public:
    explicit InstanceLock(const std::string& folder);
    // False when another Updater of the same folder already holds it. A mutex that cannot be
    // made at all does not stop the program.
    bool First() const { return m_first; }

private:
    core::UniqueHandle m_mutex;
    bool m_first = true;
};

// Brings the main window of the Updater that runs from folder to the front, waiting up to
// waitMs for it to appear (it may still be starting). False when none appeared.
bool BringRunningToFront(const std::string& folder, DWORD waitMs);

}  // namespace window
