#pragma once

#include <string>

// Asks the top-level window with this title on the given X display to close,
// as a window manager's close button does (WM_DELETE_WINDOW). Waits up to
// timeout_s for the window to appear. False when it never appeared.
bool x11_close_window(const std::string& display, const std::string& title, double timeout_s);

// True once a top-level window with this title exists, within timeout_s.
bool x11_wait_for_window(const std::string& display, const std::string& title, double timeout_s);

// The window's size and place on the screen, "WxH+X+Y", and the colours on its
// row a quarter of the way down: a picture drawn across the window shows
// many, a cleared margin one.
std::string x11_window_geometry(const std::string& display, const std::string& title, int* row_colours = nullptr);

// Taps keys (xdotool's names) on the display, press and release back to back:
// into the focused window, or into the window with this title once it shows.
bool x11_tap(const std::string& display, const std::string& keys, const std::string& title = "");
