#pragma once

struct Options;

// The exit status when the window or its GL state cannot be made (-1).
constexpr int window_failed = 255;

// The live show runs on the display: the camera is grabbed on a timer, the
// music (or live sound) is heard and the clock is real. An offline render
// draws frames at set show times: each frame takes its own picture and
// spectrum, nothing is heard, and the clock starts at --start.
enum class ShowMode { live, offline };

// Opens the window with the size and full-screen choice in the settings and
// writes back what it got: full screen is cleared when the user takes the
// windowed fallback.
bool window_open(const char* title);

// Once the window has changed size (F11 switches between full screen at the
// desktop's size and the window), the settings and the projection follow it.
void window_follow_size();

// Seeds the random generator with 1234 and lets go of every key.
void startup_reset();

// Opens the window and starts every subsystem, in the show's fixed order.
// False when the window or its GL state cannot be made: nothing else has
// started, and the program exits with window_failed. Capture and audio report
// their own failures; the show runs on without them.
bool show_startup(const Options& options, ShowMode mode);

// Stops every subsystem and closes the window, in the fixed order.
void show_shutdown();
