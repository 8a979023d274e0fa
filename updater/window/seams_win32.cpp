#include "updater/window/seams_win32.h"

#include <mmsystem.h>
#include <shellapi.h>

#include "core/text_win32.h"

namespace window {

void Win32Dialogs::ShowMessage(const std::string& text, const std::string& caption, core::BoxStyle style) {
    const std::wstring wideText = core::Utf8ToWide(text);
    const std::wstring wideCaption = core::Utf8ToWide(caption);
    HWND owner = m_owner && ::IsWindow(m_owner) ? m_owner : nullptr;
    // A box that cannot be shown (no desktop) has nothing to fall back on; the caller goes on.
    ::MessageBoxW(owner, wideText.c_str(), wideCaption.c_str(), static_cast<UINT>(style) | MB_SETFOREGROUND);
}

void Win32Dialogs::EndProgram(int exitCode) { ::ExitProcess(static_cast<UINT>(exitCode)); }

void Win32Sound::PlayFileSync(const std::string& path) {
    const std::wstring wide = core::Utf8ToWide(path);
    // Without SND_NODEFAULT a file that cannot be played gives the system's default sound.
    ::PlaySoundW(wide.c_str(), nullptr, SND_FILENAME | SND_SYNC);
}

bool ShellLauncher::ShellOpen(const std::string& file, const std::string& parameters, const std::string& directory) {
    const std::wstring wideFile = core::Utf8ToWide(file);
    const std::wstring wideParameters = core::Utf8ToWide(parameters);
    const std::wstring wideDirectory = core::Utf8ToWide(directory);
    const HINSTANCE result = ::ShellExecuteW(m_owner, L"open", wideFile.c_str(), wideParameters.c_str(),
                                             wideDirectory.c_str(), SW_SHOWNORMAL);
    // Values above 32 mean success.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

char UserDecimalSeparator() {
    wchar_t buffer[8] = {};
    const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8);
    if (length == 2 && buffer[0] > 0 && buffer[0] < 0x80) return static_cast<char>(buffer[0]);
    return '.';
}

}  // namespace window
