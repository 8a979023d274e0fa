// One Updater per installation folder: the mutex name ignores case and spelling of the folder,
// the lock is held by the first taker only until it lets go, and a start that finds the lock
// held with no Updater window to hand over to says so.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "tests/probe/probe.h"
#include "tests/support/temp_dir.h"
#include "updater/update/mensajes.h"
#include "updater/window/single_instance_win32.h"

namespace {

TEST(InstanceMutexName, OneNamePerFolderWhateverItsSpelling) {
    const std::wstring base = window::InstanceMutexName("C:\\Juegos\\Vandrel Ñandú");
    EXPECT_EQ(base.rfind(L"Local\\VandrelUpdater-", 0), 0u);
    EXPECT_EQ(base.size(), std::wstring(L"Local\\VandrelUpdater-").size() + 16);
    EXPECT_EQ(base.find(L'\\', 6), std::wstring::npos);
    for (const char* same : {"C:\\Juegos\\Vandrel Ñandú", "c:\\juegos\\vandrel ñandú", "C:\\JUEGOS\\VANDREL ÑANDÚ",
                             "C:\\Juegos\\Vandrel Ñandú\\", "C:/Juegos/Vandrel Ñandú",
                             "C:\\Juegos\\Otro\\..\\Vandrel Ñandú", "C:\\Juegos\\.\\Vandrel Ñandú"}) {
        EXPECT_EQ(window::InstanceMutexName(same), base) << same;
    }
    for (const char* other : {"C:\\Juegos\\Vandrel Nandu", "C:\\Juegos\\Vandrel Ñandú 2", "D:\\Juegos\\Vandrel Ñandú",
                              "C:\\Juegos", "C:\\Juegos\\Vandrel Ñandú\\Recursos"}) {
        EXPECT_NE(window::InstanceMutexName(other), base) << other;
    }
}

TEST(InstanceLock, FirstTakerOnlyUntilItLetsGo) {
    std::optional<window::InstanceLock> first;
    first.emplace("C:\\Vandrel prueba\\Juego");
    EXPECT_TRUE(first->First());
    EXPECT_FALSE(window::InstanceLock("c:\\vandrel PRUEBA\\juego\\").First());
    EXPECT_TRUE(window::InstanceLock("C:\\Vandrel prueba\\Otro juego").First());
    first.reset();
    EXPECT_TRUE(window::InstanceLock("C:\\Vandrel prueba\\Juego").First());
}

// Another program holds the folder's lock and shows no Updater window: after the wait for one,
// the start tells the player in a box and ends as a handed-over start does.
TEST(InstanceLock, HeldWithoutAWindowTellsThePlayer) {
    testsupport::TempDir folder("vandrel-cerrojo");
    std::filesystem::copy_file(UPDATER_EXE, folder.FsPath() / "Updater.exe");
    const window::InstanceLock held(folder.Path());
    ASSERT_TRUE(held.First());

    probe::Process second = probe::Process::Start(folder.Path() + "\\Updater.exe", "");
    const auto box = probe::WaitForDialog(second.Pid(), 30000);
    ASSERT_TRUE(box.has_value()) << "no box";
    EXPECT_EQ(box->caption, update::mensajes::kTitulo);
    EXPECT_EQ(box->text, update::mensajes::kOtroUpdater);
    EXPECT_TRUE(box->hasIcon);
    ASSERT_EQ(box->buttons.size(), 1u);
    EXPECT_EQ(box->buttons[0].id, IDOK);
    EXPECT_TRUE(probe::Press(*box));
    const auto code = second.Wait(10000);
    ASSERT_TRUE(code.has_value()) << "still running after the box";
    EXPECT_EQ(*code, 0u);
}

}  // namespace
