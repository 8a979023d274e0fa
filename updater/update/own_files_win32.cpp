#include "updater/update/own_files_win32.h"

#include <psapi.h>

#include <cstdlib>

#include "core/handle_win32.h"
#include "core/path_win32.h"
#include "core/text_win32.h"

namespace update {
namespace {

#ifdef VANDREL_TEST_HOOKS
const char* StepName(OwnFileStep step) {
    switch (step) {
        case OwnFileStep::Ready: return "ready";
        case OwnFileStep::Aside: return "aside";
        case OwnFileStep::Replaced: return "replaced";
        case OwnFileStep::Restored: return "restored";
    }
    return "";
}
#endif

}  // namespace

ProcessFiles::ProcessFiles() {
    std::vector<HMODULE> modules(64);
    DWORD bytes = 0;
    for (;;) {
        const DWORD room = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        if (!::EnumProcessModules(::GetCurrentProcess(), modules.data(), room, &bytes)) {
            modules.assign(1, nullptr);  // the executable alone
            bytes = sizeof(HMODULE);
            break;
        }
        if (bytes <= room) break;
        modules.resize(bytes / sizeof(HMODULE));
    }
    modules.resize(bytes / sizeof(HMODULE));
    for (HMODULE m : modules) {
        Identity id;
        if (IdentityOf(core::ModuleFileName(m), id)) m_files.push_back(id);
    }
}

bool ProcessFiles::IdentityOf(const std::wstring& path, Identity& out) {
    if (path.empty()) return false;
    // No access asked and every sharing mode granted: the look disturbs no one.
    core::UniqueHandle file(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.Get(), &info)) return false;
    out = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

bool ProcessFiles::Holds(const std::string& path) {
    Identity id;
    if (!IdentityOf(core::WidePath(path), id)) return false;
    for (const Identity& own : m_files) {
        if (own == id) return true;
    }
    return false;
}

void ProcessFiles::Reached([[maybe_unused]] OwnFileStep step) {
#ifdef VANDREL_TEST_HOOKS
    const char* at = std::getenv("VANDREL_KILL_AT");
    if (at && std::string(at) == StepName(step)) ::TerminateProcess(::GetCurrentProcess(), 9);
#endif
}

std::string RunningProgramPath() {
    const std::wstring path = core::ModuleFileName(nullptr);
    return path.empty() ? std::string() : core::WideToUtf8(core::LongPathName(path));
}

}  // namespace update
