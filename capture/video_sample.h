#pragma once

#include "capture/source.h"

#include <gst/gst.h>
#include <gst/video/video.h>

// A decoded I420 sample from a GStreamer source, held as the picture shown
// now and mapped once for reading.
struct VideoSample {
    GstSample* sample = nullptr;
    GstVideoFrame mapped{};
    bool is_mapped = false;
};

// Takes over `sample` (may be null) in place of the one held.
void video_sample_set(VideoSample* v, GstSample* sample);

// The held picture as planes; false when there is none or it is not I420.
bool video_sample_frame(VideoSample* v, CaptureFrame* out);

// The size of an I420 sample; false for anything else.
bool video_sample_size(GstSample* sample, int* width, int* height);
