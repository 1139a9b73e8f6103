#include "app/cmdline.h"
#include "app/data_path.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace {

struct Parsed { bool ok; Options o; std::string error; };

Parsed parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "glowcam");
    Parsed p;
    p.ok = parse_command_line(static_cast<int>(args.size()), args.data(), &p.o, &p.error);
    return p;
}

TEST(CommandLine, DefaultsAndEveryOption)
{
    Parsed p = parse({});
    EXPECT_TRUE(p.ok && !p.o.no_dialog && !p.o.window && p.o.width == 1024 && p.o.height == 768 &&
                p.o.camera == "auto" && p.o.camera_width == 0 && !p.o.list_cameras && p.o.music == "music/tidewave.ogg" &&
                p.o.render_dir.empty());
    p = parse({"--no-dialog", "--size", "640x64", "--window", "--no-sound", "--camera", "clip.y4m", "--music",
               "a.flac", "--render", "out", "--fps", "1", "--start", "604800", "--duration", "999999"});
    EXPECT_TRUE(p.ok && p.o.no_dialog && p.o.window && p.o.no_sound && p.o.width == 640 && p.o.height == 64 &&
                p.o.camera == "clip.y4m" && p.o.music == "a.flac" && p.o.render_dir == "out" && p.o.fps == 1.0 &&
                p.o.start == 604800.0 && p.o.duration == 999999.0) << p.error;  // the least height, 999999 frames
    p = parse({"--camera-size", "1920x1080", "--list-cameras", "--audio-in", "alsa_input.usb"});
    EXPECT_TRUE(p.ok && p.o.camera_width == 1920 && p.o.camera_height == 1080 && p.o.list_cameras &&
                p.o.audio_in == "alsa_input.usb") << p.error;
    p = parse({"--camera-size", "1280x720", "--camera-size", "auto"});
    EXPECT_TRUE(p.ok && p.o.camera_width == 0 && p.o.camera_height == 0) << p.error;
    p = parse({"--render", "show.webm", "--bitrate", "900"});
    EXPECT_TRUE(p.ok && p.o.render_file == "show.webm" && p.o.render_dir.empty() && p.o.bitrate_kbps == 900) << p.error;
    p = parse({"--record", "a.mkv", "--virtual-camera", "/dev/video7", "--no-vsync", "--display", "2"});
    EXPECT_TRUE(p.ok && p.o.record_file == "a.mkv" && p.o.virtual_camera == "/dev/video7" && p.o.no_vsync &&
                p.o.display == 2 && p.o.record_fps == 30.0) << p.error;
    p = parse({"--cues", "a.cues", "--save-cues", "b.cues", "--osc", "9000", "--remote", "8080"});
    EXPECT_TRUE(p.ok && p.o.cues_file == "a.cues" && p.o.save_cues_file == "b.cues" && p.o.osc_host == "127.0.0.1" &&
                p.o.osc_port == 9000 && p.o.remote_host == "127.0.0.1" && p.o.remote_port == 8080 &&
                p.o.remote_key.empty()) << p.error;
    p = parse({"--osc", "0.0.0.0:65535"});
    EXPECT_TRUE(p.ok && p.o.osc_host == "0.0.0.0" && p.o.osc_port == 65535) << p.error;
    p = parse({"--remote", "0.0.0.0:1", "--remote-key", std::string(64, 'k').c_str()});
    EXPECT_TRUE(p.ok && p.o.remote_host == "0.0.0.0" && p.o.remote_port == 1 && p.o.remote_key == std::string(64, 'k') &&
                p.o.osc_port == 0) << p.error;
    EXPECT_EQ(parse({"--remote", "1", "--remote-key", "aZ09-_.~"}).o.remote_key, "aZ09-_.~");
    EXPECT_TRUE(parse({"--render", "o", "--cues", "a.cues"}).ok);
    EXPECT_EQ(parse({"--record", "a.mkv", "--record-fps", "1"}).o.record_fps, 1.0);
    EXPECT_EQ(parse({"--virtual-camera", "/dev/video7", "--record-fps", "240"}).o.record_fps, 240.0);
}

