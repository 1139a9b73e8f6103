#include "app/startup.h"
#include "core/settings.h"
#include "platform/window.h"
#include "platform/message_box.h"
#include "tests/support/process.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <functional>

namespace {

std::string asked;  // every question put to the user
bool answer_yes = true;

// Auto-repeat keeps a key down; Alt+F11 is a system key; A has no code. A
// press is noted until looked at, once. Minimised the show pauses; another
// application in front does not change that either way.
TEST(WindowProc, TheShowsKeysAreRecordedByVirtualKeyCodeExceptSystemKeys)
{
    window_keys_release();
    const struct { Uint32 type; int code; Uint16 mod; int key, down; bool active; } events[] = {
        {SDL_KEYDOWN, SDLK_ESCAPE, 0, 27, 1, true}, {SDL_KEYDOWN, SDLK_ESCAPE, 0, 27, 1, true},
        {SDL_KEYUP, SDLK_ESCAPE, 0, 27, 0, true}, {SDL_KEYDOWN, SDLK_F11, KMOD_LALT, 0x7A, 0, true},
        {SDL_KEYDOWN, SDLK_a, 0, 0, 0, true}, {SDL_KEYDOWN, SDLK_F11, 0, 0x7A, 1, true},
        {SDL_WINDOWEVENT, SDL_WINDOWEVENT_MINIMIZED, 0, 0, 0, false}, {SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST, 0, 0, 0, false},
        {SDL_WINDOWEVENT, SDL_WINDOWEVENT_RESTORED, 0, 0, 0, true}, {SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST, 0, 0, 0, true}};
    for (const auto& e : events) {
        SDL_Event ev{};
        ev.type = e.type;
        if (e.type == SDL_WINDOWEVENT)
            ev.window.event = static_cast<Uint8>(e.code);
        else
            ev.key.keysym.sym = e.code, ev.key.keysym.mod = e.mod;
        window_proc(ev);
        EXPECT_TRUE(keys[e.key] == e.down && window_active == e.active) << e.type << " " << e.code << " " << e.mod;
    }
    EXPECT_TRUE(window_key_pressed(27) && !window_key_pressed(27));
}

// Xorg's dummy driver offers 1024x768, 800x600 and 640x480 beside 1920x1080,
// not 1000x700: the user is asked; Yes gives a window, No ends cleanly.
// Then the program as a user starts it, through the dialog (close box and
// Escape ignored; Tab and Shift+Tab move through Go, Exit and the two boxes,
// in order and round) or not, ended in each way a user or the system ends
// it: no run asks about the mode, and every end gives the desktop's mode back.
// Last, a second monitor for --display 1.
TEST(FullScreen, AModeNotOfferedAsksAndEveryEndGivesTheDesktopModeBack)
{
    XServer x = xorg_dummy();
    ASSERT_TRUE(x.ok()) << "Xorg with the dummy driver did not start";
    const std::string display = x.display();
    setenv("DISPLAY", display.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    message_box_set_hook([](const std::string& caption, const std::string& text, MessageBoxKind kind) {
        asked += caption + " " + text + (kind == MESSAGE_BOX_YES_NO ? " (yes/no)\n" : "\n");
        return answer_yes;
    });
    for (bool yes : {true, false}) {
        answer_yes = yes;
        asked.clear();
        testing::internal::CaptureStdout();
        screen_width = 1000, screen_height = 700, fullscreen = true;
        EXPECT_EQ(window_open("OpenGL framework"), yes);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(asked, "Warning: Requested fullscreen mode not supported by your video card.\n"
                         "Use Windowed Mode Instead? (yes/no)\n");
        EXPECT_EQ(x.mode(), "1920x1080");
        if (int w = 0, h = 0; yes) {
            window_drawable_size(&w, &h);
            EXPECT_TRUE(!fullscreen && w == 1000 && h == 700 && SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE) << w;
            window_destroy();  // before its X server
        } else {
            EXPECT_EQ(out, "ERROR: Program Will Now Close.\n");
            EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "nothing left behind";
        }
    }
    message_box_set_hook(nullptr);

    // Without keys for the dialog, --no-dialog. Through the dialog the missing
    // camera's report is a real box, which waits to be closed.
    const struct { const char* dialog_keys; const char* mode; std::function<void(int)> end; int code; } runs[] = {{"Escape alt+6 Return", "800x600", [&](int) {
                     EXPECT_TRUE(x11_close_window(display, "Error", 20));
                     EXPECT_TRUE(x11_tap(display, "Escape", "OpenGL framework"));
                 }, 27},
                {"Tab Tab Tab Tab Tab shift+Tab shift+Tab shift+Tab shift+Tab space", "1920x1080", [](int) {}, 0},
                {nullptr, "1024x768", [&](int) { EXPECT_TRUE(x11_close_window(display, "OpenGL framework", 20)); }, 0},
                {nullptr, "1024x768", [](int pid) { kill(pid, SIGTERM); }, 0}};
    for (const auto& run : runs) {
        // No remembered choices: the dialog offers its defaults.
        const ProcessOptions po{.env = {"DISPLAY=" + display, "NO_AT_BRIDGE=1", "GDK_BACKEND=x11",
                                        "XDG_CONFIG_HOME=" + ::testing::TempDir() + "glowcam-no-config"},
                                .unset_env = {"SDL_VIDEODRIVER", "WAYLAND_DISPLAY"}, .timeout_s = 40, .while_running = [&](int pid) {
            if (run.dialog_keys) {
                EXPECT_TRUE(x11_close_window(display, "Config:", 20));
                EXPECT_TRUE(x11_tap(display, run.dialog_keys, "Config:")) << run.dialog_keys;
            }
            for (int i = 0; i < 100 && x.mode() != run.mode; ++i)
                SDL_Delay(100);
            EXPECT_EQ(x.mode(), run.mode) << "the show's mode";
            run.end(pid);
        }};
        std::vector<std::string> argv = {glowcam_exe(), "--camera", "none", "--no-sound", "--music",
                                         GLOWCAM_BINARY_DIR "/music/tidewave.ogg"};
        if (!run.dialog_keys)
            argv.push_back("--no-dialog");
        ProcessResult r = run_process(argv, po);
        EXPECT_EQ(r.exit_code, run.code) << run.mode << "\n" << r.out << r.err;
        EXPECT_EQ(r.err.find("Requested fullscreen mode"), std::string::npos) << r.err;
        EXPECT_TRUE(!run.dialog_keys || run.code != 0 || r.out + r.err == "") << "the show started: " << r.out << r.err;
        EXPECT_EQ(x.mode(), "1920x1080") << "after " << run.code;
        if (::testing::Test::HasFailure())
            return;  // each run below would wait as long again
    }

    // A second monitor to the right of the first: --display 1 opens the window
    // there. (The last xrandr probes the outputs, after which the new one counts.)
    const std::string xrandr = "DISPLAY=" + display + " xrandr";
    ASSERT_EQ(std::system((xrandr + " --addmode DUMMY1 1024x768 && " + xrandr +
                           " --output DUMMY1 --mode 1024x768 --right-of DUMMY0 && " + xrandr + " >/dev/null").c_str()), 0);
    const ProcessOptions po{.env = {"DISPLAY=" + display}, .unset_env = {"SDL_VIDEODRIVER", "WAYLAND_DISPLAY"}, .while_running = [&](int) {
        EXPECT_TRUE(x11_wait_for_window(display, "OpenGL framework", 20));
        EXPECT_EQ(x11_window_geometry(display, "OpenGL framework"), "320x240+1920+0");
        EXPECT_TRUE(x11_close_window(display, "OpenGL framework", 0));
    }};
    EXPECT_EQ(run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "320x240", "--camera", "none",
                           "--no-sound", "--display", "1"}, po).exit_code, 0);
}

}  // namespace
