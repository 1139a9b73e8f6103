// A long run of the real show: the built-in test pattern, the demo track on
// the null sound output, windowed under a private X server, through every
// mode several times. Resident memory must level off after the first minute
// and the frame loop must never stall. GLOWCAM_SOAK_SECONDS sets the length
// (300 by default: four turns of the three 25 s modes).
//
// Memory: llvmpipe needs tens of megabytes for a few seconds at some moments
// of the box field (the camera's orbit decides when), and glibc would keep
// that high-water mark resident for good, hiding any real growth behind it.
// So the show runs with glibc returning freed memory at once, and the check
// is on the level memory falls back to: the lowest resident size in each
// turn of the three modes after the first minute.

#include "tests/reliability/show_support.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <thread>

TEST(Soak, MemoryLevelsOffAndTheLoopNeverStalls)
{
    const char* env = std::getenv("GLOWCAM_SOAK_SECONDS");
    const double seconds = env ? std::atof(env) : 300.0;
    ASSERT_GE(seconds, 140.0) << "the memory check needs a whole turn of the modes after the first minute";

    Xvfb x(1024, 768);
    ASSERT_TRUE(x.ok());
    const std::string stats = temp_path("soak.stats");
    constexpr double turn = 75.0;  // the three modes, 25 s each
    std::vector<std::pair<double, long>> samples;  // (show seconds, resident kB)
    ProcessOptions po;
    po.env = {"DISPLAY=" + x.display(), "ALSOFT_DRIVERS=null", "GLOWCAM_FRAME_STATS=" + stats,
              "MALLOC_TRIM_THRESHOLD_=0", "MALLOC_MMAP_THRESHOLD_=65536"};
    po.unset_env = {"SDL_VIDEODRIVER"};
    po.timeout_s = seconds + 120;
    po.while_running = [&](int pid) {
        ASSERT_TRUE(wait_for_frame_stats(stats, 1, 60)) << "the show never drew";
        // Show time, as the loop's own statistics count it.
        for (double t = 0.0; t < seconds; t = read_frame_stats(stats).back().seconds) {
            const long kb = resident_kb(pid);
            ASSERT_GT(kb, 0) << "the show ended by itself";
            samples.emplace_back(t, kb);
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        EXPECT_TRUE(x11_close_window(x.display(), "OpenGL framework", 10));
    };
    ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "640x480", "--camera",
                                   "test", "--music", GLOWCAM_BINARY_DIR "/music/tidewave.ogg"},
                                  po);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;

    const std::vector<FrameStatsLine> lines = read_frame_stats(stats);
    std::filesystem::remove(stats);
    ASSERT_FALSE(lines.empty());
    long frames = 0;
    double longest = 0.0;
    for (const FrameStatsLine& l : lines)
        frames += l.frames, longest = std::max(longest, l.longest_gap_ms);
    // The lowest resident size in each whole turn after the first minute.
    std::vector<long> floor_kb(static_cast<std::size_t>((lines.back().seconds - 60.0) / turn), LONG_MAX);
    ASSERT_FALSE(floor_kb.empty()) << "no whole turn after the first minute";
    std::string floors;
    for (const auto& [t, kb] : samples)
        if (const double n = (t - 60.0) / turn; n >= 0.0 && n < static_cast<double>(floor_kb.size()))
            floor_kb[static_cast<std::size_t>(n)] = std::min(floor_kb[static_cast<std::size_t>(n)], kb);
    for (long kb : floor_kb)
        floors += " " + std::to_string(kb);
    const long growth = floor_kb.back() - floor_kb.front();
    std::printf("soak: %.0f s, %ld frames (%.1f a second), longest gap %.1f ms; resident floor per 75 s "
                "turn after the first minute (kB):%s; growth %ld kB\n",
                lines.back().seconds, frames, static_cast<double>(frames) / lines.back().seconds, longest,
                floors.c_str(), growth);
    EXPECT_LT(longest, 250.0);
    EXPECT_LT(growth, 2048);
}