// Each refused with one line that names what to change.
TEST(CommandLine, BadInputNamesTheOption)
{
    const std::string long_key(65, 'k');
    const struct { std::vector<const char*> args; const char* names; } cases[] = {
        {{"--frobnicate"}, "--frobnicate"}, {{"--size"}, "--size"}, {{"--size", "640"}, "--size"},
        {{"--size", "63x480"}, "--size"}, {{"--size", "640x63"}, "--size"}, {{"--size", "640x8193"}, "--size"},
        {{"--size", "640x-480"}, "--size"}, {{"--size", "x480"}, "--size"}, {{"--size", "99999999999x480"}, "--size"},
        {{"--camera", ""}, "--camera"}, {{"--audio-in", ""}, "--audio-in"}, {{"--render", "o", "--start", "-0.5"}, "--start"},
        {{"--audio-in", "mic", "--music", "a.ogg"}, "--music and --audio-in"}, {{"--render", "o", "--fps", "0"}, "--fps"},
        {{"--render", "o", "--audio-in", "monitor"}, "--render"}, {{"--render", "o", "--fps", "-3"}, "--fps"},
        {{"--render", "o", "--fps", "abc"}, "--fps"}, {{"--render", "o", "--fps", "nan"}, "--fps"},
        {{"--render", "o", "--fps"}, "--fps"},
        {{"--render", "o", "--duration", "-1"}, "--duration"}, {{"--record", ".webm"}, "--record"},
        {{"--render", "o", "--fps", "1000", "--duration", "1000"}, "--duration"},  // 10^6 frames
        {{"--fps", "30"}, "--render"}, {{"--render", "show.mp4"}, ".webm or .mkv"}, {{"--record", "show.mp4"}, "--record"},
        {{"--render", "frames", "--bitrate", "900"}, "--bitrate"}, {{"--render", "a.webm", "--bitrate", "9.5"}, "--bitrate"},
        {{"--render", "a.webm", "--record", "b.webm"}, "--record"}, {{"--virtual-camera", "video0"}, "--virtual-camera"},
        {{"--display", "-1"}, "--display"}, {{"--record-fps", "30"}, "--record or --virtual-camera"},
        {{"--record", "a.mkv", "--record-fps", "0.9"}, "--record-fps"}, {{"--record", "a.mkv", "--record-fps", "241"}, "--record-fps"},
        {{"--record", "a.mkv", "--record-fps", "x"}, "--record-fps"}, {{"--record", "a.mkv", "--record-fps"}, "--record-fps"},
        {{"--render", "o", "--display", "1"}, "--display"},
        {{"--rende\n\xd2"}, "--rende?"},  // found by fuzzing: a newline broke the line
        {{"--size", "64\nx64"}, "64?x64"}, {{"--cues", ""}, "--cues"}, {{"--save-cues", ""}, "--save-cues"},
        {{"--osc", "0"}, "--osc"}, {{"--osc", "65536"}, "--osc"}, {{"--osc", "localhost:9000"}, "--osc"},
        {{"--osc", ":9000"}, "--osc"}, {{"--osc", "1.2.3.4:"}, "--osc"}, {{"--render", "o", "--osc", "9000"}, "--osc"},
        {{"--render", "o", "--save-cues", "a"}, "--save-cues"}, {{"--camera-size", "1280"}, "--camera-size"},
        {{"--camera-size", "big"}, "--camera-size"}, {{"--camera-size"}, "--camera-size"},
        {{"--remote", "0"}, "--remote"},
        {{"--remote", "65536"}, "--remote wants"}, {{"--remote", "a.b:80"}, "--remote wants"},
        {{"--render", "o", "--remote", "80"}, "--remote"}, {{"--remote-key", "abc"}, "--remote-key goes with --remote"},
        {{"--remote", "80", "--remote-key", ""}, "--remote-key wants"},
        {{"--remote", "80", "--remote-key", "a&b"}, "--remote-key wants"},
        {{"--remote", "80", "--remote-key", "a b"}, "--remote-key wants"},
        {{"--remote", "80", "--remote-key", long_key.c_str()}, "--remote-key wants"}};
    for (const auto& c : cases) {
        Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok) << c.args[0];
        EXPECT_NE(p.error.find(c.names), std::string::npos) << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << "one line: " << p.error;
    }
}

// On a machine without cameras (as every test machine is) the list is one
// line that says so, and the program ends there.
TEST(CommandLine, ListCamerasWithoutCamerasSaysSo)
{
    if (std::filesystem::exists("/dev/video0"))
        GTEST_SKIP() << "this machine has a video device";
    const ProcessResult r = run_process({glowcam_exe(), "--list-cameras", "--no-such-option-after-it"});
    EXPECT_EQ(r.exit_code, 2) << "options are read first";
    const ProcessResult list = run_process({glowcam_exe(), "--list-cameras", "--camera", "none"});
    EXPECT_EQ(list.exit_code, 0) << list.err;
    EXPECT_EQ(list.out, "no camera found: GStreamer's device monitor sees no video capture device\n") << list.err;
}

// The demo track's default path works from any folder, and a file of that
// name in the working folder is the one the user meant.
TEST(DataPath, TheWorkingFolderFirstThenTheProgramsData)
{
    namespace fs = std::filesystem;
    const fs::path here = fs::current_path(), dir = fs::path(::testing::TempDir()) / "glowcam-data-path";
    fs::create_directories(dir / "music");
    fs::current_path(dir);
    EXPECT_EQ(data_file_path("music/tidewave.ogg"), GLOWCAM_BINARY_DIR "/music/tidewave.ogg");
    std::ofstream(dir / "music/tidewave.ogg") << "mine";
    EXPECT_EQ(data_file_path("music/tidewave.ogg"), "music/tidewave.ogg");
    fs::current_path(here);
    fs::remove_all(dir);
}

}  // namespace
