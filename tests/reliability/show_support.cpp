#include "tests/reliability/show_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

std::vector<FrameStatsLine> read_frame_stats(const std::string& path)
{
    std::vector<FrameStatsLine> lines;
    std::ifstream in(path);
    std::string text;
    while (std::getline(in, text)) {
        std::istringstream s(text);
        FrameStatsLine l;
        if (s >> l.seconds >> l.frames >> l.longest_gap_ms)
            lines.push_back(l);
    }
    return lines;
}

bool wait_for_frame_stats(const std::string& path, std::size_t lines, double limit_s)
{
    if (poll_until([&] { return read_frame_stats(path).size() >= lines; }, limit_s))
        return true;
    std::fprintf(stderr, "gave up after %.0f s waiting for %zu s of frame statistics in %s\n", limit_s, lines, path.c_str());
    return false;
}

long resident_kb(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

std::string temp_path(const std::string& name)
{
    // Named for this process: test programs of other builds may run beside it.
    std::string path = ::testing::TempDir() + "glowcam_reliability_" + std::to_string(getpid()) + "_" + name;
    std::filesystem::remove_all(path);
    return path;
}
