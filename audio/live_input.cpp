#include "audio/live_input.h"

#include "audio/fft1024.h"
#include "audio/sound_server.h"
#include "platform/media_pipeline.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Every sound server source is converted to what the analysis wants. The sink
// holds about a second of small buffers, newest kept, and is drained at each tick.
const char* const pipeline_tail =
    " ! audioconvert ! audioresample ! audio/x-raw,format=F32LE,channels=1,rate=44100"
    " ! appsink name=glowcam_sink max-buffers=100 drop=true sync=false";

constexpr int first_sound_timeout_s = 3;
constexpr int max_buffers_per_tick = 100;  // the sink's whole queue

struct LiveInput {
    MediaPipeline media;
    std::string name;  // for messages
    bool in_use = false;
    bool active = false;  // the pipeline gives sound
    float ring[fft_size] = {};  // the last samples, oldest at `head`
    int head = 0;
};

LiveInput input;

void take(GstSample* sample)
{
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        // Only the newest fft_size samples of a large buffer matter.
        const std::size_t count = std::min<std::size_t>(map.size / sizeof(float), fft_size);
        float newest[fft_size];
        std::memcpy(newest, map.data + map.size / sizeof(float) * sizeof(float) - count * sizeof(float),
                    count * sizeof(float));
        gst_buffer_unmap(buffer, &map);
        for (std::size_t i = 0; i < count; ++i) {
            input.ring[input.head] = newest[i];
            input.head = (input.head + 1) % fft_size;
        }
    }
    gst_sample_unref(sample);
}

bool fail(const std::string& tried, const std::string& why)
{
    std::fprintf(stderr,
                 "audio-in: cannot listen to %s (%s); list the sources with 'pactl list short sources'. "
                 "The show runs on with a spectrum of 0.\n",
                 tried.c_str(), why.c_str());
    media_pipeline_close(&input.media);
    return false;
}

bool start(const std::string& description, const std::string& device)
{
    std::string why;
    if (!fft1024_prepare())
        return fail(input.name, "the FFT cannot be prepared");
    const bool opened = device.empty() ? media_pipeline_open(&input.media, description, &why)
                                       : media_pipeline_open(&input.media, description, &why, "device", device);
    if (!opened)
        return fail(input.name, why);
    // A source that does not exist is refused while it is negotiated, within
    // moments; a quiet one that gives nothing yet is kept.
    if (GstSample* first = media_pipeline_first_sample(&input.media, first_sound_timeout_s, "sound", &why))
        take(first);
    else if (why.find("no sound within") != 0)
        return fail(input.name, why);
    input.active = true;
    return true;
}

}  // namespace

bool live_input_open(const std::string& source)
{
    live_input_close();
    input.in_use = true;
    std::string device = source;
    if (source == "monitor" || source == "mic") {
        const char* what = source == "monitor" ? "the monitor of the default output" : "the default input";
        std::string monitor, mic, why;
        if (!sound_server_defaults(&monitor, &mic, &why))
            return fail(std::string(what) + " of the sound server", "no sound server: " + why);
        device = source == "monitor" ? monitor : mic;
        if (device.empty())
            return fail(what, "the sound server names none");
    }
    input.name = "sound source '" + device + "'";
    return start(std::string("pulsesrc name=glowcam_src client-name=glowcam") + pipeline_tail, device);
}

bool live_input_open_pipeline(const std::string& head)
{
    live_input_close();
    input.in_use = true;
    input.name = "'" + head + "'";
    return start(head + pipeline_tail, std::string());
}

bool live_input_in_use() { return input.in_use; }

bool live_input_fft1024(float* magnitudes)
{
    if (input.active) {
        // What came since the last tick; bounded, so a source faster than
        // the tick can never keep it here.
        for (int i = 0; i < max_buffers_per_tick; ++i) {
            GstSample* s = gst_app_sink_try_pull_sample(input.media.sink, 0);
            if (!s)
                break;
            take(s);
        }
        if (std::string why = media_pipeline_problem(&input.media); !why.empty()) {
            std::fprintf(stderr, "audio-in: %s is lost (%s); the spectrum falls to 0\n", input.name.c_str(),
                         why.c_str());
            media_pipeline_close(&input.media);
            input.active = false;
            std::fill(std::begin(input.ring), std::end(input.ring), 0.0f);
        }
    }
    float window[fft_size];
    for (int i = 0; i < fft_size; ++i)
        window[i] = input.ring[(input.head + i) % fft_size];
    fft1024_magnitudes(window, magnitudes);
    return input.active;
}

void live_input_close()
{
    media_pipeline_close(&input.media);
    input = LiveInput{};
}
