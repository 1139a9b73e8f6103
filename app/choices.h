#pragma once

#include <string>

struct Options;

// The dialog's choices at the last Go!, which it offers the next time. They
// live in a key file in the user's configuration folder.
struct DialogChoices {
    int resolution_index = 2;  // into resolution_table: 1024 x 768
    bool fullscreen = true;
    bool no_sound = false;
};

// $XDG_CONFIG_HOME/glowcam/glowcam.conf; ~/.config/glowcam/glowcam.conf when
// that is unset or not an absolute path (which the XDG rules ignore).
std::string choices_file_path();

// The choices in the file. No file (the first run): the defaults, silently.
// A file that cannot be read, is damaged or holds a value out of range: one
// line on standard error naming it, and the defaults.
DialogChoices choices_load(const std::string& path);

// Writes the file atomically (a new file renamed over the old one), making
// its folder first. False, with one line on standard error, when it cannot.
bool choices_save(const std::string& path, const DialogChoices& choices);

// The choices the dialog offers: the remembered ones, each one the command
// line names (--size of a size the dialog offers, --window, --no-sound)
// taking its place.
DialogChoices choices_with_command_line(DialogChoices choices, const Options& options);

// The configuration dialog on the choices of the last Go!, those of the
// command line taking their place. At Go! the choices are kept for the next
// time, unless the command line named any: it overrides, and never writes the
// file.
bool config_dialog_run_remembered(const Options& options, bool* no_display);
