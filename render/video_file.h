#pragma once

#include <string>

// One video file, .webm or .mkv: VP8 video and, when music is given, Opus
// audio, muxed by GStreamer. Frames come as glReadPixels returns them (RGB,
// bottom row first, no row padding); music as interleaved stereo floats.
//
// A render takes every frame: pushing waits while the encoder is busy, and
// the same frames and music give the same bytes. A live recording never
// waits: what the encoder cannot take in time is dropped and counted. Both
// get their duration and seek index when closed; a file cut short by a
// crash has neither but plays up to where it stops.

struct VideoFileSettings {
    std::string path;
    int width = 0;
    int height = 0;
    double fps = 30.0;     // the rate of the grid frames are pushed on
    int bitrate_kbps = 0;  // 0: video_file_default_bitrate
    int audio_rate = 0;    // sample rate of the music pushed; 0: no audio track
    bool live = false;
};

struct VideoFile;

// True for the names this writer makes: .webm and .mkv.
bool video_file_name_ok(const std::string& path);

// A bitrate that keeps the show's fine streaks at this size and rate.
int video_file_default_bitrate(int width, int height, double fps);

// Starts the file. On failure (a path that cannot be written, a missing
// GStreamer element) returns nullptr with one line in *error.
VideoFile* video_file_open(const VideoFileSettings& settings, std::string* error);

// How many frames of music the file still needs to reach `seconds`.
long long video_file_audio_wanted(const VideoFile* file, double seconds);

// Music that goes on from the last pushed. False once the file has failed.
bool video_file_push_audio(VideoFile* file, const float* stereo, long long frames);

// The picture for `count` ticks of the grid from tick `first` on (tick n is
// at n / fps seconds). Push the music up to the frame's end first (a render)
// or up to its time (live), so the streams stay in step. Live, ticks the
// encoder cannot take in time are dropped. False once the file has failed.
bool video_file_push_frame(VideoFile* file, const unsigned char* rgb, long long first, long long count);

// Ticks and music frames dropped so far (live only).
long long video_file_dropped_frames(const VideoFile* file);
long long video_file_dropped_audio(const VideoFile* file);

// Ends the streams, waits until the file is complete and frees everything.
// False with one line in *error when the file could not be finished.
bool video_file_close(VideoFile* file, std::string* error);
