// glowcam-bench audio: the cost of one spectrum tick and of a reverb change, the audio threads' CPU
// share while the demo track plays, and peak memory while playing a 1-minute
// and a 60-minute file.
//
// With no sound card, OpenAL Soft's "null" output stands in for one: it mixes
// in real time and discards the result (ALSOFT_DRIVERS=null unless set).

#include "app/data_path.h"
#include "audio/audio.h"
#include "audio/loopback.h"
#include "bench/bench.h"
#include "core/clock.h"
#include "core/settings.h"
#include "platform/message_box.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using steady = std::chrono::steady_clock;

const char* const demo_track = "music/tidewave.ogg";

double cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Microseconds per spectrum_sample while the music plays through the
// loopback mixer (which runs between ticks, untimed).
double tick_us_playing(const std::string& music)
{
    audio_test_mode(true);
    no_sound = false;
    if (!audio_init() || !music_load(music) || !music_start())
        return -1.0;
    std::vector<float> mix(2 * 1102);
    double total_us = 0.0;
    const int ticks = 4000;
    for (int i = 0; i < ticks; ++i) {
        audio_render_loopback(mix.data(), 1102);  // 25 ms of music
        const auto t0 = steady::now();
        spectrum_sample();
        total_us += std::chrono::duration<double, std::micro>(steady::now() - t0).count();
    }
    audio_shutdown();
    audio_test_mode(false);
    return total_us / ticks;
}

// Microseconds per set_reverb_time, as the composer calls it every frame.
double reverb_us(const std::string& music)
{
    audio_test_mode(true);
    no_sound = false;
    if (!audio_init() || !music_load(music) || !music_start())
        return -1.0;
    const int calls = 20000;
    const auto t0 = steady::now();
    for (int i = 0; i < calls; ++i)
        set_reverb_time(800.0f + 0.11f * static_cast<float>(i));
    const double us = std::chrono::duration<double, std::micro>(steady::now() - t0).count();
    audio_shutdown();
    audio_test_mode(false);
    return us / calls;
}

// The same with no sound: the tick decodes the music itself.
double tick_us_no_sound(const std::string& music)
{
    no_sound = true;
    show_clock_use_manual(0.0);
    if (!audio_init() || !music_load(music) || !music_start())
        return -1.0;
    const int ticks = 4000;
    const auto t0 = steady::now();
    for (int i = 1; i <= ticks; ++i) {
        show_clock_set_manual(i * 25.0);
        spectrum_sample();
    }
    const double us = std::chrono::duration<double, std::micro>(steady::now() - t0).count();
    audio_shutdown();
    show_clock_set_source(nullptr);
    no_sound = false;
    return us / ticks;
}

// Plays for `seconds` on the output device; returns the process's CPU time
// over that span as a share of one core. The main thread only sleeps.
double cpu_share_playing(const std::string& music, double seconds)
{
    no_sound = false;
    timer_init();
    if (!audio_init() || !music_load(music) || !music_start())
        return -1.0;
    show_clock_start();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // settle
    const double cpu0 = cpu_seconds();
    const auto t0 = steady::now();
    for (auto until = t0 + std::chrono::duration<double>(seconds); steady::now() < until;) {
        set_reverb_time(800.0f + 2200.0f * static_cast<float>(spectrum[1].load()));
        std::this_thread::sleep_for(std::chrono::milliseconds(16));  // a frame's pace
    }
    const double cpu = cpu_seconds() - cpu0;
    const double wall = std::chrono::duration<double>(steady::now() - t0).count();
    audio_shutdown();
    return 100.0 * cpu / wall;
}

// A 16-bit stereo WAV of silence, `minutes` long, made as a sparse file.
bool write_long_wav(const std::string& path, int minutes)
{
    const uint32_t rate = 44100;
    const uint64_t data = static_cast<uint64_t>(minutes) * 60 * rate * 4;
    if (data + 36 > 0xffffffffu)
        return false;
    unsigned char header[44] = {};
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    std::memcpy(header, "RIFF", 4);
    put32(4, static_cast<uint32_t>(36 + data));
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put32(20, 1 | (2u << 16));  // PCM, 2 channels
    put32(24, rate);
    put32(28, rate * 4);
    put32(32, 4 | (16u << 16));  // block align 4, 16 bits
    std::memcpy(header + 36, "data", 4);
    put32(40, static_cast<uint32_t>(data));
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header &&
                    ftruncate(fileno(f), static_cast<off_t>(44 + data)) == 0;
    return std::fclose(f) == 0 && ok;
}

// In a fresh process (glowcam-bench audio --peak FILE): plays the file for
// three seconds and prints its peak resident size while playing, in kB.
int peak_child(const char* music)
{
    no_sound = false;
    timer_init();
    audio_init();
    music_load(music);
    music_start();
    show_clock_start();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    // VmHWM, not ru_maxrss: the latter carries the parent's peak across exec.
    long peak_kb = -1;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "VmHWM: %ld kB", &peak_kb) == 1)
                break;
        std::fclose(status);
    }
    audio_shutdown();
    std::printf("%ld\n", peak_kb);
    return 0;
}

long peak_kb_playing(const std::string& music)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string self = "/proc/self/exe";
    std::vector<std::string> args = {"glowcam-bench", "audio", "--peak", music};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buf[64];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    if (spawned != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? std::atol(text.c_str()) : -1;
}

int bench_audio(int argc, char** argv)
{
    // OpenAL reads this once, at its first use.
    setenv("ALSOFT_DRIVERS", "null", 0);
    message_box_use_stderr(true);
    if (argc == 3 && std::strcmp(argv[1], "--peak") == 0)
        return peak_child(argv[2]);
    const std::string music = data_file_path(argc >= 2 ? argv[1] : demo_track);
    if (access(music.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "audio: cannot read %s\n", music.c_str());
        return 1;
    }

    std::printf("audio tick %.1f us (playing, mean of 4000)\n", tick_us_playing(music));
    std::printf("audio set_reverb_time %.2f us (mean of 20000)\n", reverb_us(music));
    std::printf("audio tick no-sound %.1f us (decoding in the tick, mean of 4000)\n",
                tick_us_no_sound(music));
    std::fflush(stdout);
    std::printf("audio cpu %.2f %% of one core (streaming, timer and mixer threads, 10 s)\n",
                cpu_share_playing(music, 10.0));
    std::fflush(stdout);

    char dir_pattern[] = "/tmp/glowcam-bench-audio-XXXXXX";
    const char* dir = mkdtemp(dir_pattern);
    if (dir == nullptr)
        return 1;
    const std::string short_file = std::string(dir) + "/1min.wav";
    const std::string long_file = std::string(dir) + "/60min.wav";
    if (!write_long_wav(short_file, 1) || !write_long_wav(long_file, 60)) {
        std::fprintf(stderr, "audio: cannot write the test files in %s\n", dir);
        return 1;
    }
    const long short_kb = peak_kb_playing(short_file);
    const long long_kb = peak_kb_playing(long_file);
    const long demo_kb = peak_kb_playing(music);
    std::remove(short_file.c_str());
    std::remove(long_file.c_str());
    rmdir(dir);
    std::printf("audio peak rss %ld kB playing 1 min, %ld kB playing 60 min (%+ld kB), "
                "%ld kB playing %s\n",
                short_kb, long_kb, long_kb - short_kb, demo_kb, music.c_str());
    return 0;
}

BenchRegistration reg("audio", bench_audio);

}  // namespace
