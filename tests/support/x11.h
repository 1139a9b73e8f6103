#pragma once

#include <string>

// Asks the top-level window with this title on the given X display to close,
// as a window manager's close button does (WM_DELETE_WINDOW). Waits up to
// timeout_s for the window to appear. False when it never appeared.
bool x11_close_window(const std::string& display, const std::string& title, double timeout_s);

// True once a top-level window with this title exists, within timeout_s.
bool x11_wait_for_window(const std::string& display, const std::string& title, double timeout_s);

// True once that window is "WxH" pixels, within timeout_s.
bool x11_wait_for_size(const std::string& display, const std::string& title, const std::string& size,
                       double timeout_s);

// The colours on the window's row a quarter of the way down: a picture drawn
// across it shows many, a cleared margin one.
int x11_row_colours(const std::string& display, const std::string& title);
