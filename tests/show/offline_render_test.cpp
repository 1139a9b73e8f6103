// --render DIR and --render FILE.webm as a user runs them: the real program,
// no display, frames written as PNGs or one video that can be read back; and
// the PNG writer behind it.

#include "render/png_write.h"
#include "tests/support/frames.h"
#include "tests/support/process.h"
#include "tests/support/video_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path root = fs::temp_directory_path() / ("glowcam-offline-" + std::to_string(getpid()));

// Run from the root folder, as a desktop launcher would.
ProcessResult render(const std::string& exe, const fs::path& out, std::vector<std::string> extra)
{
    std::vector<std::string> argv = {"/bin/sh", "-c", "cd / && exec \"$@\"", "sh", exe, "--render", out.string(),
                                     "--size", "160x120", "--camera", "test"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return run_process(argv, {.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"}});
}

std::string frame(int i)
{
    char name[32];
    return std::string(name, std::snprintf(name, sizeof name, "frame-%06d.png", i));
}

// 2 fps for 3 s from t = 24 s: six 160 x 120 frames, in mode 0 and mode 1, as
// PNGs and as one video with the music, the same bytes from the build and
// from an install (which finds its demo track); the video shows what the PNGs
// show. No frames for no time; a place that cannot be written is one line.
TEST(OfflineRender, FramesAndVideoAreTheSameFromTheBuildAndAnInstall)
{
    fs::create_directories(root);
    ProcessResult install = run_process({GLOWCAM_CMAKE, "--install", GLOWCAM_BINARY_DIR, "--prefix", root / "usr"});
    ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
    EXPECT_TRUE(fs::exists(root / "usr/share/applications/glowcam.desktop"));
    const std::string built = glowcam_exe(), installed = root / "usr/bin/glowcam";
    for (const auto& [exe, out] : {std::pair{built, "a"}, {installed, "b"}, {built, "a.webm"}, {installed, "b.webm"}}) {
        ProcessResult r = render(exe, root / out, {"--fps", "2", "--start", "24", "--duration", "3"});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.err.find("6 frames"), std::string::npos) << r.err;
    }
    for (int i = 0; i < 6; ++i) {
        const std::string png = read_file(root / "a" / frame(i));
        EXPECT_EQ(png.substr(12, 12), std::string("IHDR\0\0\0\xa0\0\0\0\x78", 12)) << frame(i);
        EXPECT_EQ(png, read_file(root / "b" / frame(i))) << frame(i);
    }
    EXPECT_FALSE(fs::exists(root / "a" / frame(6)));
    EXPECT_NE(read_file(root / "a" / frame(0)), read_file(root / "a" / frame(4))) << "modes 0 and 1 differ";
    EXPECT_TRUE(read_file(root / "a.webm") == read_file(root / "b.webm"));
    DecodedVideo video = decode_video((root / "a.webm").string(), true);
    EXPECT_TRUE(video.frames == 6 && std::abs(video.audio_seconds - 3.0) < 0.03) << video.audio_seconds;
    EXPECT_LT(mean_difference(video.first, read_png(root / "a" / frame(0))), 8.0);

    ProcessResult zero = render(built, root / "zero", {"--duration", "0"});
    EXPECT_EQ(zero.exit_code, 0) << zero.err;
    EXPECT_TRUE(fs::is_directory(root / "zero") && fs::is_empty(root / "zero"));
    std::ofstream(root / "plain-file") << "x";
    for (const char* out : {"frames", "show.webm"}) {
        ProcessResult bad = render(built, root / "plain-file" / out, {"--duration", "1"});
        EXPECT_EQ(bad.exit_code, 1);
        EXPECT_NE(bad.err.find("cannot write"), std::string::npos) << bad.err;
        EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1) << bad.err;
    }
    fs::remove_all(root);
}

// The render writes frame i while it draws frame i + 1: the files must come
// out as written one by one, though the caller refills its buffer at once; a
// write that fails is reported by the next call, with its reason.
TEST(OfflineRender, OverlappedWritesMatchWritesOneByOne)
{
    fs::create_directories(root);
    const int w = 97, h = 61;
    std::vector<unsigned char> pixels;
    PngWriter writer;
    std::string error;
    for (int k = 0; k < 4; ++k) {
        pixels.resize(static_cast<size_t>(w) * h * 3);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<unsigned char>(i * (k + 1) + i / 311);
        ASSERT_TRUE(png_write_rgb((root / ("direct-" + frame(k))).string(), pixels.data(), w, h, true, &error));
        ASSERT_TRUE(writer.start((root / frame(k)).string(), &pixels, w, h, true, &error)) << error;
        std::fill(pixels.begin(), pixels.end(), 0);
    }
    ASSERT_TRUE(writer.finish(&error)) << error;
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(read_file(root / frame(k)), read_file(root / ("direct-" + frame(k)))) << k;
    pixels.assign(static_cast<size_t>(w) * h * 3, 7);
    ASSERT_TRUE(writer.start((root / "missing" / "frame.png").string(), &pixels, w, h, true, &error));
    pixels.assign(static_cast<size_t>(w) * h * 3, 7);
    EXPECT_FALSE(writer.start((root / "next.png").string(), &pixels, w, h, true, &error));
    EXPECT_FALSE(error.empty() || fs::exists(root / "next.png"));
    fs::remove_all(root);
}

}  // namespace
