#include "app/cmdline.h"

#include "core/printable.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <arpa/inet.h>

namespace {

bool parse_number(const char* text, double* out)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

bool parse_side(const char* begin, const char* end, int* out)
{
    if (begin == end || end - begin > 5)
        return false;
    int v = 0;
    for (const char* p = begin; p != end; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + (*p - '0');
    }
    *out = v;
    return true;
}

bool parse_size(const char* text, int* w, int* h)
{
    const char* x = std::strchr(text, 'x');
    if (!x)
        return false;
    return parse_side(text, x, w) && parse_side(x + 1, text + std::strlen(text), h) &&
           *w >= 64 && *w <= 8192 && *h >= 64 && *h <= 8192;
}

bool ends_with(const std::string& s, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool video_name(const std::string& s)
{
    return (ends_with(s, ".webm") && s.size() > 5) || (ends_with(s, ".mkv") && s.size() > 4);
}

// Names that look like a video in a format this program does not write: a
// render is not made into a folder of that name.
bool other_video_name(const std::string& s)
{
    size_t dot = s.find_last_of('.');
    if (dot == std::string::npos || s.find('/', dot) != std::string::npos)
        return false;
    for (const char* ext : {".mp4", ".m4v", ".mov", ".avi", ".ogv", ".mpg", ".mpeg", ".ts", ".flv", ".wmv", ".gif"})
        if (s.compare(dot, std::string::npos, ext) == 0)
            return true;
    return false;
}

bool parse_count(const char* text, int low, int high, int* out)
{
    double v = 0.0;
    if (!parse_number(text, &v) || v != std::floor(v) || v < low || v > high)
        return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

const char* command_line_usage()
{
    return "Usage: glowcam [--no-dialog] [--size WxH] [--window] [--display N] [--no-vsync] [--no-sound]\n"
           "               [--camera auto|none|test|/dev/videoN|FILE] [--camera-size auto|WxH]\n"
           "               [--music FILE | --audio-in monitor|mic|SOURCE]\n"
           "               [--record FILE.webm] [--virtual-camera /dev/videoN] [--record-fps N]\n"
           "               [--render DIR|FILE.webm|FILE.mkv [--fps N] [--start SECONDS]\n"
           "                [--duration SECONDS] [--bitrate KBPS]]\n"
           "               [--cues FILE] [--save-cues FILE] [--osc [ADDRESS:]PORT]\n"
           "               [--remote [ADDRESS:]PORT [--remote-key KEY]]\n"
           "               [--list-cameras] [--help] [--version]\n"
           "\n"
           "  --no-dialog        skip the configuration dialog; messages go to standard error\n"
           "  --size WxH         window size in pixels (default 1024x768)\n"
           "  --window           run in a window instead of full screen\n"
           "  --display N        the monitor to show on: 0 (default) is the primary, then\n"
           "                     the others as 'xrandr --listmonitors' numbers them\n"
           "  --no-sound         play nothing; the visuals still follow the music\n"
           "  --camera SOURCE    auto (first camera, default), none, test (built-in pattern),\n"
           "                     /dev/videoN, or a video file played in a loop\n"
           "  --camera-size WxH  the camera's size (default auto: the one that fills the window)\n"
           "  --list-cameras     list the cameras with the sizes they offer, then exit\n"
           "  --music FILE       the track (default music/tidewave.ogg)\n"
           "  --audio-in SOURCE  follow live sound instead of playing music: monitor (what\n"
           "                     the desktop plays), mic, or a source from\n"
           "                     'pactl list short sources'\n"
           "  --no-vsync         draw frames back to back instead of at the display's pace\n"
           "  --record FILE      write the live show with its music into FILE (.webm or .mkv)\n"
           "  --virtual-camera /dev/videoN\n"
           "                     send the live show to a v4l2loopback device\n"
           "  --record-fps N     their frames a second, steady whatever the show draws (30)\n"
           "  --render DIR       draw frames offscreen into DIR/frame-NNNNNN.png, no display\n"
           "                     needed: --fps (30), --start (0 s), --duration (75 s)\n"
           "  --render FILE      the same as one .webm or .mkv video with the music\n"
           "  --bitrate KBPS     the video's bitrate (default: one that suits the size)\n"
           "  --cues FILE        play the actions in FILE, one 'SECONDS ACTION [VALUE]' a line\n"
           "  --save-cues FILE   write the actions played live into FILE, as cues\n"
           "  --osc [ADDRESS:]PORT\n"
           "                     take actions as OSC messages /glowcam/ACTION over UDP on\n"
           "                     127.0.0.1 (or ADDRESS, e.g. 0.0.0.0 for the local network)\n"
           "  --remote [ADDRESS:]PORT\n"
           "                     serve a control page for a browser on 127.0.0.1 (or ADDRESS);\n"
           "                     its address, with the key it needs, is printed at start\n"
           "  --remote-key KEY   that key instead of a random one\n"
           "\n"
           "Actions: mode 0|1|2, next, previous, hold on|off, swell, sensitivity 0-4,\n"
           "blackout on|off. Keys in the show: 1 2 3 modes, Right/Left next/previous,\n"
           "Space hold, S swell, B blackout, + and - sensitivity, 0 sensitivity 1.\n"
           "F11 switches between full screen and the window. Escape ends the show (exit\n"
           "code 27); closing the window ends it with 0.\n";
}

bool parse_command_line(int argc, const char* const* argv, Options* out, std::string* error)
{
    Options o;
    bool timing_given = false;
    bool music_given = false;
    bool record_fps_given = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need_value = [&]() {
            if (value)
                return true;
            *error = "option " + printable(arg) + " needs a value";
            return false;
        };
        if (arg == "--no-dialog") {
            o.no_dialog = true;
        } else if (arg == "--window") {
            o.window = true;
        } else if (arg == "--no-sound") {
            o.no_sound = true;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--size") {
            if (!need_value())
                return false;
            if (!parse_size(value, &o.width, &o.height)) {
                *error = "--size wants WxH with each side from 64 to 8192, not '" +
                         printable(value) + "'";
                return false;
            }
            o.size_given = true;
            ++i;
        } else if (arg == "--camera") {
            if (!need_value())
                return false;
            o.camera = value;
            if (o.camera.empty()) {
                *error = "--camera wants auto, none, test, /dev/videoN or a video file";
                return false;
            }
            ++i;
        } else if (arg == "--camera-size") {
            if (!need_value())
                return false;
            o.camera_width = o.camera_height = 0;
            if (std::strcmp(value, "auto") != 0 && !parse_size(value, &o.camera_width, &o.camera_height)) {
                *error = "--camera-size wants auto or WxH, not '" + printable(value) + "'";
                return false;
            }
            ++i;
        } else if (arg == "--list-cameras") {
            o.list_cameras = true;
        } else if (arg == "--music") {
            if (!need_value())
                return false;
            o.music = value;
            music_given = true;
            if (o.music.empty()) {
                *error = "--music wants a file name";
                return false;
            }
            ++i;
        } else if (arg == "--audio-in") {
            if (!need_value())
                return false;
            o.audio_in = value;
            if (o.audio_in.empty()) {
                *error = "--audio-in wants monitor, mic or a sound-server source name";
                return false;
            }
            ++i;
        } else if (arg == "--render") {
            if (!need_value())
                return false;
            std::string target = value;
            if (target.empty()) {
                *error = "--render wants a folder or a .webm or .mkv file";
                return false;
            }
            if (other_video_name(target)) {
                *error = "--render writes .webm or .mkv videos (or frames into a folder), not '" +
                         printable(target) + "'";
                return false;
            }
            (video_name(target) ? o.render_file : o.render_dir) = target;
            ++i;
        } else if (arg == "--record") {
            if (!need_value())
                return false;
            o.record_file = value;
            if (!video_name(o.record_file)) {
                *error = "--record writes a .webm or .mkv video, not '" + printable(o.record_file) + "'";
                return false;
            }
            ++i;
        } else if (arg == "--virtual-camera") {
            if (!need_value())
                return false;
            o.virtual_camera = value;
            if (o.virtual_camera.rfind("/dev/video", 0) != 0) {
                *error = "--virtual-camera wants a device /dev/videoN, not '" + printable(o.virtual_camera) + "'";
                return false;
            }
            ++i;
        } else if (arg == "--cues" || arg == "--save-cues") {
            if (!need_value())
                return false;
            (arg == "--cues" ? o.cues_file : o.save_cues_file) = value;
            if (!*value) {
                *error = arg + " wants a file name";
                return false;
            }
            ++i;
        } else if (arg == "--osc" || arg == "--remote") {
            if (!need_value())
                return false;
            std::string spec = value, &host = arg == "--osc" ? o.osc_host : o.remote_host;
            size_t colon = spec.rfind(':');
            if (colon != std::string::npos)
                host = spec.substr(0, colon);
            in_addr address{};
            if (!parse_count(spec.c_str() + (colon == std::string::npos ? 0 : colon + 1), 1, 65535,
                             arg == "--osc" ? &o.osc_port : &o.remote_port) ||
                inet_pton(AF_INET, host.c_str(), &address) != 1) {
                *error = arg + " wants PORT or ADDRESS:PORT (e.g. 9000 or 0.0.0.0:9000), not '" + printable(spec) + "'";
                return false;
            }
            ++i;
        } else if (arg == "--remote-key") {
            if (!need_value())
                return false;
            o.remote_key = value;
            if (o.remote_key.empty() || o.remote_key.size() > 64 ||
                o.remote_key.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.~") !=
                    std::string::npos) {
                *error = "--remote-key wants 1 to 64 letters, digits, '-', '_', '.' or '~'";
                return false;
            }
            ++i;
        } else if (arg == "--record-fps") {
            if (!need_value())
                return false;
            if (!parse_number(value, &o.record_fps) || o.record_fps < 1.0 || o.record_fps > 240.0) {
                *error = "--record-fps wants frames per second from 1 to 240, not '" + printable(value) + "'";
                return false;
            }
            record_fps_given = true;
            ++i;
        } else if (arg == "--display") {
            if (!need_value())
                return false;
            if (!parse_count(value, 0, 63, &o.display)) {
                *error = "--display wants a monitor number from 0, not '" + printable(value) + "'";
                return false;
            }
            ++i;
        } else if (arg == "--bitrate") {
            if (!need_value())
                return false;
            if (!parse_count(value, 50, 100000, &o.bitrate_kbps)) {
                *error = "--bitrate wants kilobits per second from 50 to 100000, not '" + printable(value) + "'";
                return false;
            }
            ++i;
        } else if (arg == "--no-vsync") {
            o.no_vsync = true;
        } else if (arg == "--fps" || arg == "--start" || arg == "--duration") {
            if (!need_value())
                return false;
            double v = 0.0;
            if (!parse_number(value, &v)) {
                *error = arg + " wants a number, not '" + printable(value) + "'";
                return false;
            }
            if (arg == "--fps") {
                if (v <= 0.0 || v > 1000.0) {
                    *error = "--fps must be a positive number of frames per second up to 1000";
                    return false;
                }
                o.fps = v;
            } else if (arg == "--start") {
                if (v < 0.0) {
                    *error = "--start must not be negative";
                    return false;
                }
                o.start = v;
            } else {
                if (v < 0.0) {
                    *error = "--duration must not be negative";
                    return false;
                }
                o.duration = v;
            }
            timing_given = true;
            ++i;
        } else {
            *error = "unknown option '" + printable(arg) + "'";
            return false;
        }
    }
    const bool render = !o.render_dir.empty() || !o.render_file.empty();
    if (timing_given && !render) {
        *error = "--fps, --start and --duration go with --render";
        return false;
    }
    if (o.bitrate_kbps > 0 && o.render_file.empty() && o.record_file.empty()) {
        *error = "--bitrate goes with --render FILE.webm or --record";
        return false;
    }
    if (record_fps_given && o.record_file.empty() && o.virtual_camera.empty()) {
        *error = "--record-fps goes with --record or --virtual-camera";
        return false;
    }
    if (render && (!o.record_file.empty() || !o.virtual_camera.empty() || o.display > 0 ||
                   !o.save_cues_file.empty() || o.osc_port > 0 || o.remote_port > 0)) {
        *error = "--record, --virtual-camera, --display, --save-cues, --osc and --remote go with the live show, not --render";
        return false;
    }
    if (!o.remote_key.empty() && o.remote_port == 0) {
        *error = "--remote-key goes with --remote";
        return false;
    }
    if (!o.audio_in.empty() && music_given) {
        *error = "--music and --audio-in exclude each other: the spectrum follows one of them";
        return false;
    }
    if (!o.audio_in.empty() && render) {
        *error = "--audio-in follows live sound, which --render cannot wait for; render with --music";
        return false;
    }
    // Frame names carry six digits.
    if (!o.render_dir.empty() && o.duration * o.fps > 999999.0) {
        *error = "--duration x --fps makes more than 999999 frames";
        return false;
    }
    *out = o;
    return true;
}
