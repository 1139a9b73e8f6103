#include "tests/support/frames.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

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

int nearest_mode(const std::vector<Pixels>& played, const std::vector<std::vector<Pixels>>& held, size_t k)
{
    int nearest = 0;
    for (int m = 1; m < static_cast<int>(held.size()); ++m)
        if (mean_difference(played.at(k), held[m].at(k)) < mean_difference(played.at(k), held[nearest].at(k)))
            nearest = m;
    return nearest;
}
