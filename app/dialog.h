#pragma once

// The configuration dialog "Config:", shown once before the show.

struct Resolution {
    int width;
    int height;
};
extern const Resolution resolution_table[3];
extern int resolution_index;

// True when the user pressed Go!; false for Exit. With no display it writes
// one line on standard error and returns false with *no_display set.
bool config_dialog_run(bool* no_display);

// Control ids of the dialog template; the widgets carry them as their names.
enum DialogControlId {
    DIALOG_ID_OK = 1,
    DIALOG_ID_CANCEL = 2,  // Escape and the close box send it
    DIALOG_ID_RES_640 = 1000,
    DIALOG_ID_RES_800 = 1001,
    DIALOG_ID_RES_1024 = 1002,
    DIALOG_ID_FULL_SCREEN = 1003,
    DIALOG_ID_NO_SOUND = 1004,
    DIALOG_ID_GO = 1006,
    DIALOG_ID_EXIT = 1007,
};

// The two things a dialog tells its procedure: it has just been built, and a
// control was pressed (or Escape or the close box sent DIALOG_ID_CANCEL).
enum DialogMessage {
    DIALOG_INIT,
    DIALOG_COMMAND,
};

// What a procedure may do to its dialog. The toolkit's dialog supplies these;
// the procedure itself never sees the toolkit.
struct DialogControls {
    // Checks check_id and unchecks the others of first_id..last_id.
    void (*check_radio_button)(int first_id, int last_id, int check_id);
    void (*check_button)(int id, bool checked);
    bool (*is_button_checked)(int id);
    // Ends the dialog with the given result once the procedure returns.
    void (*end_dialog)(int result);
};

using DialogProc = bool (*)(const DialogControls* dialog, DialogMessage message, int id);

// The procedure of "Config:": writes the choices into the settings and ends
// the dialog on Go! or Exit. id is the control of a DIALOG_COMMAND.
bool config_dialog_proc(const DialogControls* dialog, DialogMessage message, int id);
