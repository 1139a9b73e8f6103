#include "app/window.h"
#include "platform/message_box.h"
#include "tests/support/process.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace {

struct Asked {
    std::string caption, text;
    MessageBoxKind kind = MESSAGE_BOX_OK;
    int count = 0;
};
Asked asked;
bool answer_yes = true;

bool answer(const std::string& caption, const std::string& text, MessageBoxKind kind)
{
    asked.caption = caption;
    asked.text = text;
    asked.kind = kind;
    ++asked.count;
    return answer_yes;
}

// In-process window tests against a private X server of a chosen size.
class FullScreenTest : public ::testing::Test {
protected:
    void use(int width, int height)
    {
        x = std::make_unique<Xvfb>(width, height);
        ASSERT_TRUE(x->ok()) << "Xvfb did not start";
        setenv("DISPLAY", x->display().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        asked = Asked{};
        message_box_set_hook(answer);
    }
    // The window goes before its X server.
    void TearDown() override
    {
        window_destroy();
        x.reset();
        message_box_set_hook(nullptr);
    }
    std::unique_ptr<Xvfb> x;
};

const char* question =
    "Requested fullscreen mode not supported by your video card.\nUse Windowed Mode Instead?";

TEST_F(FullScreenTest, RefusedModeAsksAndYesGivesAWindowOfTheClientSize)
{
    use(1280, 1024);
    answer_yes = true;
    ASSERT_TRUE(window_create("OpenGL framework", 1024, 768, 32, true));
    EXPECT_EQ(asked.count, 1);
    EXPECT_EQ(asked.caption, "Warning:");
    EXPECT_EQ(asked.text, question);
    EXPECT_EQ(asked.kind, MESSAGE_BOX_YES_NO);
    EXPECT_FALSE(fullscreen);
    int w = 0, h = 0;
    window_drawable_size(&w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    EXPECT_EQ(screen_width, 1024);
    EXPECT_EQ(screen_height, 768);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(FullScreenTest, RefusedModeAndNoEndsWithTheMessage)
{
    use(1280, 1024);
    answer_yes = false;
    testing::internal::CaptureStdout();
    bool ok = window_create("OpenGL framework", 1024, 768, 32, true);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(ok);
    EXPECT_EQ(asked.count, 1);
    EXPECT_EQ(out, "ERROR: Program Will Now Close.\n");
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "nothing left behind";
}

TEST_F(FullScreenTest, AvailableModeSwitchesAndHidesTheCursorUntilDestroy)
{
    use(1024, 768);
    ASSERT_TRUE(window_create("OpenGL framework", 1024, 768, 32, true));
    EXPECT_EQ(asked.count, 0) << asked.text;
    EXPECT_TRUE(fullscreen);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    int w = 0, h = 0;
    window_drawable_size(&w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    window_destroy();
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(FullScreenTest, KeysAreRecordedByVirtualKeyCodeExceptSystemKeys)
{
    use(800, 600);
    ASSERT_TRUE(window_create("OpenGL framework", 320, 240, 32, false));
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
    EXPECT_FALSE(window_key_pressed(0x79));
    key(SDL_KEYDOWN, SDLK_a, 0);
    EXPECT_EQ(keys['A'], 1);
    window_keys_release();
    EXPECT_EQ(keys['A'], 0);
    EXPECT_FALSE(window_key_pressed('A'));

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

// The program itself, windowed under a private X server, ended by a key and
// by the window's close.
class ShowWindowTest : public ::testing::Test {
protected:
    ProcessResult run_and(const Xvfb& x, const std::function<void(const std::string&)>& act)
    {
        ProcessOptions po;
        po.env = {"DISPLAY=" + x.display()};
        po.unset_env = {"SDL_VIDEODRIVER"};
        std::string display = x.display();
        po.while_running = [display, act](int) { act(display); };
        return run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "640x480",
                            "--camera", "none", "--no-sound"},
                           po);
    }
};

TEST_F(ShowWindowTest, EscapeTapEndsWith27)
{
    Xvfb x(1024, 768);
    ASSERT_TRUE(x.ok());
    ProcessResult r = run_and(x, [](const std::string& display) {
        // Press and release back to back, as a quick tap: both come between
        // two frames.
        std::string cmd = "DISPLAY=" + display +
                          " xdotool search --sync --onlyvisible --name 'OpenGL framework'"
                          " windowfocus --sync key --delay 0 Escape >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 27) << r.out << r.err;
}

TEST_F(ShowWindowTest, CloseEndsWith0)
{
    Xvfb x(1024, 768);
    ASSERT_TRUE(x.ok());
    ProcessResult r = run_and(x, [](const std::string& display) {
        EXPECT_TRUE(x11_close_window(display, "OpenGL framework", 60));
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(ShowStart, NoDisplayGivesTheWindowFailureAndExit255)
{
    ProcessOptions po;
    po.unset_env = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
    ProcessResult r = run_process(
        {glowcam_exe(), "--no-dialog", "--window", "--camera", "none", "--no-sound"}, po);
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, "ERROR: registrazione della Window Class fallita.\n");
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
