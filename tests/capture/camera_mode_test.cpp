// Which of a camera's offers the show asks for, and how its caps are read.

#include "capture/camera_mode.h"

#include <gtest/gtest.h>

namespace {

CameraMode raw(int w, int h, int num, int den = 1) { return {w, h, false, num, den}; }
CameraMode jpeg(int w, int h, int num, int den = 1) { return {w, h, true, num, den}; }

}  // namespace

// The smallest offer at 24 frames a second or more that covers the window cut
// to its shape, else the largest; raw before JPEG at the same size.
TEST(CameraMode, TheOfferThatFillsTheWindowAtFullRate)
{
    // A webcam of today: its large sizes only as JPEG at full rate.
    const std::vector<CameraMode> webcam = {raw(640, 480, 30),   raw(1280, 720, 10),  raw(1920, 1080, 5),
                                            jpeg(640, 480, 30),  jpeg(1280, 720, 30), jpeg(1920, 1080, 30)};
    // An old one that never reaches 24: its best rate counts as full.
    const std::vector<CameraMode> old = {raw(320, 240, 15), raw(1280, 720, 15, 2), raw(640, 480, 15)};
    // JPEG first in the list, then raw of the same size and rate; and raw
    // beside a faster JPEG of its size.
    const std::vector<CameraMode> same = {jpeg(1280, 720, 30), raw(1280, 720, 30), jpeg(640, 480, 60), raw(640, 480, 30)};
    // A 4:3 sensor beside 16:9 JPEG; rates the camera does not say.
    const std::vector<CameraMode> shapes = {jpeg(1920, 1080, 30), raw(1280, 960, 24), raw(1280, 1080, 24, 2)};
    const std::vector<CameraMode> unknown = {raw(640, 480, 0), raw(1280, 720, 0), raw(800, 600, 0)};
    // For the window; then, where `by_size`, asked for by size: its best
    // rate, raw before JPEG at the same rate.
    const struct { const std::vector<CameraMode>* offers; int w, h; const char* want; bool by_size = false; } cases[] = {
        {&webcam, 640, 480, "640x480 raw at 30/1"}, {&webcam, 320, 240, "640x480 raw at 30/1"},  // as before this choice
        {&webcam, 1024, 768, "1920x1080 JPEG at 30/1"},  // 1280x720 is not tall enough
        {&webcam, 1280, 720, "1280x720 JPEG at 30/1"},   // raw at 10 is too slow
        {&webcam, 1920, 1080, "1920x1080 JPEG at 30/1"}, {&webcam, 1281, 480, "1920x1080 JPEG at 30/1"},
        {&webcam, 3840, 2160, "1920x1080 JPEG at 30/1"},  // none covers: the largest at full rate
        {&old, 1024, 768, "640x480 raw at 15/1"},   {&old, 400, 300, "640x480 raw at 15/1"},
        {&old, 320, 240, "320x240 raw at 15/1"},    {&same, 1280, 720, "1280x720 raw at 30/1"},
        {&same, 640, 480, "640x480 raw at 30/1"},   {&shapes, 1280, 1000, "1920x1080 JPEG at 30/1"},
        {&shapes, 1280, 720, "1280x960 raw at 24/1"},  // cut to 1280x720 it covers, at 24 exactly
        {&unknown, 1024, 768, "1280x720 raw"},     {&unknown, 700, 500, "800x600 raw"},
        {&webcam, 1280, 720, "1280x720 JPEG at 30/1", true}, {&webcam, 640, 480, "640x480 raw at 30/1", true},
        {&same, 1280, 720, "1280x720 raw at 30/1", true},    {&same, 640, 480, "640x480 JPEG at 60/1", true},
        {&webcam, 800, 600, "none", true},                   {&webcam, 640, 720, "none", true}};
    for (const auto& c : cases) {
        const int i = c.by_size ? camera_mode_find(*c.offers, c.w, c.h) : camera_mode_choose(*c.offers, c.w, c.h);
        EXPECT_EQ(i == -1 ? "none" : camera_mode_text(c.offers->at(static_cast<std::size_t>(i))), c.want) << c.w << "x" << c.h;
    }
    EXPECT_EQ(camera_mode_choose({}, 640, 480), -1);
}

// Sizes of raw and JPEG video from any structure of the caps, at the best
// rate each allows; one offer per size and kind; ranges and other kinds left out.
TEST(CameraMode, OffersAreReadFromTheCaps)
{
    gst_init(nullptr, nullptr);
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING));
    GstCaps* caps = gst_caps_from_string(
        "video/x-raw,format=YUY2,width=640,height=480,framerate={ 30/1, 15/1 };"
        "video/x-raw,format=NV12,width=640,height=480,framerate=60/1;"
        "video/x-raw,format=I420,width=640,height=480,framerate=25/1;"
        "image/jpeg,width=1280,height=720,framerate=[ 1/1, 30/1 ];"
        "video/x-raw,format=GRAY8,width=[ 1, 100 ],height=[ 1, 100 ],framerate=30/1;"
        "video/x-h264,width=1920,height=1080,framerate=30/1;"
        "image/jpeg,width=1920,height=1080;"
        "image/jpeg,width=160,height=120,framerate={ 15/1, 5/1, 0/1 };"
        "video/x-raw,format=GRAY8,width=80,height=60,framerate=1/1");
    const std::vector<CameraMode> modes = camera_modes_of(caps);
    gst_caps_unref(caps);
    EXPECT_EQ(camera_modes_text(modes),
              "80x60 raw at 1/1, 640x480 raw at 60/1, 160x120 JPEG at 15/1, 1280x720 JPEG at 30/1, 1920x1080 JPEG");
    ASSERT_EQ(modes.size(), 5u);
    EXPECT_EQ(camera_mode_caps(modes[0]), "video/x-raw,width=640,height=480,framerate=60/1");
    EXPECT_EQ(camera_mode_caps(modes[2]), "image/jpeg,width=1920,height=1080");
    EXPECT_TRUE(camera_modes_of(nullptr).empty());
}
