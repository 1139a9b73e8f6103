#pragma once

#include <future>
#include <string>
#include <vector>

// Writes an 8-bit RGB picture as a PNG file, top row first. pixels holds
// height rows of width x 3 bytes with no padding; bottom_up says the first of
// them is the bottom row (as glReadPixels returns it). The file appears only
// once it is complete: it is written beside its name and renamed into place.
// On failure returns false with a reason in *error and leaves nothing behind.
bool png_write_rgb(const std::string& path, const unsigned char* pixels, int width,
                   int height, bool bottom_up, std::string* error);

// Writes one picture at a time with png_write_rgb on a thread of its own, so
// that the caller can draw the next picture meanwhile. Files come out in the
// order they were started, each exactly as png_write_rgb writes it.
class PngWriter {
public:
    ~PngWriter();
    // Waits for the write before, then swaps *pixels with the writer's
    // buffer and starts writing it: *pixels comes back holding a buffer free
    // for the next picture. False with the earlier write's reason in *error
    // if that one failed; nothing is started then.
    bool start(const std::string& path, std::vector<unsigned char>* pixels, int width, int height,
               bool bottom_up, std::string* error);
    // Waits for the write in progress; false with its reason if it failed.
    bool finish(std::string* error);

private:
    std::future<bool> pending_;
    std::vector<unsigned char> buffer_;
    std::string pending_error_;
};
