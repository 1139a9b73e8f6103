#pragma once

#include <string>
#include <vector>

// A .webm or .mkv file as a player sees it, decoded by GStreamer: its VP8
// video and, when asked, its Opus music. A wrong codec does not link and
// ends in an error.
struct DecodedVideo {
    int tracks = 0;
    int frames = 0;
    int width = 0;
    int height = 0;
    double video_end = 0.0;            // seconds: the last frame's end
    double audio_seconds = 0.0;
    std::vector<unsigned char> first;  // RGB rows of width x 3, top row first
    bool clean_end = false;            // end of stream, not an error
};

DecodedVideo decode_video(const std::string& path, bool with_audio);
