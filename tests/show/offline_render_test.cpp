// --render DIR as a user runs it: the real program, no display, frames
// written as PNGs that can be read back.

#include "render/png_write.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
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

    // Mode 0 (a box field in fog) and mode 1 (a kaleidoscope) differ.
    EXPECT_NE(slurp(root / "a" / "frame-000000.png"), slurp(root / "a" / "frame-000004.png"));
}

// The render writes frame i while it draws frame i + 1: the files must come
// out as written one by one, though the caller refills its buffer at once.
TEST_F(OfflineRender, OverlappedWritesMatchWritesOneByOne)
{
    const int w = 97, h = 61;
    std::vector<unsigned char> pixels;
    PngWriter writer;
    std::string error;
    for (int k = 0; k < 4; ++k) {
        pixels.resize(static_cast<size_t>(w) * h * 3);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<unsigned char>(i * (k + 1) + i / 311);
        const std::string name = "frame-" + std::to_string(k) + ".png";
        ASSERT_TRUE(png_write_rgb((root / ("direct-" + name)).string(), pixels.data(), w, h, true, &error))
            << error;
        ASSERT_TRUE(writer.start((root / name).string(), &pixels, w, h, true, &error)) << error;
        std::fill(pixels.begin(), pixels.end(), 0);
    }
    ASSERT_TRUE(writer.finish(&error)) << error;
    for (int k = 0; k < 4; ++k) {
        const std::string name = "frame-" + std::to_string(k) + ".png";
        EXPECT_EQ(slurp(root / name), slurp(root / ("direct-" + name))) << name;
    }

    // A write that fails is reported by the next call, with its reason.
    pixels.assign(static_cast<size_t>(w) * h * 3, 7);
    ASSERT_TRUE(writer.start((root / "missing" / "frame.png").string(), &pixels, w, h, true, &error));
    pixels.assign(static_cast<size_t>(w) * h * 3, 7);
    EXPECT_FALSE(writer.start((root / "next.png").string(), &pixels, w, h, true, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(root / "next.png"));
}

TEST_F(OfflineRender, FolderThatCannotBeMadeFailsWithOneLineAndZeroDurationWritesNothing)
{
    ProcessResult zero = render((root / "out").string(), {"--duration", "0"});
    EXPECT_EQ(zero.exit_code, 0) << zero.err;
    EXPECT_TRUE(fs::is_directory(root / "out") && fs::is_empty(root / "out"));
    std::ofstream(root / "plain-file") << "x";
    ProcessResult r = render((root / "plain-file" / "frames").string(), {"--duration", "1"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("cannot write frames"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

// The README's first command on a machine without a display: instead of
// only stopping, the show renders a 10 s preview and says where.
TEST_F(OfflineRender, NoDisplayRendersAPreview)
{
    fs::path preview = fs::current_path() / "glowcam-preview";
    fs::remove_all(preview);
    ProcessOptions options;
    options.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
    options.timeout_s = 45.0;
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
