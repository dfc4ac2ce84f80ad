// Where the desktop programs keep their configuration file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/paths.h"
#include "support/log_builder.h"
#include "support/sim_process.h"

namespace {

TEST(ConfigLocation, BesideAWritableProgramElseInTheUsersFolderMadeOnFirstRun)
{
    std::string dir = temp_dir() + "/config-location";
    run_command("rm -rf '" + dir + "'; mkdir -p '" + dir + "/bin'");
    std::string user = dir + "/home/.config/Program";

    EXPECT_EQ(config_file_location(dir + "/bin", user, "p.cfg"), dir + "/bin/p.cfg");
    struct stat st;
    EXPECT_NE(stat(user.c_str(), &st), 0) << "nothing is made for a program that keeps its file beside it";

    // A folder this process cannot write to (here: one that is not there at all).
    EXPECT_EQ(config_file_location(dir + "/gone", user, "p.cfg"), user + "/p.cfg");
    ASSERT_EQ(stat(user.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(config_file_location(dir + "/gone", user + "/", "p.cfg"), user + "/p.cfg") << "once made, found again";

    // A user folder that cannot be made: the name beside the program, whose open then fails
    // with that name in its message.
    write_temp_file("config-location/file", Bytes{'x'});
    EXPECT_EQ(config_file_location(dir + "/gone", dir + "/file/Program", "p.cfg"), dir + "/gone/p.cfg");
}

}  // namespace
