// The dialog in the real program on a private X server, driven as a user
// would: keyboard through the server (xdotool), close through the window
// manager's protocol.
#include "tests/support/process.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <functional>
#include <string>
#include <vector>

namespace {

class DialogProgramTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(xvfb.ok()); }

    // xdotool on our server; --sync searches wait for their window.
    ProcessResult xdotool(std::vector<std::string> args)
    {
        args.insert(args.begin(), "/usr/bin/xdotool");
        ProcessOptions options;
        options.env = {"DISPLAY=" + xvfb.display()};
        options.timeout_s = 20;
        return run_process(args, options);
    }
    // Gives the window the keyboard (there is no window manager to do it)
    // and types the keys into it.
    bool type_into(const std::string& title, const std::vector<std::string>& keys)
    {
        ProcessResult found =
            xdotool({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"});
        if (found.exit_code != 0)
            return false;
        std::string id = found.out.substr(0, found.out.find('\n'));
        if (xdotool({"windowfocus", "--sync", id}).exit_code != 0)
            return false;
        for (const std::string& key : keys)
            if (xdotool({"key", "--delay", "50", key}).exit_code != 0)
                return false;
        return true;
    }
    ProcessResult run_glowcam(std::function<void(int pid)> user)
    {
        ProcessOptions options;
        options.env = {"DISPLAY=" + xvfb.display(), "NO_AT_BRIDGE=1", "GDK_BACKEND=x11"};
        options.unset_env = {"WAYLAND_DISPLAY"};
        options.timeout_s = 40;
        options.while_running = std::move(user);
        return run_process({glowcam_exe(), "--camera", "none", "--no-sound", "--music",
                            GLOWCAM_BINARY_DIR "/music/tidewave.ogg"},
                           options);
    }

    Xvfb xvfb{1024, 768};
};

TEST_F(DialogProgramTest, ExitEndsTheProgramWithZeroAndNoShow)
{
    bool typed = false;
    ProcessResult r = run_glowcam([&](int) { typed = type_into("Config:", {"alt+e"}); });
    EXPECT_TRUE(typed);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    // Nothing of the show started: no capture or audio report.
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST_F(DialogProgramTest, CloseIsIgnoredAndGoOpensTheChosenWindow)
{
    std::string geometry;
    bool typed = false;
    ProcessResult r = run_glowcam([&](int pid) {
        // The window manager's Close: the dialog must stay for the keys below.
        ASSERT_TRUE(x11_close_window(xvfb.display(), "Config:", 20));
        typed = type_into("Config:", {"6", "alt+f", "Return"});
        ProcessResult shown = xdotool(
            {"search", "--sync", "--onlyvisible", "--name", "^OpenGL framework$",
             "getwindowgeometry", "%1"});
        geometry = shown.out;
        // Shown through the dialog, the show's reports are real boxes: the
        // missing camera's box waits to be closed before the show runs on.
        EXPECT_TRUE(x11_close_window(xvfb.display(), "Error", 20));
        if (!x11_close_window(xvfb.display(), "OpenGL framework", 20))
            kill(pid, SIGTERM);
    });
    EXPECT_TRUE(typed);
    EXPECT_NE(geometry.find("Geometry: 800x600"), std::string::npos) << geometry;
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
}

}  // namespace
