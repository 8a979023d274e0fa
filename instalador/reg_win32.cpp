#include "instalador/reg_win32.h"

#include <windows.h>

#include <exception>
#include <memory>

#include "core/handle_win32.h"
#include "core/text_win32.h"
#include "instalador/com_win32.h"
#include "instalador/held_library_win32.h"
#include "instalador/messages.h"
#include "instalador/paths.h"

namespace m_Reg {
namespace {

using namespace instalador;

constexpr DWORD kTimeLimitMs = 10000;

// STDAPI DllRegisterServer(void): __stdcall on i686, the thread procedure's convention is its own.
using RegisterEntry = HRESULT(STDAPICALLTYPE*)();

// The steps in their order; a fault during one takes that step's failure path.
enum class Step { Presence, Load, EntryPoint, Thread, Wait };

// What the worker needs; the worker owns it once it has started.
struct Job {
    RegisterEntry entry;
};

// The worker: the library's registration inside a COM apartment of its own. Its exit code is
// the entry point's status.
DWORD WINAPI Worker(LPVOID parameter) {
    const std::unique_ptr<Job> job(static_cast<Job*>(parameter));
    const ComApartment com;  // the registration runs even where COM cannot start
    return static_cast<DWORD>(job->entry());
}

// The busy pointer while the registration runs. Instalador has no window, so this sets the
// thread's cursor (SetCursor), which shows only while the pointer is over none of the windows
// of other programs; a pointer that cannot be changed is left as it is.
class BusyPointer {
public:
    BusyPointer() { Set(IDC_WAIT); }
    ~BusyPointer() { Restore(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

    void Restore() {
        if (m_busy) Set(IDC_ARROW);
        m_busy = false;
    }

private:
    static void Set(LPCWSTR shape) {
        if (HCURSOR cursor = ::LoadCursorW(nullptr, shape)) ::SetCursor(cursor);
    }
    bool m_busy = true;
};

// The message box of a step's failure.
bool Fail(Step step, const std::string& file, Platform& dialogs) noexcept {
    try {
        std::string text;
        switch (step) {
            case Step::Presence: text = FileMissingText(file); break;
            case Step::Load: text = NotLoadedText(file); break;
            case Step::EntryPoint: text = NoEntryPointText(file); break;
            case Step::Thread: text = kNoThreadText; break;
            case Step::Wait: text = NotFinishedText(file); break;
        }
        dialogs.ShowMessage(text, kRegisterCaption, core::BoxStyle::Error);
    } catch (const std::exception&) {
        // No memory left for the text: nothing more can be shown.
    }
    return false;
}

// An ordinary file: present, and not a folder, a hidden or a system file.
bool IsOrdinaryFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

bool Register(const std::string& file, Platform& dialogs, Step& step) {
    step = Step::Presence;
    const std::string folder = core::ExecutableFolder();
    if (folder.empty()) return Fail(step, file, dialogs);
    const std::wstring path = core::Utf8ToWide(BesideProgram(folder, file));
    if (path.empty() || !IsOrdinaryFile(path)) return Fail(step, file, dialogs);

    step = Step::Load;
    core::UniqueModule module(LoadFromSystemOnly(path));
    if (!module) return Fail(step, file, dialogs);

    step = Step::EntryPoint;
    const FARPROC address = ::GetProcAddress(module.Get(), "DllRegisterServer");
    if (!address) return Fail(step, file, dialogs);  // the library is freed after the box
    // Through void(*)(), the one function type GCC lets stand for every other.
    const auto entry = reinterpret_cast<RegisterEntry>(reinterpret_cast<void (*)()>(address));

    BusyPointer busy;
    step = Step::Thread;
    auto job = std::make_unique<Job>(Job{entry});
    core::UniqueHandle thread(::CreateThread(nullptr, 0, Worker, job.get(), 0, nullptr));
    if (!thread) {
        busy.Restore();
        return Fail(step, file, dialogs);
    }
    static_cast<void>(job.release());  // the worker owns it now

    step = Step::Wait;
    if (::WaitForSingleObject(thread.Get(), kTimeLimitMs) == WAIT_OBJECT_0) {
        thread.Reset();
        module.Reset();
        busy.Restore();
        return true;
    }
    // Timed out (or the wait failed): the worker may still be running the library's code, so
    // its thread handle stays open and the library stays loaded until the program ends.
    static_cast<void>(thread.Release());
    static_cast<void>(module.Release());
    busy.Restore();
    return Fail(step, file, dialogs);
}

}  // namespace

bool RegistrarArchivo(const std::string& file, Platform& dialogs) noexcept {
    Step step = Step::Presence;
    try {
        return Register(file, dialogs, step);
    } catch (const std::exception&) {
        // Only the texts can fail (no memory), and only before a step's own Windows calls: a
        // fault counts as the failure of the step under way.
        return Fail(step, file, dialogs);
    }
}

}  // namespace m_Reg
