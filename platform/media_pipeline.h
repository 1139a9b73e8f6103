#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <string>

// GStreamer pipelines read from a description that ends in an appsink named
// glowcam_sink: the one way media comes in (cameras, video files, sound-server
// sources). Each pipeline is used from one thread at a time.

struct MediaPipeline {
    GstElement* pipeline = nullptr;
    GstAppSink* sink = nullptr;
    GstBus* bus = nullptr;
};

// Starts GStreamer on first use. False, with the reason, when it cannot start.
bool media_ready(std::string* why);

// Builds the pipeline and sets it playing; with a property, the element named
// glowcam_src gets it first (a device or file name, which the description
// could not carry safely). False, with the reason and nothing left open, when
// it cannot be built or refuses to start at once.
bool media_pipeline_open(MediaPipeline* p, const std::string& description, std::string* why,
                         const char* property = nullptr, const std::string& value = {});

// What the head of a pipeline (the description up to where its sink would
// be, glowcam_src given the property as above) offers once it is ready: a
// device says then what it can give. Null, with the reason, when it cannot
// be made ready.
GstCaps* media_source_caps(const std::string& head, std::string* why, const char* property = nullptr,
                           const std::string& value = {});

// Waits for the first sample, watching the bus, for at most `seconds`. Null
// with the reason ("no NOUN within N s" when nothing came) otherwise.
GstSample* media_pipeline_first_sample(MediaPipeline* p, int seconds, const char* noun, std::string* why);

// An error or the end of the stream waiting on the bus, as one line; empty
// when there is none.
std::string media_pipeline_problem(MediaPipeline* p);

// Stops the streaming threads and releases everything; an empty one is left as it is.
void media_pipeline_close(MediaPipeline* p);
