#include "render/video_file.h"

#include "render/gst_frames.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

const int opus_rate = 48000;
// A push that finds no room for this long means the pipeline has stalled.
const auto stall_limit = std::chrono::seconds(60);

bool ends_with(const std::string& s, const char* suffix)
{
    const size_t n = std::char_traits<char>::length(suffix);
    return s.size() > n && s.compare(s.size() - n, n, suffix) == 0;
}

}  // namespace

struct VideoFile {
    GstElement* pipeline = nullptr;
    GstAppSrc* video = nullptr;
    GstAppSrc* audio = nullptr;  // null without a music track
    bool live = false;
    int width = 0;
    int height = 0;
    double fps = 30.0;
    int audio_rate = 0;
    guint64 video_room = 0;  // bytes a source may hold before a push waits or drops
    guint64 audio_room = 0;
    long long audio_position = 0;  // music frames pushed or dropped
    long long next_tick = 0;  // the first tick of the grid not pushed yet
    long long dropped_frames = 0;
    long long dropped_audio = 0;

    // Written by GStreamer's threads: the bus and the sources' need-data.
    std::mutex lock;
    std::condition_variable changed;
    bool failed = false;
    bool finished = false;
    std::string error;
};

namespace {

GstBusSyncReply on_bus_message(GstBus*, GstMessage* message, gpointer data)
{
    auto* file = static_cast<VideoFile*>(data);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* err = nullptr;
        gst_message_parse_error(message, &err, nullptr);
        std::lock_guard<std::mutex> hold(file->lock);
        if (!file->failed)
            file->error = err ? err->message : "unknown error";
        file->failed = true;
        g_clear_error(&err);
        file->changed.notify_all();
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        std::lock_guard<std::mutex> hold(file->lock);
        file->finished = true;
        file->changed.notify_all();
    }
    return GST_BUS_DROP;
}

void on_need_data(GstAppSrc*, guint, gpointer data)
{
    auto* file = static_cast<VideoFile*>(data);
    std::lock_guard<std::mutex> hold(file->lock);
    file->changed.notify_all();
}

// Whether `src` has room for another buffer. A render waits for it; a live
// recording never does.
bool has_room(VideoFile* file, GstAppSrc* src, guint64 room)
{
    auto ready = [&] { return file->failed || gst_app_src_get_current_level_bytes(src) < room; };
    std::unique_lock<std::mutex> hold(file->lock);
    if (!file->live && !file->changed.wait_for(hold, stall_limit, ready)) {
        file->failed = true;
        file->error = "the encoder stopped taking frames";
    }
    return !file->failed && gst_app_src_get_current_level_bytes(src) < room;
}

bool has_failed(VideoFile* file)
{
    std::lock_guard<std::mutex> hold(file->lock);
    return file->failed;
}

void configure_source(VideoFile* file, GstAppSrc* src, GstCaps* caps, guint64 room)
{
    // need-data comes when a source has drained to half of its room.
    g_object_set(src, "format", GST_FORMAT_TIME, "block", FALSE, "max-bytes", room, "min-percent",
                 50, nullptr);
    gst_app_src_set_caps(src, caps);
    gst_caps_unref(caps);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = on_need_data;
    gst_app_src_set_callbacks(src, &callbacks, file, nullptr);
}

