#pragma once

#include <string>
#include <vector>

// A .webm or .mkv file as a player sees it: its VP8 video and, when asked,
// its Opus music, decoded by GStreamer (a wrong codec ends in an error).
struct DecodedVideo {
    int tracks = 0, frames = 0, width = 0, height = 0;
    double video_end = 0.0;            // seconds: the last frame's end
    double duration = -1.0;            // seconds, as the file says on opening; negative: none
    std::vector<double> times;         // each frame's, in seconds
    double audio_seconds = 0.0;
    std::vector<unsigned char> first, last;  // RGB rows of width x 3, top row first
    bool clean_end = false;            // end of stream, not an error
};

DecodedVideo decode_video(const std::string& path, bool with_audio);

// The time of the first frame shown after a player seeks to `seconds`
// (negative when the seek fails).
double frame_after_seek(const std::string& path, double seconds);
