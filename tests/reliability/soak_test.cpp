// A long run of the real show: the built-in test pattern, the demo track on
// the null sound output, windowed under a private X server, through every
// mode several times. Resident memory must level off after the first minute
// and the frame loop must never stall. GLOWCAM_SOAK_SECONDS sets the length
// (300 by default: four turns of the three 25 s modes).

#include "tests/reliability/show_support.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

TEST(Soak, MemoryLevelsOffAndTheLoopNeverStalls)
{
    const char* env = std::getenv("GLOWCAM_SOAK_SECONDS");
    const double seconds = env ? std::atof(env) : 300.0;
    ASSERT_GE(seconds, 90.0) << "the memory check needs more than the first minute";

    Xvfb x(1024, 768);
    ASSERT_TRUE(x.ok());
    const std::string stats = temp_path("soak.stats");
    long rss_at_minute = -1, rss_peak_after = -1;
    ProcessOptions po;
    po.env = {"DISPLAY=" + x.display(), "ALSOFT_DRIVERS=null", "GLOWCAM_FRAME_STATS=" + stats};
    po.unset_env = {"SDL_VIDEODRIVER"};
    po.timeout_s = seconds + 120;
    po.while_running = [&](int pid) {
        ASSERT_TRUE(wait_for_frame_stats(stats, 1, 60)) << "the show never drew";
        // Show time, as the loop's own statistics count it.
        auto shown = [&] {
            std::vector<FrameStatsLine> lines = read_frame_stats(stats);
            return lines.empty() ? 0.0 : lines.back().seconds;
        };
        while (shown() < seconds) {
            long kb = resident_kb(pid);
            ASSERT_GT(kb, 0) << "the show ended by itself";
            if (shown() >= 60.0) {
                if (rss_at_minute < 0)
                    rss_at_minute = kb;
                rss_peak_after = std::max(rss_peak_after, kb);
            }
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
    for (const FrameStatsLine& l : lines) {
        frames += l.frames;
        longest = std::max(longest, l.longest_gap_ms);
    }
    const long growth = rss_peak_after - rss_at_minute;
    std::printf("soak: %.0f s, %ld frames (%.1f a second), longest gap %.1f ms, resident %ld kB at 60 s, "
                "peak after %ld kB, growth %ld kB\n",
                lines.back().seconds, frames, static_cast<double>(frames) / lines.back().seconds, longest,
                rss_at_minute, rss_peak_after, growth);
    RecordProperty("longest_gap_ms", static_cast<int>(longest));
    RecordProperty("rss_growth_kb", static_cast<int>(growth));
    EXPECT_LT(longest, 250.0);
    EXPECT_GE(rss_at_minute, 0);
    EXPECT_LT(growth, 2048);
}
