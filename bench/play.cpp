// glowcam-bench play: what playing the show costs. First the action layer of
// a frame with no input (keys looked at, no cue due, the show's state read),
// in nanoseconds; then, on the display in $DISPLAY (Xvfb at 60 Hz, say), the
// time from an OSC message's send to the answer of the frame that applies
// it and then shows it, over 100 messages.

#include "bench/bench.h"

#include "app/controls.h"
#include "core/clock.h"
#include "show/actions.h"

#include <lo/lo.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void time_action_layer()
{
    constexpr int frames = 1000000;
    double sink = 0.0;
    show_clock_use_manual(0.0);
    const auto start = Clock::now();
    for (int i = 0; i < frames; ++i) {
        show_clock_set_manual(i * 16.7);
        controls_frame();
        const double t = i * 0.0167;
        sink += play_mode(t) + play_sensitivity() + play_blackout_level(t);
    }
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / frames;
    show_clock_set_source(nullptr);
    std::printf("play action layer, no input: %.1f ns a frame (%g)\n", ns, sink > 0 ? 1.0 : 0.0);
}

int time_osc_answers()
{
    if (!std::getenv("DISPLAY")) {
        std::printf("play osc: no DISPLAY, skipped (run under xvfb-run)\n");
        return 0;
    }
    const std::string port = std::to_string(48000 + getpid() % 1000);
    const std::string osc = "127.0.0.1:" + port;
    const char* argv[] = {GLOWCAM_EXE, "--no-dialog", "--window", "--size", "640x480", "--camera", "test",
                          "--no-sound", "--osc", osc.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, GLOWCAM_EXE, nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        std::fprintf(stderr, "glowcam-bench: cannot start %s\n", GLOWCAM_EXE);
        return 1;
    }
    lo_server surface = lo_server_new(nullptr, nullptr);
    int answers = 0;
    lo_server_add_method(surface, "/glowcam/state", nullptr, [](const char*, const char*, lo_arg**, int, lo_message,
                                                                void* count) { return ++*static_cast<int*>(count), 0; },
                         &answers);
    lo_address show = lo_address_new("127.0.0.1", port.c_str());
    // Until the show answers at all (its window is up).
    for (int i = 0; i < 300 && answers == 0; ++i) {
        lo_send_from(show, surface, LO_TT_IMMEDIATE, "/glowcam/mode", "i", 0);
        lo_server_recv_noblock(surface, 100);
    }
    std::vector<double> times;
    for (int i = 0; i < 100 && answers > 0; ++i) {
        answers = 0;
        const auto sent = Clock::now();
        lo_send_from(show, surface, LO_TT_IMMEDIATE, "/glowcam/mode", "i", (i + 1) % 3);
        while (answers == 0 && Clock::now() - sent < std::chrono::seconds(2))
            lo_server_recv_noblock(surface, 100);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
        if (answers > 0) {
            times.push_back(ms);
            // The next message lands at a different point of the frame.
            usleep(static_cast<useconds_t>(20000 + (i * 7919) % 17000));
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    lo_address_free(show);
    lo_server_free(surface);
    if (times.size() < 100) {
        std::fprintf(stderr, "glowcam-bench: only %zu of 100 OSC messages were answered\n", times.size());
        return 1;
    }
    const double mean = std::accumulate(times.begin(), times.end(), 0.0) / 100.0;
    std::sort(times.begin(), times.end());
    std::printf("play osc send to applying frame: mean %.1f ms, median %.1f ms, 95th %.1f ms, worst %.1f ms"
                " over 100 messages\n", mean, times[50], times[95], times[99]);
    return 0;
}

int run_play_bench(int, char**)
{
    time_action_layer();
    return time_osc_answers();
}

BenchRegistration reg("play", run_play_bench);

}  // namespace
