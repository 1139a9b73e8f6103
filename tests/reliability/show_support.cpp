#include "tests/reliability/show_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

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
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit_s);
    while (read_frame_stats(path).size() < lines) {
        if (std::chrono::steady_clock::now() > end) {
            std::fprintf(stderr, "gave up after %.0f s waiting for %zu s of frame statistics in %s\n",
                         limit_s, lines, path.c_str());
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
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
