#include "app/startup.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "tests/support/process.h"
#include "tests/support/x11.h"
#include "tests/support/xorg.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace {

struct Asked {
    std::string caption, text;
    MessageBoxKind kind = MESSAGE_BOX_OK;
    int count = 0;
} asked;
bool answer_yes = true;

bool answer(const std::string& caption, const std::string& text, MessageBoxKind kind)
{
    asked = {caption, text, kind, asked.count + 1};
    return answer_yes;
}

// In-process window tests on Xorg's dummy driver: a 1920x1080 desktop that
// also offers 1024x768, 800x600 and 640x480, but not 1000x700.
class FullScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(x.ok()) << "Xorg with the dummy driver did not start";
        ASSERT_EQ(x.mode(), "1920x1080");
        setenv("DISPLAY", x.display().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        asked = Asked{};
        message_box_set_hook(answer);
    }
    // The window goes before its X server.
    void TearDown() override
    {
        window_destroy();
        message_box_set_hook(nullptr);
    }
    XorgDummy x;
};

const char* question =
    "Requested fullscreen mode not supported by your video card.\nUse Windowed Mode Instead?";

TEST_F(FullScreenTest, OfferedModeSwitchesWithoutAskingAndDestroyGivesTheDesktopBack)
{
    ASSERT_TRUE(window_create("OpenGL framework", 1024, 768, 32, true));
    EXPECT_EQ(asked.count, 0) << asked.text;
    EXPECT_TRUE(window_full_screen());
    EXPECT_EQ(x.mode(), "1024x768");
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    int w = 0, h = 0;
    window_drawable_size(&w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    window_destroy();
    EXPECT_EQ(x.mode(), "1920x1080");
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(FullScreenTest, ModeNotOfferedAsksAndYesGivesAWindowOfTheClientSize)
{
    answer_yes = true;
    screen_width = 1000;
    screen_height = 700;
    fullscreen = true;
    ASSERT_TRUE(window_open("OpenGL framework"));
    EXPECT_EQ(asked.count, 1);
    EXPECT_EQ(asked.caption, "Warning:");
    EXPECT_EQ(asked.text, question);
    EXPECT_EQ(asked.kind, MESSAGE_BOX_YES_NO);
    EXPECT_FALSE(fullscreen);
    EXPECT_EQ(x.mode(), "1920x1080");
    int w = 0, h = 0;
    window_drawable_size(&w, &h);
    EXPECT_EQ(w, 1000);
    EXPECT_EQ(h, 700);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(FullScreenTest, ModeNotOfferedAndNoEndsWithTheMessage)
{
    answer_yes = false;
    testing::internal::CaptureStdout();
    bool ok = window_create("OpenGL framework", 1000, 700, 32, true);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(ok);
    EXPECT_EQ(asked.count, 1);
    EXPECT_EQ(out, "ERROR: Program Will Now Close.\n");
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "nothing left behind";
    EXPECT_EQ(x.mode(), "1920x1080");
}

TEST(WindowProc, KeysAreRecordedByVirtualKeyCodeExceptSystemKeys)
{
    auto key = [](Uint32 type, SDL_Keycode sym, Uint16 mod) {
        SDL_Event ev{};
        ev.type = type;
        ev.key.keysym.sym = sym;
        ev.key.keysym.mod = mod;
        window_proc(ev);
    };
    window_keys_release();
    key(SDL_KEYDOWN, SDLK_ESCAPE, 0);
    EXPECT_EQ(keys[27], 1);
    key(SDL_KEYDOWN, SDLK_ESCAPE, 0);  // auto-repeat keeps it down
    EXPECT_EQ(keys[27], 1);
    key(SDL_KEYUP, SDLK_ESCAPE, 0);
    EXPECT_EQ(keys[27], 0);
    // The press is noted until looked at, once.
    EXPECT_TRUE(window_key_pressed(27));
    EXPECT_FALSE(window_key_pressed(27));
    key(SDL_KEYDOWN, SDLK_a, KMOD_LALT);
    EXPECT_EQ(keys['A'], 0) << "Alt+A is a system key";
    key(SDL_KEYDOWN, SDLK_F10, 0);
    EXPECT_EQ(keys[0x79], 0) << "F10 is a system key";
    key(SDL_KEYDOWN, SDLK_a, 0);
    EXPECT_EQ(keys['A'], 1);

    SDL_Event ev{};
    ev.type = SDL_WINDOWEVENT;
    ev.window.event = SDL_WINDOWEVENT_MINIMIZED;
    window_proc(ev);
    EXPECT_FALSE(window_active);
    ev.window.event = SDL_WINDOWEVENT_FOCUS_LOST;  // another application in front
    window_proc(ev);
    EXPECT_FALSE(window_active);
    ev.window.event = SDL_WINDOWEVENT_RESTORED;
    window_proc(ev);
    EXPECT_TRUE(window_active);
    ev.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    window_proc(ev);
    EXPECT_TRUE(window_active);
}

// The program's default start (full screen at 1024x768) on the same server,
// ended in each way a user or the system ends it.
TEST(ShowFullScreen, SwitchesWithoutAskingAndEveryEndGivesTheDesktopModeBack)
{
    XorgDummy x;
    ASSERT_TRUE(x.ok()) << "Xorg with the dummy driver did not start";
    const std::string display = x.display();
    auto wait_for_mode = [&x](const std::string& mode) {
        for (int i = 0; i < 100 && x.mode() != mode; ++i)
            SDL_Delay(100);
        return x.mode() == mode;
    };
    // A tap: press and release back to back, both between two frames.
    auto tap_escape = [display](int) {
        std::string cmd = "DISPLAY=" + display +
                          " xdotool search --sync --onlyvisible --name 'OpenGL framework'"
                          " windowfocus --sync key --delay 0 Escape >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    };
    auto close = [display](int) { EXPECT_TRUE(x11_close_window(display, "OpenGL framework", 20)); };
    auto terminate = [](int pid) { kill(pid, SIGTERM); };
    const struct {
        const char* end;
        std::function<void(int)> act;
        int code;
    } ends[] = {{"Escape", tap_escape, 27}, {"close", close, 0}, {"SIGTERM", terminate, 0}};
    for (const auto& e : ends) {
        ProcessOptions po;
        po.env = {"DISPLAY=" + display};
        po.unset_env = {"SDL_VIDEODRIVER"};
        po.while_running = [&](int pid) {
            EXPECT_TRUE(wait_for_mode("1024x768")) << e.end << ": still " << x.mode();
            e.act(pid);
        };
        ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--camera", "none", "--no-sound"}, po);
        EXPECT_EQ(r.exit_code, e.code) << e.end << "\n" << r.out << r.err;
        EXPECT_EQ(r.err.find("Requested fullscreen mode"), std::string::npos) << r.err;
        EXPECT_EQ(x.mode(), "1920x1080") << "after " << e.end;
        if (::testing::Test::HasFailure())
            break;  // each run below would wait as long again
    }
}

TEST(ShowStart, BadCommandLineExits2WithOneLineAndNoWindow)
{
    ProcessOptions po;
    po.unset_env = {"DISPLAY"};
    for (const char* bad : {"--frobnicate", "--size=640x480"}) {
        ProcessResult r = run_process({glowcam_exe(), bad}, po);
        EXPECT_EQ(r.exit_code, 2) << bad;
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    }
}

}  // namespace
