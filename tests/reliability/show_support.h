#pragma once

#include "tests/support/process.h"

#include <string>
#include <vector>

// The real program watched through the frame statistics its loop writes,
// one line a second, when GLOWCAM_FRAME_STATS names a file.
struct FrameStatsLine { double seconds = 0.0; long frames = 0; double longest_gap_ms = 0.0; };
std::vector<FrameStatsLine> read_frame_stats(const std::string& path);
// True once the file holds `lines` lines, false (with a line saying so) after the limit.
bool wait_for_frame_stats(const std::string& path, std::size_t lines, double limit_s);
long resident_kb(int pid);  // VmRSS, -1 when the process is gone
std::string temp_path(const std::string& name);  // in the test's temporary folder, removed first
