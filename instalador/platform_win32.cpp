#include "instalador/platform_win32.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <string>

#include "core/handle_win32.h"
#include "core/runtime_error.h"
#include "core/text_win32.h"
#include "core/win32_error.h"
#include "instalador/com_win32.h"
#include "instalador/held_library_win32.h"
#include "instalador/paths.h"
#include "instalador/reg_win32.h"
#include "instalador/selvane_class_win32.h"
#include "instalador/trust_win32.h"

namespace instalador {
namespace {

static_assert(static_cast<UINT>(core::BoxStyle::OkOnly) == MB_OK);
static_assert(static_cast<UINT>(core::BoxStyle::Error) == (MB_OK | MB_ICONERROR));
static_assert(static_cast<UINT>(core::BoxStyle::Exclamation) == (MB_OK | MB_ICONEXCLAMATION));

void ProcessPendingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

class Win32Process final : public Process {
public:
    Win32Process(core::UniqueHandle process, std::unique_ptr<PrivateCopy> copy)
        : m_process(std::move(process)), m_copy(std::move(copy)) {}

    // A process whose state cannot be read counts as ended: it cannot be waited for.
    bool HasEnded() override { return ::WaitForSingleObject(m_process.Get(), 0) != WAIT_TIMEOUT; }

    // Sleeps until the process ends or a window message arrives, and processes the messages.
    void WaitForEnd() override {
        HANDLE process = m_process.Get();
        for (;;) {
            ProcessPendingMessages();
            // MWMO_INPUTAVAILABLE: messages already queued wake the wait too, so none is left lying.
            const DWORD r = ::MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (r == WAIT_OBJECT_0 + 1) continue;
            // Ended (WAIT_OBJECT_0), or the wait failed: a process that cannot be waited for is not.
            return;
        }
    }

private:
    core::UniqueHandle m_process;
    std::unique_ptr<PrivateCopy> m_copy;  // deleted once the installer has ended (or been left)
};

// A file beside the program, as the library is looked for; empty when the folder is unknown.
std::wstring BesideUs(const std::string& file) {
    const std::string folder = core::ExecutableFolder();
    return folder.empty() ? std::wstring() : core::Utf8ToWide(BesideProgram(folder, file));
}

}  // namespace

std::unique_ptr<Process> Win32Platform::StartHidden(const Command& command) {
    // Instalador runs elevated and dlls\ may be writable by every user: only a copy nobody else
    // can change, checked after copying, is started, from a folder with nothing else in it.
    auto copy = std::make_unique<PrivateCopy>(core::Utf8ToWide(command.path), command.path);
    if (!SignedBy(copy->File(), copy->Path(), kRuntimePublisher)) throw Untrusted{command.path};
    const std::wstring& program = copy->Path();
    Command started = command;
    started.path = core::WideToUtf8(program);
    std::wstring line = core::Utf8ToWide(started.Line());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        core::Raise(core::ErrorKindOfWin32(::GetLastError()), command.path);
    }
    const core::UniqueHandle thread(info.hThread);
    return std::make_unique<Win32Process>(core::UniqueHandle(info.hProcess), std::move(copy));
}

bool Win32Platform::RegistrarArchivo(const std::string& file) {
    // Held and checked first when it is there; a missing one is m_Reg's to report.
    const std::wstring path = BesideUs(file);
    std::optional<HeldLibrary> held;
    if (!path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        held.emplace(path, core::WideToUtf8(path));
    return m_Reg::RegistrarArchivo(file, *this);
}

bool Win32Platform::LibreriaRegistrada() {
    // Only the library beside the program counts, and it is loaded only once trusted and held:
    // a class registered to any other file is treated as not registered, so ours is registered.
    // A library that is there is judged first, so a refused one ends the run before any installer.
    const std::wstring path = BesideUs(std::string(kLibraryFile));
    if (path.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    const HeldLibrary held(path, core::WideToUtf8(path));
    const std::wstring registered = RegisteredLibrary();
    if (registered.empty() || !held.IsFile(registered)) return false;
    // Loaded here first, with its dependencies from System32: COM then finds it already loaded.
    const core::UniqueModule module(LoadFromSystemOnly(path));
    if (!module) return false;
    // In-process only: the game loads the library into its own process, so that is the
    // registration that has to work.
    ComPtr<IUnknown> object;
    const HRESULT hr = ::CoCreateInstance(kSelvaneClass, nullptr, CLSCTX_INPROC_SERVER, kSelvaneInterface,
                                          reinterpret_cast<void**>(object.Receive()));
    return SUCCEEDED(hr) && object;
}

bool Win32Platform::EsWow64() {
    BOOL flag = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &flag)) return false;
    return flag != FALSE;
}

void Win32Platform::ShowMessage(std::string_view text, std::string_view caption, core::BoxStyle style) {
    try {
        const std::wstring t = core::Utf8ToWide(text);
        const std::wstring c = core::Utf8ToWide(caption);
        // 0 means the box could not be created; there is nowhere else to report that.
        ::MessageBoxW(nullptr, t.c_str(), c.c_str(), static_cast<UINT>(style));
    } catch (const std::exception&) {
        // No memory for the wide texts: nothing can be shown.
    }
}

void Win32Platform::EndProgram(int exitCode) { ::ExitProcess(static_cast<UINT>(exitCode)); }

}  // namespace instalador
