#include "app/dialog.h"

#include "app/dialog_box.h"
#include "core/settings.h"

#include <cstdio>
#include <string>

const Resolution resolution_table[3] = {
    {640, 480},
    {800, 600},
    {1024, 768},
};
int resolution_index = 2;

namespace {

void select_resolution(int index)
{
    resolution_index = index;
    screen_width = resolution_table[index].width;
    screen_height = resolution_table[index].height;
}

}  // namespace

bool config_dialog_proc(const DialogControls* dialog, DialogMessage message, int id)
{
    switch (message) {
    case DIALOG_INIT:
        // The size chosen at the last Go! (1024 x 768 the first time).
        select_resolution(resolution_index);
        dialog->check_radio_button(DIALOG_ID_RES_640, DIALOG_ID_RES_1024,
                                   DIALOG_ID_RES_640 + resolution_index);
        dialog->check_button(DIALOG_ID_FULL_SCREEN, fullscreen);
        dialog->check_button(DIALOG_ID_NO_SOUND, no_sound);
        // True lets the dialog put the focus on its first tab stop, Go!.
        return true;
    case DIALOG_COMMAND:
        switch (id) {
        case DIALOG_ID_RES_640:
        case DIALOG_ID_RES_800:
        case DIALOG_ID_RES_1024:
            select_resolution(id - DIALOG_ID_RES_640);
            break;
        case DIALOG_ID_FULL_SCREEN:
            fullscreen = dialog->is_button_checked(DIALOG_ID_FULL_SCREEN);
            break;
        case DIALOG_ID_NO_SOUND:
            no_sound = dialog->is_button_checked(DIALOG_ID_NO_SOUND);
            break;
        case DIALOG_ID_GO:
        case DIALOG_ID_EXIT:
            dialog->end_dialog(id);
            break;
        default:
            // OK, Cancel (Escape, the close box) and anything else: the dialog
            // stays until Go! or Exit.
            break;
        }
        return false;
    }
    return false;
}

bool config_dialog_run(bool* no_display)
{
    *no_display = false;
    std::string error;
    int result = dialog_box_run(config_dialog_proc, &error);
    if (result == DIALOG_BOX_FAILED) {
        std::fprintf(stderr,
                     "glowcam: cannot show the configuration dialog: %s; run glowcam --no-dialog "
                     "to start the show without it, or --render DIR to render frames "
                     "without a display\n",
                     error.c_str());
        *no_display = true;
        return false;
    }
    return result == DIALOG_ID_GO;
}
