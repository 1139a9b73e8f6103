#pragma once

#include "tests/support/process.h"
#include "tests/support/x11.h"

#include <string>
#include <vector>

// Running the real program under a private X server, watching it through
// the frame statistics its loop writes when GLOWCAM_FRAME_STATS names a file.

struct FrameStatsLine {
    double seconds = 0.0;
    long frames = 0;
    double longest_gap_ms = 0.0;
};

std::vector<FrameStatsLine> read_frame_stats(const std::string& path);

// Waits until the file holds `lines` lines, or the time limit. True when it does.
bool wait_for_frame_stats(const std::string& path, std::size_t lines, double limit_s);

// Resident memory of a process in kB (VmRSS), -1 when it is gone.
long resident_kb(int pid);


// A file path in the test's temporary folder, removed first.
std::string temp_path(const std::string& name);
