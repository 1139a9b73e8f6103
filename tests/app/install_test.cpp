#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

// Installed into a prefix of its own and run from /, the program finds its
// demo track in the install.
TEST(Install, TheInstalledProgramFindsItsTrackFromTheRootFolder)
{
    char dir[] = "/tmp/glowcam-install-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string prefix = dir;
    ProcessResult install = run_process({GLOWCAM_CMAKE, "--install", GLOWCAM_BINARY_DIR, "--prefix", prefix});
    ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
    EXPECT_TRUE(std::filesystem::exists(prefix + "/share/applications/glowcam.desktop"));

    const char* from_root = "cd / && exec \"$0\" --render \"$1\" --duration 0.1 --size 64x64 --camera none";
    ProcessResult r = run_process({"/bin/sh", "-c", from_root, prefix + "/bin/glowcam", prefix + "/frames"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err.find("Can't load file"), std::string::npos) << r.err;
    std::filesystem::remove_all(prefix);
}
