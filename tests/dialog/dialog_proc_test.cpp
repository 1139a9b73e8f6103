// The dialog procedure against a plain model of its controls, and the
// dialog's failure without a display. No display needed.
#include "app/dialog.h"
#include "core/settings.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

namespace {

// What the procedure did to its dialog.
struct ModelDialog {
    std::map<int, bool> checked;
    bool ended = false;
    int result = 0;
};

// The dialog the controls act on: the table carries no pointer of its own,
// as the real dialog is the one there is.
ModelDialog* current = nullptr;

DialogControls controls_of(ModelDialog* dialog)
{
    current = dialog;
    return DialogControls{
        [](int first, int last, int check) {
            for (int id = first; id <= last; ++id)
                current->checked[id] = id == check;
        },
        [](int id, bool checked) { current->checked[id] = checked; },
        [](int id) { return current->checked[id]; },
        [](int result) {
            current->ended = true;
            current->result = result;
        },
    };
}

class DialogProcTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        screen_width = 320;
        screen_height = 200;
        resolution_index = 0;
        fullscreen = true;
        no_sound = false;
    }

    bool init() { return config_dialog_proc(&controls, DIALOG_INIT, 0); }
    bool command(int id) { return config_dialog_proc(&controls, DIALOG_COMMAND, id); }

    ModelDialog dialog;
    DialogControls controls = controls_of(&dialog);
};

TEST_F(DialogProcTest, InitSelects1024x768AndShowsTheSettings)
{
    EXPECT_TRUE(init());  // the focus goes to the first tab stop
    EXPECT_EQ(screen_width, 1024);
    EXPECT_EQ(screen_height, 768);
    EXPECT_EQ(resolution_index, 2);
    EXPECT_FALSE(dialog.checked[DIALOG_ID_RES_640]);
    EXPECT_FALSE(dialog.checked[DIALOG_ID_RES_800]);
    EXPECT_TRUE(dialog.checked[DIALOG_ID_RES_1024]);
    EXPECT_TRUE(dialog.checked[DIALOG_ID_FULL_SCREEN]);
    EXPECT_FALSE(dialog.checked[DIALOG_ID_NO_SOUND]);
    EXPECT_FALSE(dialog.ended);
}

TEST_F(DialogProcTest, InitBoxesFollowTheSettingsTheyShow)
{
    fullscreen = false;
    no_sound = true;
    init();
    EXPECT_FALSE(dialog.checked[DIALOG_ID_FULL_SCREEN]);
    EXPECT_TRUE(dialog.checked[DIALOG_ID_NO_SOUND]);
    EXPECT_FALSE(fullscreen);
    EXPECT_TRUE(no_sound);
}

TEST_F(DialogProcTest, ResolutionButtonsSetTheirRow)
{
    init();
    EXPECT_FALSE(command(DIALOG_ID_RES_640));
    EXPECT_EQ(screen_width, 640);
    EXPECT_EQ(screen_height, 480);
    EXPECT_EQ(resolution_index, 0);
    command(DIALOG_ID_RES_800);
    EXPECT_EQ(screen_width, 800);
    EXPECT_EQ(screen_height, 600);
    EXPECT_EQ(resolution_index, 1);
    command(DIALOG_ID_RES_1024);
    EXPECT_EQ(screen_width, 1024);
    EXPECT_EQ(screen_height, 768);
    EXPECT_EQ(resolution_index, 2);
    EXPECT_FALSE(dialog.ended);
}

TEST_F(DialogProcTest, CheckBoxesAreReadFromTheDialog)
{
    init();
    dialog.checked[DIALOG_ID_FULL_SCREEN] = false;
    EXPECT_FALSE(command(DIALOG_ID_FULL_SCREEN));
    EXPECT_FALSE(fullscreen);
    dialog.checked[DIALOG_ID_NO_SOUND] = true;
    command(DIALOG_ID_NO_SOUND);
    EXPECT_TRUE(no_sound);
    dialog.checked[DIALOG_ID_FULL_SCREEN] = true;
    dialog.checked[DIALOG_ID_NO_SOUND] = false;
    command(DIALOG_ID_FULL_SCREEN);
    command(DIALOG_ID_NO_SOUND);
    EXPECT_TRUE(fullscreen);
    EXPECT_FALSE(no_sound);
    EXPECT_FALSE(dialog.ended);
}

TEST_F(DialogProcTest, OtherIdsChangeNothingAndEndNothing)
{
    init();
    command(DIALOG_ID_RES_800);
    // The boxes differ from the settings, so a stray read would show.
    dialog.checked[DIALOG_ID_FULL_SCREEN] = false;
    dialog.checked[DIALOG_ID_NO_SOUND] = true;
    for (int id : {int(DIALOG_ID_OK), int(DIALOG_ID_CANCEL), 0, -1, 999, 1005, 1008, 65535}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(command(id));
        EXPECT_EQ(screen_width, 800);
        EXPECT_EQ(screen_height, 600);
        EXPECT_EQ(resolution_index, 1);
        EXPECT_TRUE(fullscreen);
        EXPECT_FALSE(no_sound);
        EXPECT_FALSE(dialog.ended);
    }
}

TEST_F(DialogProcTest, GoAndExitEndTheDialogWithTheirIds)
{
    init();
    EXPECT_FALSE(command(DIALOG_ID_GO));
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(dialog.result, DIALOG_ID_GO);

    ModelDialog second;
    DialogControls second_controls = controls_of(&second);
    config_dialog_proc(&second_controls, DIALOG_INIT, 0);
    config_dialog_proc(&second_controls, DIALOG_COMMAND, DIALOG_ID_EXIT);
    EXPECT_TRUE(second.ended);
    EXPECT_EQ(second.result, DIALOG_ID_EXIT);
    // Ending changes no setting.
    EXPECT_EQ(screen_width, 1024);
    EXPECT_TRUE(fullscreen);
}

TEST(ResolutionTable, HoldsTheThreeSizes)
{
    EXPECT_EQ(resolution_table[0].width, 640);
    EXPECT_EQ(resolution_table[0].height, 480);
    EXPECT_EQ(resolution_table[1].width, 800);
    EXPECT_EQ(resolution_table[1].height, 600);
    EXPECT_EQ(resolution_table[2].width, 1024);
    EXPECT_EQ(resolution_table[2].height, 768);
}

int count_lines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(DialogWithoutDisplay, RunFailsWithOneLineThatSaysWhatToDo)
{
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    bool no_display = false;
    testing::internal::CaptureStderr();
    bool go = config_dialog_run(&no_display);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(go);
    EXPECT_TRUE(no_display);
    EXPECT_EQ(count_lines(err), 1) << err;
    EXPECT_NE(err.find("display"), std::string::npos) << err;
    EXPECT_NE(err.find("--no-dialog"), std::string::npos) << err;
    EXPECT_NE(err.find("--render"), std::string::npos) << err;
}

TEST(DialogWithoutDisplay, ProgramExitsOneNotZero)
{
    ProcessOptions options;
    options.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
    options.timeout_s = 30;
    ProcessResult r = run_process({glowcam_exe()}, options);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_EQ(count_lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("--no-dialog"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST(DialogWithoutDisplay, UnreachableDisplayIsNamed)
{
    ProcessOptions options;
    options.env = {"DISPLAY=:glowcam-no-such-display"};
    options.unset_env = {"WAYLAND_DISPLAY"};
    options.timeout_s = 30;
    ProcessResult r = run_process({glowcam_exe()}, options);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.err.find(":glowcam-no-such-display"), std::string::npos) << r.err;
}

}  // namespace
