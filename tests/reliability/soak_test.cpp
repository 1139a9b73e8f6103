// A long run of the real show (test pattern, demo track on the null sound
// output, windowed under Xvfb) through every mode several times: resident
// memory levels off after the first minute and the frame loop never stalls.
// GLOWCAM_SOAK_SECONDS sets the length (300 by default: four turns of the
// three 25 s modes). llvmpipe needs tens of megabytes for a few seconds at
// some moments, a high-water mark glibc would keep resident and so hide any
// real growth: the show runs with glibc returning freed memory at once, and
// the check is on the lowest resident size in each turn after the first minute.
#include "tests/reliability/show_support.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

TEST(Soak, MemoryLevelsOffAndTheLoopNeverStalls)
{
    const char* env = std::getenv("GLOWCAM_SOAK_SECONDS");
    const double seconds = env ? std::atof(env) : 300.0;
    ASSERT_GE(seconds, 140.0) << "the memory check needs a whole turn of the modes after the first minute";

    XServer x = xvfb(1024, 768);
    ASSERT_TRUE(x.ok());
    const std::string stats = temp_path("soak.stats");
    constexpr double turn = 75.0;  // the three modes, 25 s each
    std::vector<long> floor_kb;  // the lowest resident size in each turn after the first minute
    const ProcessOptions po{.env = {"DISPLAY=" + x.display(), "ALSOFT_DRIVERS=null", "GLOWCAM_FRAME_STATS=" + stats,
                                    "MALLOC_TRIM_THRESHOLD_=0", "MALLOC_MMAP_THRESHOLD_=65536"},
                            .unset_env = {"SDL_VIDEODRIVER"}, .timeout_s = seconds + 120, .while_running = [&](int pid) {
        ASSERT_TRUE(wait_for_frame_stats(stats, 1, 60)) << "the show never drew";
        // Show time, as the loop's own statistics count it.
        for (double t = 0.0; t < seconds; t = read_frame_stats(stats).back().seconds) {
            const long kb = resident_kb(pid);
            ASSERT_GT(kb, 0) << "the show ended by itself";
            if (t >= 60.0) {
                floor_kb.resize(static_cast<std::size_t>((t - 60.0) / turn) + 1, kb);
                floor_kb.back() = std::min(floor_kb.back(), kb);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        EXPECT_TRUE(x11_close_window(x.display(), "OpenGL framework", 10));
    }};
    ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "640x480", "--camera",
                                   "test", "--music", GLOWCAM_BINARY_DIR "/music/tidewave.ogg"}, po);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;

    const std::vector<FrameStatsLine> lines = read_frame_stats(stats);
    std::filesystem::remove(stats);
    ASSERT_FALSE(lines.empty());
    long frames = 0;
    double longest = 0.0;
    for (const FrameStatsLine& l : lines)
        frames += l.frames, longest = std::max(longest, l.longest_gap_ms);
    floor_kb.resize(std::min(floor_kb.size(), static_cast<std::size_t>((lines.back().seconds - 60.0) / turn)));
    ASSERT_FALSE(floor_kb.empty()) << "no whole turn after the first minute";
    std::string floors;
    for (long kb : floor_kb)
        floors += " " + std::to_string(kb);
    const long growth = floor_kb.back() - floor_kb.front();
    std::printf("soak: %.0f s, %ld frames (%.1f a second), longest gap %.1f ms; resident floor per 75 s turn after "
                "the first minute (kB):%s; growth %ld kB\n", lines.back().seconds, frames,
                static_cast<double>(frames) / lines.back().seconds, longest, floors.c_str(), growth);
    EXPECT_LT(longest, 250.0);
    EXPECT_LT(growth, 2048);
}
