#pragma once

#include "platform/media_pipeline.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Video files for the capture tests: small YUV4MPEG2 files, and WebM made
// with GStreamer's encoders.
struct Y4mColour {
    std::uint8_t y, u, v;
};

inline std::string y4m_test_path(const std::string& name)
{
    return ::testing::TempDir() + "glowcam_capture_" + name + ".y4m";
}

// Frame n has the chroma of colours[n] and the luma luma(n, row, column), by
// default colours[n].y under a first row of `top` (the top of the picture
// told from the bottom). The last frame can be cut short by some bytes.
inline bool write_y4m(const std::string& path, const std::string& header, int w, int h,
                      const std::vector<Y4mColour>& colours, Y4mColour top = {235, 128, 128},
                      std::size_t cut_last_frame_by = 0,
                      std::function<std::uint8_t(int n, int row, int column)> luma = nullptr)
{
    if (!luma)
        luma = [&](int n, int r, int) { return r == 0 ? top.y : colours[n].y; };
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "%s\n", header.c_str());
    const int chroma = (w + 1) / 2 * ((h + 1) / 2);
    for (std::size_t n = 0; n < colours.size(); ++n) {
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(w) * h, 0);
        for (int i = 0; i < w * h; ++i)
            frame[i] = luma(static_cast<int>(n), i / w, i % w);
        frame.insert(frame.end(), chroma, colours[n].u);
        frame.insert(frame.end(), chroma, colours[n].v);
        const std::size_t cut = n + 1 == colours.size() ? cut_last_frame_by : 0;
        std::fputs("FRAME\n", f);
        std::fwrite(frame.data(), 1, frame.size() - std::min(cut, frame.size()), f);
    }
    return std::fclose(f) == 0;
}

// Video files made with GStreamer's encoders: 10 frames at 10 fps of a moving
// ball, 160 x 90, with a sound track that the source must leave alone.
inline std::string make_clip(const std::string& name)
{
    const std::string path = ::testing::TempDir() + "glowcam_capture_" + name;
    std::string why;
    EXPECT_TRUE(media_ready(&why)) << why;
    GstElement* p = gst_parse_launch(("webmmux name=mux ! filesink location=" + path +
                                      " videotestsrc num-buffers=10 pattern=ball ! video/x-raw,width=160,height=90,"
                                      "framerate=10/1 ! vp8enc deadline=1 ! mux. audiotestsrc num-buffers=10 ! "
                                      "audioconvert ! vorbisenc ! mux.").c_str(),
                                     nullptr);
    gst_element_set_state(p, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(p);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND,
                                               static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    EXPECT_TRUE(m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS);
    gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
    return path;
}

