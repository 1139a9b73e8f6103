#pragma once

#include "app/dialog.h"

#include <string>

// The toolkit's modal dialog, built from the "Config:" template compiled into
// the program. The procedure is called with DIALOG_INIT once the controls
// exist and with DIALOG_COMMAND for each pressed control, until it ends the
// dialog.

constexpr int DIALOG_BOX_FAILED = -1;

// Runs the dialog to its end and tears it down before it returns (window
// destroyed, pending events handled and flushed to the display), so the show
// window opens on a clean slate. Returns the procedure's result, or
// DIALOG_BOX_FAILED with *error saying why (no display).
int dialog_box_run(DialogProc proc, std::string* error);

// The same in steps, for tests that drive the real dialog: open, let the
// toolkit's main loop run, read the result (0 while open), close.
bool dialog_box_open(DialogProc proc, std::string* error);
int dialog_box_result();
void dialog_box_close();
