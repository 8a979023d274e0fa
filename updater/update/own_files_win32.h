// The running process's own files on Windows: its executable and the modules it loaded, known by
// file identity (volume and file index), so that any spelling of a path (case, short names,
// forward slashes, a second hard link) is recognised.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "updater/update/own_files.h"

namespace update {

class ProcessFiles final : public OwnFiles {
public:
    // Takes the identities of the executable and of every module loaded so far; made before any of
    // them is moved, since Windows keeps reporting a module under the name it was loaded from.
    ProcessFiles();
    bool Holds(const std::string& path) override;
    // Test builds only: ends the process at the step named by VANDREL_KILL_AT, as a kill would.
    void Reached(OwnFileStep step) override;

private:
    struct Identity {
        DWORD volume = 0;
        DWORD high = 0;
        DWORD low = 0;
        bool operator==(const Identity&) const = default;
    };
    static bool IdentityOf(const std::wstring& path, Identity& out);
    std::vector<Identity> m_files;
};

// Full long path of the running executable (UTF-8); empty when Windows cannot tell it.
std::string RunningProgramPath();

}  // namespace update
