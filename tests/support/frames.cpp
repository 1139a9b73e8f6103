#include "tests/support/frames.h"

#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

Pixels read_png(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Pixels rgb;
    if (png_image_begin_read_from_file(&image, path.c_str())) {
        image.format = PNG_FORMAT_RGB;
        rgb.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
            rgb.clear();
    }
    return rgb;
}

std::vector<Pixels> read_rendered_frames(const std::string& dir)
{
    std::vector<Pixels> frames;
    char name[32];
    for (int i = 0; std::snprintf(name, sizeof name, "/frame-%06d.png", i), std::filesystem::exists(dir + name); ++i)
        frames.push_back(read_png(dir + name));
    return frames;
}

double mean_difference(const Pixels& a, const Pixels& b)
{
    if (a.size() != b.size() || a.empty())
        return 1e9;
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += std::abs(a[i] - b[i]);
    return sum / static_cast<double>(a.size());
}

std::vector<Pixels> render_with_cues(const std::string& dir, const std::string& cues, const std::vector<std::string>& options)
{
    std::ofstream(dir + ".cues") << cues;
    std::vector<std::string> argv = {glowcam_exe(), "--render", dir, "--size", "96x64", "--camera", "test", "--cues",
                                     dir + ".cues"};
    argv.insert(argv.end(), options.begin(), options.end());
    const ProcessResult r = run_process(argv, {.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"}, .timeout_s = 50.0});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return read_rendered_frames(dir);
}

std::vector<std::vector<Pixels>> render_held_modes(const std::string& dir, const std::string& rest,
                                                   const std::vector<std::string>& options)
{
    std::vector<std::vector<Pixels>> held;
    for (const std::string m : {"0", "1", "2"})
        held.push_back(render_with_cues(dir + m, "0 mode " + m + "\n0 hold on\n" + rest, options));
    return held;
}

int nearest_mode(const std::vector<Pixels>& played, const std::vector<std::vector<Pixels>>& held, size_t k)
{
    int nearest = 0;
    for (int m = 1; m < static_cast<int>(held.size()); ++m)
        if (mean_difference(played.at(k), held[m].at(k)) < mean_difference(played.at(k), held[nearest].at(k)))
            nearest = m;
    return nearest;
}
