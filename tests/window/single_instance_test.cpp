// One Updater per installation folder: the mutex name ignores case and spelling of the folder,
// and the lock is held by the first taker only until it lets go.
#include <gtest/gtest.h>

#include <optional>

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

}  // namespace
