#pragma once

#include <gst/gst.h>

#include <string>
#include <vector>

// The sizes and rates a camera offers, and which of them the show asks for.

// One size of one kind (raw or JPEG) at the best rate the camera gives it;
// a rate of 0/1 when it says none.
struct CameraMode {
    int width = 0, height = 0;
    bool jpeg = false;
    int rate_num = 0, rate_den = 1;
};

// The raw and JPEG sizes in a camera's caps, one mode per size and kind.
std::vector<CameraMode> camera_modes_of(const GstCaps* caps);

// The offer that fills a window of this size: the smallest whose picture,
// cut to the window's shape, is at least the window's size, at 24 frames a
// second or more; where none is, the largest at that rate; raw before JPEG at
// the same size. (A camera that never reaches 24 counts its best rate as
// full.) -1 when there is no offer.
int camera_mode_choose(const std::vector<CameraMode>& offers, int window_width, int window_height);

// The offer of this size at its best rate, raw before JPEG at the same rate;
// -1 when the size is not offered.
int camera_mode_find(const std::vector<CameraMode>& offers, int width, int height);

// "1280x720 JPEG at 30/1".
std::string camera_mode_text(const CameraMode& mode);

// Caps that ask a camera for the mode.
std::string camera_mode_caps(const CameraMode& mode);

// Each offer's text, raw first, smaller sizes first, joined by ", ".
std::string camera_modes_text(std::vector<CameraMode> offers);

// What --list-cameras prints: each video capture device with its name, its
// device node and what it offers, or one line saying there is none.
std::string camera_list_text();
