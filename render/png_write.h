#pragma once

#include <string>

// Writes an 8-bit RGB picture as a PNG file, top row first. pixels holds
// height rows of width x 3 bytes with no padding; bottom_up says the first of
// them is the bottom row (as glReadPixels returns it). The file appears only
// once it is complete: it is written beside its name and renamed into place.
// On failure returns false with a reason in *error and leaves nothing behind.
bool png_write_rgb(const std::string& path, const unsigned char* pixels, int width,
                   int height, bool bottom_up, std::string* error);