void free_file(VideoFile* file)
{
    if (file->pipeline) {
        gst_element_set_state(file->pipeline, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(file->pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
    }
    if (file->video)
        gst_object_unref(file->video);
    if (file->audio)
        gst_object_unref(file->audio);
    if (file->pipeline)
        gst_object_unref(file->pipeline);
    delete file;
}

std::string pipeline_description(const VideoFileSettings& s)
{
    // A render uses the encoder's default (good quality) deadline: its speed
    // setting is then fixed, where the real-time deadline adapts it to the
    // machine's load and the bytes would vary. Live recording wants real
    // time at a fixed speed.
    // A second encoder thread waits for the first by spinning: only where
    // cores are left over beside the show's own (llvmpipe takes them all).
    std::string threads = std::thread::hardware_concurrency() > 2 ? "2" : "1";
    std::string encoder = s.live ? "vp8enc name=encoder deadline=1 cpu-used=-8 threads=" + threads
                                 : "vp8enc name=encoder cpu-used=4";
    std::string mux = ends_with(s.path, ".webm") ? "webmmux" : "matroskamux";
    std::string d = mux + " name=mux ! filesink name=sink"
                          " appsrc name=video ! videoconvert"
                          " ! video/x-raw,format=I420,colorimetry=bt601 ! " +
                    encoder + " ! queue ! mux.";
    if (s.audio_rate > 0)
        d += " appsrc name=audio ! audioconvert ! audioresample ! audio/x-raw,rate=" +
             std::to_string(opus_rate) + " ! opusenc bitrate=128000 ! queue ! mux.";
    return d;
}

}  // namespace

bool video_file_name_ok(const std::string& path)
{
    return ends_with(path, ".webm") || ends_with(path, ".mkv");
}

int video_file_default_bitrate(int width, int height, double fps)
{
    // About an eighth of a bit per pixel and frame.
    double kbps = static_cast<double>(width) * height * fps / 8000.0;
    return static_cast<int>(std::clamp(kbps, 200.0, 40000.0));
}

VideoFile* video_file_open(const VideoFileSettings& s, std::string* error)
{
    if (!video_file_name_ok(s.path)) {
        *error = "'" + s.path + "' is no .webm or .mkv file";
        return nullptr;
    }
    if (!gst_frames_ready(error))
        return nullptr;

    auto* file = new VideoFile;
    file->live = s.live;
    file->width = s.width;
    file->height = s.height;
    file->fps = s.fps;
    file->audio_rate = s.audio_rate;

    // The muxer draws its track and segment ids from GLib's generator: a
    // render seeds it, so the same input gives the same bytes.
    if (!s.live)
        g_random_set_seed(20011);
    GError* err = nullptr;
    file->pipeline = gst_parse_launch(pipeline_description(s).c_str(), &err);
    if (!file->pipeline || err) {
        *error = std::string("cannot build the video pipeline: ") + (err ? err->message : "unknown error");
        g_clear_error(&err);
        free_file(file);
        return nullptr;
    }
    GstBin* bin = GST_BIN(file->pipeline);
    file->video = GST_APP_SRC(gst_bin_get_by_name(bin, "video"));
    if (s.audio_rate > 0)
        file->audio = GST_APP_SRC(gst_bin_get_by_name(bin, "audio"));

    const guint64 frame_bytes = static_cast<guint64>(s.width) * static_cast<guint64>(s.height) * 3;
    file->video_room = 2 * frame_bytes;
    configure_source(file, file->video, gst_frames_caps(s.width, s.height, s.fps), file->video_room);
    if (file->audio) {
        file->audio_room = static_cast<guint64>(s.audio_rate) * 2 * sizeof(float);  // one second
        GstCaps* caps = gst_caps_new_simple(
            "audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout", G_TYPE_STRING, "interleaved",
            "rate", G_TYPE_INT, s.audio_rate, "channels", G_TYPE_INT, 2, "channel-mask",
            GST_TYPE_BITMASK, static_cast<guint64>(0x3), nullptr);
        configure_source(file, file->audio, caps, file->audio_room);
    }

    GstElement* encoder = gst_bin_get_by_name(bin, "encoder");
    int kbps = s.bitrate_kbps > 0 ? s.bitrate_kbps : video_file_default_bitrate(s.width, s.height, s.fps);
    g_object_set(encoder, "target-bitrate", kbps * 1000, nullptr);
    gst_object_unref(encoder);

    GstElement* mux = gst_bin_get_by_name(bin, "mux");
    g_object_set(mux, "writing-app", "glowcam", nullptr);
    if (!s.live) {
        GDateTime* epoch = g_date_time_new_utc(2001, 1, 1, 0, 0, 0);
        g_object_set(mux, "creation-time", epoch, nullptr);
        g_date_time_unref(epoch);
    }
    gst_object_unref(mux);

    GstElement* sink = gst_bin_get_by_name(bin, "sink");
    g_object_set(sink, "location", s.path.c_str(), nullptr);
    gst_object_unref(sink);

    GstBus* bus = gst_element_get_bus(file->pipeline);
    gst_bus_set_sync_handler(bus, on_bus_message, file, nullptr);
    gst_object_unref(bus);

    // A file that cannot be written fails here, before any frame is drawn.
    if (gst_element_set_state(file->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ||
        has_failed(file)) {
        {
            std::lock_guard<std::mutex> hold(file->lock);
            *error = file->error.empty() ? "the video pipeline does not start" : file->error;
        }
        free_file(file);
        return nullptr;
    }
    return file;
}

long long video_file_audio_wanted(const VideoFile* file, double seconds)
{
    if (!file->audio)
        return 0;
    long long target = std::llround(seconds * file->audio_rate);
    return std::max(0LL, target - file->audio_position);
}

bool video_file_push_audio(VideoFile* file, const float* stereo, long long frames)
{
    if (!file->audio || frames <= 0)
        return !has_failed(file);
    const guint64 rate = static_cast<guint64>(file->audio_rate);
    GstClockTime start = gst_util_uint64_scale(static_cast<guint64>(file->audio_position), GST_SECOND, rate);
    file->audio_position += frames;
    if (!has_room(file, file->audio, file->audio_room)) {
        if (has_failed(file))
            return false;
        file->dropped_audio += frames;
        return true;
    }
    const gsize bytes = static_cast<gsize>(frames) * 2 * sizeof(float);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_fill(buffer, 0, stereo, bytes);
    GST_BUFFER_PTS(buffer) = start;
    GST_BUFFER_DURATION(buffer) =
        gst_util_uint64_scale(static_cast<guint64>(file->audio_position), GST_SECOND, rate) - start;
    return gst_app_src_push_buffer(file->audio, buffer) == GST_FLOW_OK;
}

bool video_file_push_frame(VideoFile* file, const unsigned char* rgb, long long first, long long count)
{
    if (count <= 0 || first < file->next_tick)
        return !has_failed(file);  // ticks already pushed
    file->next_tick = first + count;
    if (!has_room(file, file->video, file->video_room)) {
        if (has_failed(file))
            return false;
        file->dropped_frames += count;
        return true;
    }
    auto start = [file](long long tick) {
        return static_cast<GstClockTime>(std::llround(static_cast<double>(tick) * 1e9 / file->fps));
    };
    // One buffer a tick, each sharing the picture's pixels; repeats go in
    // whatever room is left: they add nothing to the encoder's load beyond
    // the grid's rate.
    GstBuffer* picture = gst_frames_from_gl(rgb, file->width, file->height);
    bool pushed = true;
    for (long long tick = first; pushed && tick < first + count; ++tick) {
        GstBuffer* buffer = gst_buffer_copy(picture);
        GST_BUFFER_PTS(buffer) = start(tick);
        GST_BUFFER_DURATION(buffer) = start(tick + 1) - start(tick);
        pushed = gst_app_src_push_buffer(file->video, buffer) == GST_FLOW_OK;
    }
    gst_buffer_unref(picture);
    return pushed;
}

long long video_file_dropped_frames(const VideoFile* file)
{
    return file->dropped_frames;
}

long long video_file_dropped_audio(const VideoFile* file)
{
    return file->dropped_audio;
}

bool video_file_close(VideoFile* file, std::string* error)
{
    gst_app_src_end_of_stream(file->video);
    if (file->audio)
        gst_app_src_end_of_stream(file->audio);
    bool ok = false;
    {
        std::unique_lock<std::mutex> hold(file->lock);
        bool done = file->changed.wait_for(hold, stall_limit, [&] { return file->finished || file->failed; });
        ok = done && !file->failed;
        if (!ok)
            *error = file->failed ? file->error : "the file was not finished in time";
    }
    free_file(file);
    return ok;
}
