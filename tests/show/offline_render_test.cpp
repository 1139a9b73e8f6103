// --render DIR as a user runs it: the real program, no display, frames
// written as PNGs that can be read back.

#include "tests/support/process.h"
#include "tests/support/video_decode.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class OfflineRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() /
               ("glowcam-offline-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    ProcessResult render(const std::string& dir, std::vector<std::string> extra)
    {
        std::vector<std::string> argv = {glowcam_exe(), "--render", dir, "--size", "160x120",
                                         "--camera", "test", "--music", (root / "none.ogg").string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        ProcessOptions options;
        options.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
        options.timeout_s = 120.0;
        return run_process(argv, options);
    }

    fs::path root;
};

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decodes an 8-bit RGB PNG into rows top first.
bool read_png(const fs::path& p, int* w, int* h, std::vector<unsigned char>* rgb)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, p.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    rgb->resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr))
        return false;
    *w = static_cast<int>(image.width);
    *h = static_cast<int>(image.height);
    return true;
}

TEST_F(OfflineRender, WritesEveryFrameIdenticallyOnEveryRun)
{
    // 2 fps for 3 s from t = 24 s: frames in mode 0 and mode 1.
    std::vector<std::string> timing = {"--fps", "2", "--start", "24", "--duration", "3"};
    ProcessResult a = render((root / "a").string(), timing);
    ASSERT_EQ(a.exit_code, 0) << a.err;
    ProcessResult b = render((root / "b").string(), timing);
    ASSERT_EQ(b.exit_code, 0) << b.err;
    EXPECT_NE(a.err.find("6 frames"), std::string::npos) << a.err;

    for (int i = 0; i < 6; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06d.png", i);
        ASSERT_TRUE(fs::exists(root / "a" / name)) << name;
        EXPECT_EQ(slurp(root / "a" / name), slurp(root / "b" / name)) << name;
        int w = 0, h = 0;
        std::vector<unsigned char> rgb;
        ASSERT_TRUE(read_png(root / "a" / name, &w, &h, &rgb)) << name;
        EXPECT_EQ(w, 160);
        EXPECT_EQ(h, 120);
    }
    EXPECT_FALSE(fs::exists(root / "a" / "frame-000006.png"));
    for (const auto& entry : fs::directory_iterator(root / "a"))
        EXPECT_EQ(entry.path().extension(), ".png") << entry.path();

    // Mode 0 (a box field in fog) and mode 1 (a kaleidoscope) differ.
    EXPECT_NE(slurp(root / "a" / "frame-000000.png"), slurp(root / "a" / "frame-000004.png"));
}

// The same frames as one video with the music: the same bytes on every run,
// pictures as the PNG frames show them.
TEST_F(OfflineRender, VideoFileRepeatsByteForByteAndShowsThePngFrames)
{
    std::vector<std::string> args = {"--fps", "10", "--duration", "1", "--music",
                                     GLOWCAM_BINARY_DIR "/music/tidewave.ogg"};
    for (const char* out : {"a.webm", "b.webm", "frames"}) {
        ProcessResult r = render((root / out).string(), args);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.err.find("10 frames"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(slurp(root / "a.webm") == slurp(root / "b.webm"));
    int w = 0, h = 0;
    std::vector<unsigned char> png;
    ASSERT_TRUE(read_png(root / "frames" / "frame-000000.png", &w, &h, &png));
    DecodedVideo video = decode_video((root / "a.webm").string(), true);
    EXPECT_EQ(video.frames, 10);
    EXPECT_NEAR(video.audio_seconds, 1.0, 0.03);
    ASSERT_EQ(video.first.size(), png.size());
    double error = 0.0;
    for (size_t i = 0; i < png.size(); ++i)
        error += std::abs(video.first[i] - png[i]);
    EXPECT_LT(error / static_cast<double>(png.size()), 8.0);
}

TEST_F(OfflineRender, OutputThatCannotBeMadeFailsWithOneLine)
{
    std::ofstream(root / "plain-file") << "x";
    for (const char* out : {"frames", "show.webm"}) {
        ProcessResult r = render((root / "plain-file" / out).string(), {"--duration", "1"});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST_F(OfflineRender, BadTimingIsACommandLineError)
{
    for (std::vector<std::string> bad : {std::vector<std::string>{"--fps", "0"},
                                         {"--fps", "-3"},
                                         {"--fps", "x"},
                                         {"--duration", "-1"},
                                         {"--start", "-0.5"}}) {
        ProcessResult r = render((root / "out").string(), bad);
        EXPECT_EQ(r.exit_code, 2) << bad[0] << " " << bad[1];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(root / "out" / "frame-000000.png"));
    }
}

TEST_F(OfflineRender, ZeroDurationWritesNothingAndSucceeds)
{
    ProcessResult r = render((root / "out").string(), {"--duration", "0"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(fs::is_directory(root / "out"));
    EXPECT_TRUE(fs::is_empty(root / "out"));
}

// The README's first command on a machine without a display: instead of
// only stopping, the show renders a 10 s preview and says where.
TEST_F(OfflineRender, NoDisplayRendersAPreview)
{
    fs::path preview = fs::current_path() / "glowcam-preview";
    fs::remove_all(preview);
    ProcessOptions options;
    options.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
    options.timeout_s = 240.0;
    ProcessResult r = run_process({"/bin/sh", GLOWCAM_SOURCE_DIR "/tools/launch.sh", glowcam_exe(),
                                   "--size", "96x72", "--camera", "test", "--music",
                                   (root / "none.ogg").string()},
                                  options);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("glowcam-preview"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(preview / "frame-000299.png"));
    EXPECT_FALSE(fs::exists(preview / "frame-000300.png"));
    fs::remove_all(preview);
}

}  // namespace
