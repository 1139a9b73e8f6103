#include "platform/media_pipeline.h"

#include <mutex>

bool media_ready(std::string* why)
{
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        GError* err = nullptr;
        if (!gst_init_check(nullptr, nullptr, &err))
            failure = std::string("GStreamer cannot start: ") + (err ? err->message : "unknown error");
        g_clear_error(&err);
    });
    if (!failure.empty())
        *why = failure;
    return failure.empty();
}

namespace {

// Builds the pipeline, its glowcam_src given the property first. False, with
// the reason and nothing left open, when it cannot be built.
bool build(MediaPipeline* p, const std::string& description, std::string* why, const char* property,
           const std::string& value)
{
    media_pipeline_close(p);
    if (!media_ready(why))
        return false;
    GError* err = nullptr;
    p->pipeline = gst_parse_launch(description.c_str(), &err);
    if (!p->pipeline || err) {
        *why = std::string("cannot build the pipeline: ") + (err ? err->message : "unknown error");
        g_clear_error(&err);
        media_pipeline_close(p);
        return false;
    }
    p->bus = gst_element_get_bus(p->pipeline);
    if (property) {
        GstElement* src = gst_bin_get_by_name(GST_BIN(p->pipeline), "glowcam_src");
        if (!src) {
            *why = "the pipeline has no glowcam_src";
            media_pipeline_close(p);
            return false;
        }
        g_object_set(src, property, value.c_str(), nullptr);
        gst_object_unref(src);
    }
    return true;
}

// Sets the state; false, with the reason and nothing left open, when refused.
bool enter(MediaPipeline* p, GstState state, std::string* why)
{
    if (gst_element_set_state(p->pipeline, state) != GST_STATE_CHANGE_FAILURE)
        return true;
    *why = media_pipeline_problem(p);
    if (why->empty())
        *why = "the pipeline does not start";
    media_pipeline_close(p);
    return false;
}

}  // namespace

bool media_pipeline_open(MediaPipeline* p, const std::string& description, std::string* why,
                         const char* property, const std::string& value)
{
    if (!build(p, description, why, property, value))
        return false;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(p->pipeline), "glowcam_sink");
    if (!sink) {
        *why = "the pipeline has no glowcam_sink";
        media_pipeline_close(p);
        return false;
    }
    p->sink = GST_APP_SINK(sink);
    return enter(p, GST_STATE_PLAYING, why);
}

GstCaps* media_source_caps(const std::string& head, std::string* why, const char* property,
                           const std::string& value)
{
    MediaPipeline p;
    if (!build(&p, head + " ! fakesink name=glowcam_probe", why, property, value) ||
        !enter(&p, GST_STATE_READY, why))
        return nullptr;
    GstElement* probe = gst_bin_get_by_name(GST_BIN(p.pipeline), "glowcam_probe");
    GstPad* pad = gst_element_get_static_pad(probe, "sink");
    GstCaps* caps = gst_pad_peer_query_caps(pad, nullptr);
    gst_object_unref(pad);
    gst_object_unref(probe);
    media_pipeline_close(&p);
    return caps;
}

GstSample* media_pipeline_first_sample(MediaPipeline* p, int seconds, const char* noun, std::string* why)
{
    // Errors may also come later, while the source is negotiated.
    const gint64 deadline = g_get_monotonic_time() + gint64{seconds} * G_USEC_PER_SEC;
    for (;;) {
        *why = media_pipeline_problem(p);
        if (!why->empty())
            return nullptr;
        if (GstSample* s = gst_app_sink_try_pull_sample(p->sink, 20 * GST_MSECOND))
            return s;
        if (gst_app_sink_is_eos(p->sink)) {
            *why = std::string("the stream ended before the first ") + noun;
            return nullptr;
        }
        if (g_get_monotonic_time() >= deadline) {
            *why = std::string("no ") + noun + " within " + std::to_string(seconds) + " s";
            return nullptr;
        }
    }
}

std::string media_pipeline_problem(MediaPipeline* p)
{
    if (!p->bus)
        return {};
    GstMessage* msg =
        gst_bus_pop_filtered(p->bus, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    if (!msg)
        return {};
    std::string why = "the stream ended";
    if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
        GError* err = nullptr;
        gst_message_parse_error(msg, &err, nullptr);
        why = err ? err->message : "unknown error";
        g_clear_error(&err);
    }
    gst_message_unref(msg);
    return why;
}

void media_pipeline_close(MediaPipeline* p)
{
    if (p->pipeline)
        gst_element_set_state(p->pipeline, GST_STATE_NULL);  // stops the streaming threads
    if (p->bus)
        gst_object_unref(p->bus);
    if (p->sink)
        gst_object_unref(p->sink);
    if (p->pipeline)
        gst_object_unref(p->pipeline);
    *p = MediaPipeline{};
}
