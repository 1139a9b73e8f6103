#include "render/gst_frames.h"

#include <gst/video/video.h>

#include <cstring>

bool gst_frames_ready(std::string* error)
{
    GError* err = nullptr;
    if (gst_init_check(nullptr, nullptr, &err))
        return true;
    *error = std::string("GStreamer cannot start: ") + (err ? err->message : "unknown error");
    g_clear_error(&err);
    return false;
}

GstBuffer* gst_frames_from_gl(const unsigned char* rgb, int width, int height)
{
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_RGB, width, height);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const size_t row = static_cast<size_t>(width) * 3;
    const size_t stride = static_cast<size_t>(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0));
    for (int y = 0; y < height; ++y)
        std::memcpy(map.data + static_cast<size_t>(y) * stride,
                    rgb + static_cast<size_t>(height - 1 - y) * row, row);
    gst_buffer_unmap(buffer, &map);
    return buffer;
}

GstCaps* gst_frames_caps(int width, int height, double fps)
{
    int num = 0, den = 1;
    if (fps > 0.0)
        gst_util_double_to_fraction(fps, &num, &den);
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "RGB", "width", G_TYPE_INT,
                               width, "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION,
                               num, den, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
}
