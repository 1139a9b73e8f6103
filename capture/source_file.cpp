#include "capture/source.h"
#include "capture/video_sample.h"
#include "platform/media_pipeline.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// Any file GStreamer can decode. Only the video is linked: a sound track's
// pad stays unlinked, which the demuxer tolerates while the video flows.
// (Restricting decodebin to video caps refuses some decoders that settle
// their caps late.) Every frame is kept, no dropping, so the frame for a show
// time is always the same one.
const char* const pipeline_description =
    "filesrc name=glowcam_src ! decodebin"
    " ! videoconvert ! video/x-raw,format=I420,colorimetry=bt601"
    " ! appsink name=glowcam_sink max-buffers=4 drop=false sync=false";

// How long a decoder may take for one frame before the file counts as ended.
constexpr int frame_timeout_s = 5;

struct FileVideo {
    MediaPipeline media;
    std::string path;
    VideoSample picture;              // the frame for the last show time asked
    gint64 picture_at = -1;           // its time in the file, from the first frame; -1: none yet
    GstSample* next = nullptr;        // the frame after it, decoded ahead
    GstClockTime first_pts = GST_CLOCK_TIME_NONE;
    gint64 last_step = 0;             // the time between the last two frames
    gint64 length = -1;               // the end of the last frame, once the file has ended
    bool broken = false;              // an error, not the end: the pipeline is built afresh
};

FileVideo file;

void file_reset()
{
    video_sample_set(&file.picture, nullptr);
    if (file.next)
        gst_sample_unref(file.next);
    media_pipeline_close(&file.media);
    file = FileVideo{};
}

// The next decoded frame; null at the end of the file, a cut or an error.
GstSample* pull_next()
{
    if (!file.media.sink)
        return nullptr;  // a new pipeline could not be made
    const gint64 deadline = g_get_monotonic_time() + gint64{frame_timeout_s} * G_USEC_PER_SEC;
    for (;;) {
        if (GstSample* s = gst_app_sink_try_pull_sample(file.media.sink, 20 * GST_MSECOND))
            return s;
        if (gst_app_sink_is_eos(file.media.sink))
            return nullptr;
        // Only errors: the end of the file is the sink's to tell, and the bus
        // may still hold the end message of an earlier pass.
        GstMessage* error = gst_bus_pop_filtered(file.media.bus, GST_MESSAGE_ERROR);
        if (error)
            gst_message_unref(error);
        if (error || g_get_monotonic_time() >= deadline) {
            file.broken = true;
            return nullptr;
        }
    }
}

// A frame's time in the file, counted from the first frame.
gint64 time_of(GstSample* s)
{
    GstBuffer* b = gst_sample_get_buffer(s);
    GstClockTime pts = b ? GST_BUFFER_PTS(b) : GST_CLOCK_TIME_NONE;
    if (!GST_CLOCK_TIME_IS_VALID(pts))
        return -1;
    if (!GST_CLOCK_TIME_IS_VALID(file.first_pts))
        file.first_pts = pts;
    return static_cast<gint64>(pts) - static_cast<gint64>(file.first_pts);
}

// Back to the first frame: a seek after a clean end, a new pipeline after an
// error or where the seek is refused (a cut file).
bool rewind_file(std::string* why)
{
    if (file.next)
        gst_sample_unref(file.next);
    file.next = nullptr;
    file.picture_at = -1;
    const bool seeked = !file.broken && file.media.pipeline &&
                        gst_element_seek_simple(file.media.pipeline, GST_FORMAT_TIME,
                                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), 0);
    file.broken = false;
    if (seeked) {
        // The end messages of the passes so far are done with.
        while (GstMessage* m = gst_bus_pop_filtered(file.media.bus, GST_MESSAGE_EOS))
            gst_message_unref(m);
    }
    return seeked || media_pipeline_open(&file.media, pipeline_description, why, "location", file.path);
}

// Moves the picture on to the last frame at or before `at` (file time), or
// to the first frame when none is. False when the file gives no frame at all.
bool advance_to(gint64 at)
{
    for (;;) {
        if (!file.next)
            file.next = pull_next();
        if (!file.next) {
            if (file.picture_at < 0)
                return false;
            // The end, or a cut: the file is as long as the frames it gave.
            file.length = file.picture_at + (file.last_step > 0 ? file.last_step : GST_SECOND / 30);
            return true;
        }
        const gint64 next_at = time_of(file.next);
        if (file.picture_at >= 0 && (next_at < 0 || next_at > at))
            return true;
        if (file.picture_at >= 0 && next_at > file.picture_at)
            file.last_step = next_at - file.picture_at;
        video_sample_set(&file.picture, file.next);
        file.picture_at = next_at < 0 ? 0 : next_at;
        file.next = nullptr;
    }
}

bool file_open(const std::string& path, int* width, int* height)
{
    file_reset();
    file.path = path;
    std::string why;
    GstSample* first = nullptr;
    if (media_pipeline_open(&file.media, pipeline_description, &why, "location", path))
        first = media_pipeline_first_sample(&file.media, frame_timeout_s, "video frame", &why);
    if (!first || !video_sample_size(first, width, height)) {
        std::fprintf(stderr, "capture: %s: cannot be played as video: %s\n", path.c_str(),
                     first ? "its frames are not I420" : why.c_str());
        if (first)
            gst_sample_unref(first);
        file_reset();
        return false;
    }
    file.next = first;
    return true;
}

bool file_frame(double show_ms, CaptureFrame* out)
{
    gint64 at = static_cast<gint64>(std::floor(std::max(0.0, show_ms) * 1e6));
    std::string why;
    if (file.length > 0)
        at %= file.length;
    if (at < file.picture_at && !rewind_file(&why))
        return false;
    if (!advance_to(at))
        return false;
    if (file.length > 0 && at >= file.length) {
        // The end was found on the way: the time comes round again.
        at %= file.length;
        if (!rewind_file(&why) || !advance_to(at))
            return false;
    }
    return video_sample_frame(&file.picture, out);
}

void file_close() { file_reset(); }

}  // namespace

const CaptureSource file_source = {"video file", file_open, file_frame, file_close, true};
