#include "app/cmdline.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Parsed {
    bool ok;
    Options o;
    std::string error;
};

Parsed parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "glowcam");
    Parsed p;
    p.ok = parse_command_line(static_cast<int>(args.size()), args.data(), &p.o, &p.error);
    return p;
}

TEST(CommandLine, DefaultsRunTheShowAsDesigned)
{
    Parsed p = parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.o.no_dialog);
    EXPECT_EQ(p.o.width, 1024);
    EXPECT_EQ(p.o.height, 768);
    EXPECT_FALSE(p.o.window);
    EXPECT_EQ(p.o.camera, "auto");
    EXPECT_EQ(p.o.music, "music/tidewave.ogg");
    EXPECT_TRUE(p.o.render_dir.empty());
}

TEST(CommandLine, EveryOption)
{
    Parsed p = parse({"--no-dialog", "--size", "640x480", "--window", "--no-sound", "--camera",
                      "clip.y4m", "--music", "a.flac", "--render", "out", "--fps", "2",
                      "--start", "604800", "--duration", "0"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.o.no_dialog && p.o.window && p.o.no_sound);
    EXPECT_EQ(p.o.width, 640);
    EXPECT_EQ(p.o.height, 480);
    EXPECT_EQ(p.o.camera, "clip.y4m");
    EXPECT_EQ(p.o.music, "a.flac");
    EXPECT_EQ(p.o.render_dir, "out");
    EXPECT_DOUBLE_EQ(p.o.fps, 2.0);
    EXPECT_DOUBLE_EQ(p.o.start, 604800.0);
    EXPECT_DOUBLE_EQ(p.o.duration, 0.0);
    p = parse({"--render", "show.webm", "--bitrate", "900"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.o.render_file, "show.webm");
    EXPECT_TRUE(p.o.render_dir.empty());
    EXPECT_EQ(p.o.bitrate_kbps, 900);
    p = parse({"--record", "a.mkv", "--virtual-camera", "/dev/video7", "--no-vsync"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.o.record_file, "a.mkv");
    EXPECT_EQ(p.o.virtual_camera, "/dev/video7");
    EXPECT_TRUE(p.o.no_vsync);
    for (const char* cam : {"none", "test", "/dev/video2", "auto"})
        EXPECT_TRUE(parse({"--camera", cam}).ok) << cam;
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
        {{"--camera", "webcam"}, "--camera"},
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
