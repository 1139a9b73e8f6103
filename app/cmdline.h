#pragma once

#include <string>

// What the command line asks for. With no arguments the show runs as
// designed: the dialog, then the show.
struct Options {
    bool no_dialog = false;
    bool size_given = false;
    int width = 1024;
    int height = 768;
    bool window = false;
    bool no_sound = false;
    std::string camera = "auto";
    std::string music = "music/tidewave.ogg";
    std::string audio_in;    // empty: the music drives the spectrum
    std::string render_dir;  // empty: run the show
    double fps = 30.0;
    double start = 0.0;      // seconds of show time
    double duration = 75.0;  // seconds
    bool help = false;
    bool version = false;
};

// Parses argv[1..]. On failure returns false with a one-line reason in *error
// (naming the option); the program then exits 2.
bool parse_command_line(int argc, const char* const* argv, Options* out, std::string* error);

const char* command_line_usage();
