#include "capture/video_sample.h"

namespace {

bool i420_info(GstSample* sample, GstVideoInfo* info)
{
    GstCaps* caps = sample ? gst_sample_get_caps(sample) : nullptr;
    return caps && gst_video_info_from_caps(info, caps) && GST_VIDEO_INFO_FORMAT(info) == GST_VIDEO_FORMAT_I420;
}

}  // namespace

void video_sample_set(VideoSample* v, GstSample* sample)
{
    if (v->is_mapped)
        gst_video_frame_unmap(&v->mapped);
    v->is_mapped = false;
    if (v->sample)
        gst_sample_unref(v->sample);
    v->sample = sample;
}

bool video_sample_frame(VideoSample* v, CaptureFrame* out)
{
    if (!v->is_mapped) {
        GstVideoInfo info;
        GstBuffer* buffer = v->sample ? gst_sample_get_buffer(v->sample) : nullptr;
        if (!buffer || !i420_info(v->sample, &info) || !gst_video_frame_map(&v->mapped, &info, buffer, GST_MAP_READ))
            return false;
        v->is_mapped = true;
    }
    // The mapping checked that the buffer holds every plane at its stride.
    const GstVideoFrame& f = v->mapped;
    out->width = GST_VIDEO_FRAME_WIDTH(&f);
    out->height = GST_VIDEO_FRAME_HEIGHT(&f);
    for (int p = 0; p < 3; ++p) {
        int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&f, p);
        int rows = GST_VIDEO_FRAME_COMP_HEIGHT(&f, p);
        out->planes[p] = static_cast<const unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&f, p));
        out->strides[p] = stride;
        out->sizes[p] = rows > 0 && stride > 0
                            ? static_cast<std::size_t>(stride) * (rows - 1) + GST_VIDEO_FRAME_COMP_WIDTH(&f, p)
                            : 0;
    }
    return true;
}

bool video_sample_size(GstSample* sample, int* width, int* height)
{
    GstVideoInfo info;
    if (!i420_info(sample, &info))
        return false;
    *width = GST_VIDEO_INFO_WIDTH(&info);
    *height = GST_VIDEO_INFO_HEIGHT(&info);
    return *width > 0 && *height > 0;
}
