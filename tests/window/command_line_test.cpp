// Which words of Updater's command line ask for the repair, and what an Updater without keys says.
#include "updater/window/command_line.h"

#include <gtest/gtest.h>

TEST(CommandLine, ReparAnyCaseAmongOtherWords) {
    for (const auto& [arguments, repair] :
         std::initializer_list<std::pair<const char*, bool>>{{"", false},
                                                             {"/reparar", true},
                                                             {"/REPARAR", true},
                                                             {"-Reparar", true},
                                                             {" \t/reparar\t", true},
                                                             {"\"/reparar\"", true},
                                                             {"1 /reparar x", true},
                                                             {"/reparar2", false},
                                                             {"reparar", false},
                                                             {"/repara", false},
                                                             {"//reparar", false},
                                                             {"\"/reparar x\"", false},
                                                             {"/reparación", false}}) {
        const window::StartOptions keyed = window::ReadCommandLine(arguments, true);
        const window::StartOptions bare = window::ReadCommandLine(arguments, false);
        EXPECT_TRUE(keyed.run.fullCheck == repair && keyed.notice.empty()) << arguments;
        EXPECT_FALSE(bare.run.fullCheck) << arguments;
        EXPECT_EQ(bare.notice.starts_with("Este Updater no puede reparar los archivos: la reparación necesita una "
                                          "publicación firmada."),
                  repair)
            << arguments;
    }
}
