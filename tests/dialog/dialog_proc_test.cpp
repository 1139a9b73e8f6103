// The dialog procedure against a model of its controls (the full-screen test
// drives the real one), and the program without a display.
#include "app/dialog.h"
#include "core/settings.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

// What the procedure did to its dialog, through the controls it is given.
struct ModelDialog { std::map<int, bool> checked; bool ended = false; int result = 0; } dialog;

const DialogControls controls = {
    [](int first, int last, int check) {
        for (int id = first; id <= last; ++id)
            dialog.checked[id] = id == check;
    },
    [](int id, bool checked) { dialog.checked[id] = checked; }, [](int id) { return dialog.checked[id]; },
    [](int result) { dialog.ended = true, dialog.result = result; }};

bool proc(DialogMessage message, int id) { return config_dialog_proc(&controls, message, id); }

// The dialog opens on the size of resolution_index (the last Go!'s, 1024 x
// 768 the first time) whatever the window's size was, its boxes showing the
// settings; then each press in turn.
TEST(DialogProc, InitAndCommandsWriteTheSettings)
{
    EXPECT_EQ(resolution_index, 2);
    screen_width = 320, screen_height = 200, resolution_index = 1, fullscreen = false, no_sound = true;
    EXPECT_TRUE(proc(DIALOG_INIT, 0));  // the focus goes to the first tab stop
    EXPECT_TRUE(screen_width == 800 && screen_height == 600 && resolution_index == 1 && !fullscreen && no_sound &&
                !dialog.checked[DIALOG_ID_RES_640] && dialog.checked[DIALOG_ID_RES_800] &&
                !dialog.checked[DIALOG_ID_RES_1024] && !dialog.checked[DIALOG_ID_FULL_SCREEN] &&
                dialog.checked[DIALOG_ID_NO_SOUND] && !dialog.ended);
    const struct { int id; bool full_box, sound_box; int w, h, index; bool full, no_sound; int result; } presses[] = {
        {DIALOG_ID_RES_640, false, true, 640, 480, 0, false, true, 0},
        {DIALOG_ID_FULL_SCREEN, true, false, 640, 480, 0, true, true, 0},
        {DIALOG_ID_RES_800, true, true, 800, 600, 1, true, true, 0},
        {DIALOG_ID_FULL_SCREEN, false, false, 800, 600, 1, false, true, 0},
        {DIALOG_ID_NO_SOUND, false, false, 800, 600, 1, false, false, 0},
        {DIALOG_ID_CANCEL, true, true, 800, 600, 1, false, false, 0}, {1005, true, true, 800, 600, 1, false, false, 0},
        {DIALOG_ID_RES_1024, true, true, 1024, 768, 2, false, false, 0},
        {DIALOG_ID_EXIT, true, true, 1024, 768, 2, false, false, DIALOG_ID_EXIT},
        {DIALOG_ID_GO, true, true, 1024, 768, 2, false, false, DIALOG_ID_GO}};
    for (const auto& p : presses) {
        dialog.checked[DIALOG_ID_FULL_SCREEN] = p.full_box;
        dialog.checked[DIALOG_ID_NO_SOUND] = p.sound_box;
        EXPECT_FALSE(proc(DIALOG_COMMAND, p.id));
        EXPECT_TRUE(screen_width == p.w && screen_height == p.h && resolution_index == p.index && fullscreen == p.full &&
                    no_sound == p.no_sound && dialog.ended == (p.result != 0) && dialog.result == p.result) << p.id;
        dialog.ended = false, dialog.result = 0;
    }
}

// Without a display the dialog fails with one line that says what to do, and
// the program exits 1 with it; the show without the dialog exits 255 with its
// own line; a bad command line exits 2 before any of that.
TEST(DialogWithoutDisplay, FailsWithOneLineThatSaysWhatToDo)
{
    unsetenv("DISPLAY"), unsetenv("WAYLAND_DISPLAY");
    bool no_display = false;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(config_dialog_run(&no_display));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(no_display && std::count(err.begin(), err.end(), '\n') == 1) << err;
    for (const char* hint : {"display", "--no-dialog", "--render"})
        EXPECT_NE(err.find(hint), std::string::npos) << err;
    const std::string exe = glowcam_exe();
    const struct { std::vector<std::string> argv, env; int code; std::string says; } runs[] = {
        {{exe}, {}, 1, "--no-dialog"}, {{exe}, {"DISPLAY=:glowcam-no-such-display"}, 1, ":glowcam-no-such-display"},
        {{exe, "--no-dialog", "--camera", "none", "--no-sound"}, {}, 255, "ERROR: registrazione della Window Class fallita.\n"},
        {{exe, "--frobnicate"}, {}, 2, "--frobnicate"}, {{exe, "--size=640x480"}, {}, 2, "--size=640x480"}};
    for (const auto& run : runs) {
        ProcessResult r = run_process(run.argv, {.env = run.env, .unset_env = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}});
        const std::string said = run.code == 255 ? r.out : r.out + r.err;  // SDL's own complaints aside
        EXPECT_EQ(r.exit_code, run.code) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find(run.says), std::string::npos) << said;
    }
}

}  // namespace
