#include "app/startup.h"
#include "core/settings.h"
#include "platform/window.h"
#include "platform/message_box.h"
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

std::string asked;  // every question put to the user
bool answer_yes = true;

bool answer(const std::string& caption, const std::string& text, MessageBoxKind kind)
{
    asked += caption + " " + text + (kind == MESSAGE_BOX_YES_NO ? " (yes/no)\n" : "\n");
    return answer_yes;
}

// Xorg's dummy driver offers 1024x768, 800x600 and 640x480 beside 1920x1080,
// not 1000x700: the user is asked; Yes gives a window, No ends cleanly.
TEST(FullScreen, ModeNotOfferedAsksForAWindow)
{
    XorgDummy x;
    ASSERT_TRUE(x.ok()) << "Xorg with the dummy driver did not start";
    setenv("DISPLAY", x.display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    message_box_set_hook(answer);
    for (bool yes : {true, false}) {
        answer_yes = yes;
        asked.clear();
        testing::internal::CaptureStdout();
        screen_width = 1000;
        screen_height = 700;
        fullscreen = true;
        bool ok = window_open("OpenGL framework");
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(ok, yes);
        EXPECT_EQ(asked, "Warning: Requested fullscreen mode not supported by your video card.\n"
                         "Use Windowed Mode Instead? (yes/no)\n");
        EXPECT_EQ(x.mode(), "1920x1080");
        if (yes) {
            int w = 0, h = 0;
            window_drawable_size(&w, &h);
            EXPECT_TRUE(!fullscreen && w == 1000 && h == 700 && SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE) << w;
            window_destroy();  // before its X server
        } else {
            EXPECT_EQ(out, "ERROR: Program Will Now Close.\n");
            EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "nothing left behind";
        }
    }
    message_box_set_hook(nullptr);
}

TEST(WindowProc, TheShowsKeysAreRecordedByVirtualKeyCodeExceptSystemKeys)
{
    // Auto-repeat keeps a key down; Alt+F11 is a system key; A has no use.
    window_keys_release();
    const struct { Uint32 type; SDL_Keycode sym; Uint16 mod; int key, down; } presses[] = {
        {SDL_KEYDOWN, SDLK_ESCAPE, 0, 27, 1}, {SDL_KEYDOWN, SDLK_ESCAPE, 0, 27, 1}, {SDL_KEYUP, SDLK_ESCAPE, 0, 27, 0},
        {SDL_KEYDOWN, SDLK_F11, KMOD_LALT, 0x7A, 0}, {SDL_KEYDOWN, SDLK_a, 0, 'A', 0}, {SDL_KEYDOWN, SDLK_F11, 0, 0x7A, 1}};
    for (const auto& p : presses) {
        SDL_Event ev{};
        ev.type = p.type, ev.key.keysym.sym = p.sym, ev.key.keysym.mod = p.mod;
        window_proc(ev);
        EXPECT_EQ(keys[p.key], p.down) << p.sym << " " << p.mod;
    }
    // A press is noted until looked at, once.
    EXPECT_TRUE(window_key_pressed(27) && !window_key_pressed(27));

    // Minimised the show pauses; another application in front does not
    // change that either way.
    const struct { Uint8 event; bool active; } events[] = {
        {SDL_WINDOWEVENT_MINIMIZED, false}, {SDL_WINDOWEVENT_FOCUS_LOST, false},
        {SDL_WINDOWEVENT_RESTORED, true}, {SDL_WINDOWEVENT_FOCUS_LOST, true}};
    for (const auto& e : events) {
        SDL_Event ev{};
        ev.type = SDL_WINDOWEVENT, ev.window.event = e.event;
        window_proc(ev);
        EXPECT_EQ(window_active, e.active) << int(e.event);
    }
}

// The program as a user starts it, through the dialog (close box and Escape
// ignored) or not, ended in each way a user or the system ends it: no run
// asks about the mode, and every end gives the desktop's mode back.
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
    // Taps, press and release back to back, into the window with this title.
    auto tap = [display](const char* title, const char* keys) {
        std::string cmd = "DISPLAY=" + display + " xdotool search --sync --onlyvisible --name '^" + title +
                          "$' windowfocus --sync key --delay 50 " + keys + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    };
    auto none = [](int) {};
    // Shown through the dialog, the show's reports are real boxes: the
    // missing camera's waits to be closed before the show runs on.
    auto escape = [&](int) {
        EXPECT_TRUE(x11_close_window(display, "Error", 20));
        tap("OpenGL framework", "Escape");
    };
    auto close = [&](int) { EXPECT_TRUE(x11_close_window(display, "OpenGL framework", 20)); };
    auto terminate = [](int pid) { kill(pid, SIGTERM); };
    const struct {
        const char* dialog_keys;  // none: --no-dialog
        const char* mode;
        std::function<void(int)> end;
        int code;
    } runs[] = {{"Escape alt+6 Return", "800x600", escape, 27}, {"alt+e", "1920x1080", none, 0},
                {nullptr, "1024x768", close, 0}, {nullptr, "1024x768", terminate, 0}};
    for (const auto& run : runs) {
        ProcessOptions po;
        po.env = {"DISPLAY=" + display, "NO_AT_BRIDGE=1", "GDK_BACKEND=x11"};
        po.unset_env = {"SDL_VIDEODRIVER", "WAYLAND_DISPLAY"};
        po.timeout_s = 40;
        po.while_running = [&](int pid) {
            if (run.dialog_keys) {
                EXPECT_TRUE(x11_close_window(display, "Config:", 20));
                tap("Config:", run.dialog_keys);
            }
            EXPECT_TRUE(wait_for_mode(run.mode)) << run.mode << ": still " << x.mode();
            run.end(pid);
        };
        std::vector<std::string> argv = {glowcam_exe(), "--camera", "none", "--no-sound", "--music",
                                         GLOWCAM_BINARY_DIR "/music/tidewave.ogg"};
        if (!run.dialog_keys)
            argv.push_back("--no-dialog");
        ProcessResult r = run_process(argv, po);
        EXPECT_EQ(r.exit_code, run.code) << run.mode << "\n" << r.out << r.err;
        EXPECT_EQ(r.err.find("Requested fullscreen mode"), std::string::npos) << r.err;
        if (run.dialog_keys && run.code == 0) {
            EXPECT_TRUE(r.out.empty() && r.err.empty()) << "nothing of the show started: " << r.out << r.err;
        }
        EXPECT_EQ(x.mode(), "1920x1080") << "after " << run.code;
        if (::testing::Test::HasFailure())
            break;  // each run below would wait as long again
    }
}

}  // namespace
