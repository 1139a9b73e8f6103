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
    int display = 0;          // the monitor to show on, from 0
    bool no_sound = false;
    std::string camera = "auto";
    int camera_width = 0, camera_height = 0;  // --camera-size; 0: the size that fills the window
    bool list_cameras = false;
    std::string music = "music/tidewave.ogg";
    std::string audio_in;    // empty: the music drives the spectrum
    std::string render_dir;   // frames into a folder; empty: no folder
    std::string render_file;  // one .webm or .mkv video; empty: none
    int bitrate_kbps = 0;     // a video's bitrate; 0: one that suits its size
    std::string record_file;  // the live show into a .webm or .mkv video
    std::string virtual_camera;  // a v4l2loopback device for the live show
    double record_fps = 30.0;    // the frame rate of both
    std::string cues_file;       // actions to play by show time
    std::string save_cues_file;  // where the operator's actions are written
    std::string osc_host = "127.0.0.1";
    int osc_port = 0;            // 0: no OSC
    std::string remote_host = "127.0.0.1";
    int remote_port = 0;         // 0: no remote page
    std::string remote_key;      // empty: a random one each start
    bool no_vsync = false;    // draw frames back to back
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
