#pragma once

#include <cstddef>
#include <string>

// The sources behind the capture driver. Each one delivers planar 4:2:0 frames
// (Y, U, V); for odd sizes the chroma planes are rounded up, (w+1)/2 by (h+1)/2.

struct CaptureFrame {
    int width = 0, height = 0;
    const unsigned char* planes[3] = {nullptr, nullptr, nullptr};  // Y, U, V
    int strides[3] = {0, 0, 0};
    std::size_t sizes[3] = {0, 0, 0};  // bytes that may be read from each plane's start
};

// A tightly packed I420 frame of `size` bytes at data: plane starts and
// strides as the layout gives them, and how much of each plane the data holds.
CaptureFrame capture_frame_i420(const unsigned char* data, std::size_t size, int width, int height);

// Bytes a tightly packed I420 frame of this size takes.
std::size_t i420_frame_bytes(int width, int height);

// True when every plane of the frame holds all the rows it must.
bool capture_frame_complete(const CaptureFrame& frame);

// Open fails with one line on standard error saying why. Frames are only
// asked for on the main thread; a frame stays valid until the next call.
struct CaptureSource {
    const char* name;
    bool (*open)(const std::string& spec, int* width, int* height);
    // The frame for this show time (files and the pattern) or the newest one
    // (cameras; the last again when none is new). False when there is none.
    bool (*frame)(double show_ms, CaptureFrame* out);
    void (*close)();
    // True for sources whose picture is a function of the show time.
    bool timed;
};

extern const CaptureSource camera_source;   // "auto" or "/dev/videoN", through GStreamer
extern const CaptureSource y4m_source;      // a YUV4MPEG2 file, looped
extern const CaptureSource file_source;     // any other video file GStreamer decodes, looped
extern const CaptureSource pattern_source;  // "test": bars and a moving disc, 640 x 480

// The camera's pipeline with another head in place of the device, such as
// "videotestsrc is-live=true": the same decode, conversion and sink.
bool camera_open_pipeline(const std::string& head, int* width, int* height);

// The test pattern's frame for a show time, into a tight I420 buffer of
// i420_frame_bytes(width, height) bytes.
void pattern_draw(double show_ms, int width, int height, unsigned char* i420);

// Frame index a file of `count` frames at num/den frames per second shows at show_ms.
long y4m_frame_index(double show_ms, long num, long den, long count);
