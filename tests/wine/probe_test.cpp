// The probe must read message boxes exactly, or every test built on it proves nothing.
#include "tests/probe/probe.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Probe, ReadsAndClosesMessageBoxes) {
    const struct {
        const wchar_t* text;
        UINT style;
        const char* expectedText;
        bool icon;
    } cases[] = {
        {L"Error al descomprimir, pruebe", MB_OK, "Error al descomprimir, pruebe", false},
        {L"Ocurrió un error:\r\nSelvane.Network.dll", MB_OK | MB_ICONERROR, "Ocurrió un error:\r\nSelvane.Network.dll",
         true},
    };
    for (const auto& c : cases) {
        int result = 0;
        std::thread shower([&] { result = MessageBoxW(nullptr, c.text, L"Vandrel Updater", c.style); });
        const auto dialog = probe::WaitForDialog(GetCurrentProcessId(), 15000);
        ASSERT_TRUE(dialog.has_value());
        EXPECT_EQ(dialog->caption, "Vandrel Updater");
        EXPECT_EQ(dialog->text, c.expectedText);
        EXPECT_EQ(dialog->hasIcon, c.icon);
        ASSERT_EQ(dialog->buttons.size(), 1u);
        EXPECT_EQ(dialog->buttons[0].id, IDOK);
        EXPECT_TRUE(probe::Press(*dialog));
        shower.join();
        EXPECT_EQ(result, IDOK);
    }
}

}  // namespace
