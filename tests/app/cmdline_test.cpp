#include "app/cmdline.h"

#include <gtest/gtest.h>

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
    Parsed d = parse({});
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(!d.o.no_dialog && !d.o.window && d.o.width == 1024 && d.o.height == 768);
    EXPECT_EQ(d.o.camera, "auto");
    EXPECT_EQ(d.o.music, "music/tidewave.ogg");
    EXPECT_TRUE(d.o.render_dir.empty());
    Parsed p = parse({"--no-dialog", "--size", "640x480", "--window", "--no-sound", "--camera",
                      "clip.y4m", "--music", "a.flac", "--render", "out", "--fps", "2",
                      "--start", "604800", "--duration", "0"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.o.no_dialog && p.o.window && p.o.no_sound && p.o.width == 640 && p.o.height == 480);
    EXPECT_TRUE(p.o.camera == "clip.y4m" && p.o.music == "a.flac" && p.o.render_dir == "out");
    EXPECT_TRUE(p.o.fps == 2.0 && p.o.start == 604800.0 && p.o.duration == 0.0);
    EXPECT_EQ(parse({"--audio-in", "alsa_input.usb"}).o.audio_in, "alsa_input.usb");
    p = parse({"--render", "show.webm", "--bitrate", "900"});
    EXPECT_TRUE(p.ok && p.o.render_file == "show.webm" && p.o.render_dir.empty() && p.o.bitrate_kbps == 900) << p.error;
    p = parse({"--record", "a.mkv", "--virtual-camera", "/dev/video7", "--no-vsync", "--display", "2"});
    EXPECT_TRUE(p.ok && p.o.record_file == "a.mkv" && p.o.virtual_camera == "/dev/video7" && p.o.no_vsync &&
                p.o.display == 2) << p.error;
}

TEST(CommandLine, BadInputNamesTheOption)
{
    struct Case {
        std::vector<const char*> args;
        const char* names;
    } cases[] = {
        {{"--frobnicate"}, "--frobnicate"},
        {{"--size"}, "--size"},
        {{"--size", "640"}, "--size"},
        {{"--size", "63x480"}, "--size"},
        {{"--size", "640x8193"}, "--size"},
        {{"--size", "640x-480"}, "--size"},
        {{"--size", "x480"}, "--size"},
        {{"--size", "99999999999x480"}, "--size"},
        {{"--camera", ""}, "--camera"},
        {{"--audio-in", ""}, "--audio-in"},
        {{"--audio-in", "mic", "--music", "a.ogg"}, "--music and --audio-in"},
        {{"--render", "o", "--audio-in", "monitor"}, "--render"},
        {{"--render", "o", "--fps", "0"}, "--fps"},
        {{"--render", "o", "--fps", "-3"}, "--fps"},
        {{"--render", "o", "--fps", "abc"}, "--fps"},
        {{"--render", "o", "--fps", "nan"}, "--fps"},
        {{"--render", "o", "--duration", "-1"}, "--duration"},
        {{"--render", "o", "--start", "-0.5"}, "--start"},
        {{"--render", "o", "--fps", "1000", "--duration", "100000"}, "--duration"},
        {{"--fps", "30"}, "--render"},
        {{"--render", "show.mp4"}, ".webm or .mkv"},
        {{"--record", "show.mp4"}, "--record"},
        {{"--render", "frames", "--bitrate", "900"}, "--bitrate"},
        {{"--render", "a.webm", "--bitrate", "9.5"}, "--bitrate"},
        {{"--render", "a.webm", "--record", "b.webm"}, "--record"},
        {{"--virtual-camera", "video0"}, "--virtual-camera"},
        {{"--display", "-1"}, "--display"},
        {{"--render", "o", "--display", "1"}, "--display"},
        {{"--rende\n\xd2"}, "--rende?"},  // found by fuzzing: a newline broke the line
        {{"--size", "64\nx64"}, "64?x64"},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok) << c.args[0];
        EXPECT_NE(p.error.find(c.names), std::string::npos) << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << "one line: " << p.error;
    }
}

}  // namespace
