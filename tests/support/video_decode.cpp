#include "tests/support/video_decode.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

// Whether the pipeline has come to pause (or settled after a seek) within 30 s.
static bool settled(GstElement* pipeline)
{
    return gst_element_get_state(pipeline, nullptr, nullptr, 30 * GST_SECOND) == GST_STATE_CHANGE_SUCCESS;
}

DecodedVideo decode_video(const std::string& path, bool with_audio)
{
    gst_init(nullptr, nullptr);
    std::string d = "filesrc location=\"" + path + "\" ! matroskademux name=d d.video_0 ! queue ! vp8dec ! videoconvert"
                    " ! video/x-raw,format=RGB ! appsink name=v sync=false wait-on-eos=false";
    if (with_audio)
        d += " d.audio_0 ! queue ! opusdec ! audioconvert ! audio/x-raw,format=F32LE,channels=2,rate=48000"
             " ! appsink name=a sync=false wait-on-eos=false";
    GstElement* pipeline = gst_parse_launch(d.c_str(), nullptr);
    GstBin* bin = GST_BIN(pipeline);
    DecodedVideo out;
    gint64 ns = -1;
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE && settled(pipeline) &&
        gst_element_query_duration(pipeline, GST_FORMAT_TIME, &ns) && ns >= 0)
        out.duration = static_cast<double>(ns) / 1e9;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstMessage* end = gst_bus_timed_pop_filtered(GST_ELEMENT_BUS(pipeline), 30 * GST_SECOND,
                                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    out.clean_end = end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
    GstElement* demux = gst_bin_get_by_name(bin, "d");
    out.tracks = static_cast<int>(demux->numsrcpads);
    gst_object_unref(demux);
    for (const char* name : {"v", "a"}) {
        GstElement* sink = gst_bin_get_by_name(bin, name);
        while (GstSample* s = sink ? gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0) : nullptr) {
            GstBuffer* b = gst_sample_get_buffer(s);
            GstVideoInfo info;
            if (*name == 'a')
                out.audio_seconds += static_cast<double>(gst_buffer_get_size(b)) / 8.0 / 48000.0;
            else if (gst_video_info_from_caps(&info, gst_sample_get_caps(s))) {
                out.times.push_back(static_cast<double>(GST_BUFFER_PTS(b)) / 1e9);
                out.video_end = static_cast<double>(GST_BUFFER_PTS(b) + GST_BUFFER_DURATION(b)) / 1e9;
                GstVideoFrame f;
                gst_video_frame_map(&f, &info, b, GST_MAP_READ);
                out.width = info.width, out.height = info.height;
                out.last.clear();
                for (int y = 0; y < out.height; ++y) {
                    auto* row = static_cast<unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&f, 0)) +
                                y * GST_VIDEO_FRAME_PLANE_STRIDE(&f, 0);
                    out.last.insert(out.last.end(), row, row + out.width * 3);
                }
                gst_video_frame_unmap(&f);
                if (out.frames++ == 0)
                    out.first = out.last;
            }
            gst_sample_unref(s);
        }
        gst_clear_object(&sink);
    }
    gst_clear_message(&end);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return out;
}

double frame_after_seek(const std::string& path, double seconds)
{
    gst_init(nullptr, nullptr);
    const std::string d = "filesrc location=\"" + path + "\" ! matroskademux ! vp8dec ! appsink name=v sync=false";
    GstElement* pipeline = gst_parse_launch(d.c_str(), nullptr);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "v");
    double at = -1.0;
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    GstSample* s = nullptr;
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE && settled(pipeline) &&
        gst_element_seek_simple(pipeline, GST_FORMAT_TIME, flags, static_cast<gint64>(seconds * 1e9)) && settled(pipeline) &&
        (s = gst_app_sink_pull_preroll(GST_APP_SINK(sink)))) {
        at = static_cast<double>(GST_BUFFER_PTS(gst_sample_get_buffer(s))) / 1e9;
        gst_sample_unref(s);
    }
    gst_object_unref(sink);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return at;
}
