#pragma once

#include "capture/yuv.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <vector>

// Video files for the capture tests, and the pixel formula the converters follow.

// The luma of frame n at (column x, row r): every pixel of a frame differs
// from its neighbours and from the next frame's.
inline std::uint8_t y4m_luma(int n, int r, int x)
{
    return static_cast<std::uint8_t>(16 + (x * 7 + r * 3 + n * 50) % 220);
}

struct Chroma { std::uint8_t u, v; };

// A temporary YUV4MPEG2 file of frames of y4m_luma and the chroma of
// chroma[n], the last cut short by `cut` bytes. Returns the path.
inline std::string write_y4m(const std::string& name, const std::string& header, int w, int h,
                             const std::vector<Chroma>& chroma, std::size_t cut = 0)
{
    const std::string path = ::testing::TempDir() + "glowcam_capture_" + name + ".y4m";
    const std::size_t samples = static_cast<std::size_t>((w + 1) / 2 * ((h + 1) / 2));
    std::string out = header + "\n";
    for (std::size_t n = 0; n < chroma.size(); ++n) {
        out += "FRAME\n";
        for (int i = 0; i < w * h; ++i)
            out += static_cast<char>(y4m_luma(static_cast<int>(n), i / w, i % w));
        out.append(samples, static_cast<char>(chroma[n].u)).append(samples, static_cast<char>(chroma[n].v));
    }
    std::ofstream(path, std::ios::binary) << out.substr(0, out.size() - (chroma.empty() ? 0 : cut));
    return path;
}

// A WebM file made with GStreamer's encoders: 10 frames at 10 fps of a
// moving ball, 160 x 90, with a sound track that a video source must leave alone.
inline std::string make_clip(const std::string& name)
{
    const std::string path = ::testing::TempDir() + "glowcam_capture_" + name;
    gst_init(nullptr, nullptr);
    GstElement* p = gst_parse_launch(("webmmux name=mux ! filesink location=" + path +
                                      " videotestsrc num-buffers=10 pattern=ball ! video/x-raw,width=160,height=90,"
                                      "framerate=10/1 ! vp8enc deadline=1 ! mux. audiotestsrc num-buffers=10 ! "
                                      "audioconvert ! vorbisenc ! mux.").c_str(), nullptr);
    gst_element_set_state(p, GST_STATE_PLAYING);
    GstMessage* m = gst_bus_timed_pop_filtered(GST_ELEMENT_BUS(p), 30 * GST_SECOND,
                                               static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    EXPECT_TRUE(m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS);
    gst_clear_message(&m);
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
    return path;
}

inline std::array<int, 3> rgb_of(int y, int u, int v)
{
    std::array<int, 3> c{};
    yuv_to_rgb(y, u, v, &c[0], &c[1], &c[2]);
    return c;
}
