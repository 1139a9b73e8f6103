#pragma once

#include <string>

// Message boxes with no owner window. On a desktop they are SDL message boxes;
// with message_box_use_stderr(true) (--no-dialog, --render) or when no box can
// be shown, they are written to standard error as "CAPTION: TEXT" and a
// question takes Yes.

enum MessageBoxKind {
    MESSAGE_BOX_OK,      // one OK button
    MESSAGE_BOX_YES_NO,  // a question: Yes and No
};

enum MessageBoxIcon {
    MESSAGE_ICON_NONE,
    MESSAGE_ICON_INFO,
    MESSAGE_ICON_WARNING,
    MESSAGE_ICON_ERROR,
};

// Returns true for OK or Yes, false for No. Safe to call from any thread.
bool message_box(const std::string& caption, const std::string& text,
                 MessageBoxKind kind = MESSAGE_BOX_OK,
                 MessageBoxIcon icon = MESSAGE_ICON_NONE);

void message_box_use_stderr(bool on);

// Tests replace the box to see what was asked and to answer questions.
// nullptr restores the real one.
using MessageBoxHook = bool (*)(const std::string& caption, const std::string& text,
                                MessageBoxKind kind);
void message_box_set_hook(MessageBoxHook hook);

// The line written to standard error for a box: the caption, a colon unless
// the caption already ends with one, a space, the text.
std::string message_box_line(const std::string& caption, const std::string& text);
