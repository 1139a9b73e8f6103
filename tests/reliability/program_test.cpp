// The real program under faults, each run checking several: signals, a camera
// file cut mid-show or broken from the start, damaged music, no sound device,
// recordings killed or unwritable, and a render interrupted.

#include "tests/audio/audio_files.h"
#include "tests/capture/y4m_writer.h"
#include "tests/reliability/show_support.h"
#include "tests/support/video_decode.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

const std::string demo_track = GLOWCAM_BINARY_DIR "/music/tidewave.ogg";

bool said_once(const std::string& text, const std::string& what)
{
    return text.find(what) != std::string::npos && text.find(what) == text.rfind(what);
}

}  // namespace

TEST(Program, RunsOnThroughFaultsAndEndsCleanlyOnAKeyOrASignal)
{
    XServer x = xvfb(1024, 768);
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    const std::string stats = temp_path("show.stats");
    // The show, windowed, on the null sound output unless `env` says
    // otherwise; `during` runs with its pid while it does.
    auto run = [&](std::vector<std::string> args, const std::function<void(int)>& during,
                   const std::string& env = "ALSOFT_DRIVERS=null", int code = 0) {
        std::filesystem::remove(stats);
        const ProcessOptions po{.env = {"DISPLAY=" + x.display(), env, "GLOWCAM_FRAME_STATS=" + stats},
                                .unset_env = {"SDL_VIDEODRIVER"}, .while_running = during};
        args.insert(args.begin(), {glowcam_exe(), "--no-dialog", "--window", "--size", "320x240"});
        ProcessResult r = run_process(args, po);
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, code) << r.err;
        EXPECT_EQ(r.err.find("Cannot close"), std::string::npos) << r.err;
        for (const FrameStatsLine& l : read_frame_stats(stats))
            EXPECT_LE(l.frames, 72) << "paced to Xvfb's 60 Hz, not as fast as llvmpipe draws";
        return r.err;
    };

    // F11 taps fill the screen and give the window back, the picture filling
    // it a second of frames later; Escape still ends the show, with nothing
    // to complain about.
    std::string err = run({"--camera", "test", "--music", demo_track}, [&](int) {
        ASSERT_TRUE(wait_for_frame_stats(stats, 2, 20));
        for (const char* size : {"1024x768+0+0", "320x240+0+0", ""}) {
            EXPECT_TRUE(x11_tap(x.display(), *size ? "F11" : "Escape"));
            if (!*size)
                break;
            ASSERT_TRUE(wait_for_frame_stats(stats, read_frame_stats(stats).size() + 2, 10));
            int colours = 0;
            EXPECT_EQ(x11_window_geometry(x.display(), "OpenGL framework", &colours), size);
            EXPECT_GE(colours, 8) << size;
        }
    }, "ALSOFT_DRIVERS=null", 27);
    EXPECT_NE(err.find("Information: Video device connected :)\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("error"), std::string::npos) << err;

    // A camera file (20 frames of 64 x 48 at 25 a second, looping every
    // 0.8 s) cut inside frame 7 mid-show, and music with garbage in the
    // middle, while recording: one line, the show draws on and plays round
    // the damage; killed outright it leaves a file that plays.
    const std::string camera = temp_path("cut.y4m"), video = temp_path("record.webm");
    const std::string header = "YUV4MPEG2 W64 H48 F25:1\n";
    const std::size_t frame = 6 + 64 * 48 * 3 / 2;
    std::string frames = header;
    for (int n = 0; n < 20; ++n)
        frames += "FRAME\n" + std::string(frame - 6, static_cast<char>(16 + 10 * n));
    std::ofstream(camera, std::ios::binary) << frames;
    const std::string ogg = read_file(write_audio("damaged.ogg", 44100, 2, make_signal(3 * 44100, 2, noisy_tone)));
    std::string garbage = ogg;
    for (std::size_t i = garbage.size() / 2; i < garbage.size() / 2 + 2000; ++i)
        garbage[i] = static_cast<char>(i * 13);
    err = run({"--camera", camera, "--music", write_bytes("garbage.ogg", garbage), "--record", video}, [&](int pid) {
        ASSERT_TRUE(wait_for_frame_stats(stats, 2, 20));
        ASSERT_EQ(truncate(camera.c_str(), static_cast<off_t>(header.size() + 7 * frame + frame / 2)), 0);
        // Frames reach the file at the encoder's pace, dropped while the
        // machine is busy: wait until the file as it stands plays five.
        poll_until([&] { return read_frame_stats(stats).size() >= 6 && decode_video(video, false).frames >= 5; }, 40.0, 250);
        kill(pid, SIGKILL);
    }, "ALSOFT_DRIVERS=null", -1);
    const std::vector<FrameStatsLine> lines = read_frame_stats(stats);
    EXPECT_TRUE(lines.size() >= 6 && lines.back().frames > 0) << "the show stopped drawing";
    EXPECT_TRUE(said_once(err, "capture: skipping")) << err;
    EXPECT_EQ(err.find("bass error"), std::string::npos) << err;
    const DecodedVideo played = decode_video(video, false);
    ASSERT_GE(played.frames, 5);
    const int w = played.width, h = played.height;
    auto at = [&](int x, int y) { return long(played.last[(y * w + x) * 3 + 1]); };
    long sides = 0, ends = 0, middle = 0;  // a picture edge to edge: each side as the opposite one
    for (int y = 0; y < h; ++y)
        sides += at(w - 1, y) - at(w - 2, y) - at(0, y) + at(1, y);
    for (int x = 0; x < w; ++x)
        ends += at(x, 0) - at(x, 1) - at(x, h - 1) + at(x, h - 2), middle += at(x, h / 2);
    EXPECT_TRUE(std::abs(sides) / h < 25 && std::abs(ends) / w < 25 && middle / w > 40) << sides / h << " " << ends / w << " " << middle / w;

    // No sound device, a camera file broken from the start and music cut in
    // half: each is said once, and the show runs on until SIGINT.
    ASSERT_EQ(truncate(camera.c_str(), static_cast<off_t>(header.size() + frame + 7)), 0);
    err = run({"--camera", camera, "--music", write_bytes("cut.ogg", ogg.substr(0, ogg.size() / 2))}, [&](int pid) {
        EXPECT_TRUE(wait_for_frame_stats(stats, 4, 20)) << "the show never drew";
        kill(pid, SIGINT);
    }, "ALSOFT_DRIVERS=no-such-backend");
    EXPECT_TRUE(said_once(err, "bass error: Can't initialize sound device")) << err;
    EXPECT_EQ(err.find("Can't load file"), std::string::npos) << err;
    EXPECT_NE(err.find("capture: " + camera + ": truncated: frame 1"), std::string::npos) << err;
    EXPECT_TRUE(said_once(err, "Error: Cannot open video device\n")) << err;

    // A recording that cannot be written ends the show with a line.
    err = run({"--camera", "none", "--no-sound", "--record", "/nonexistent/glowcam.webm"}, nullptr, "ALSOFT_DRIVERS=null", 1);
    EXPECT_NE(err.find("cannot write the video '/nonexistent/glowcam.webm'"), std::string::npos) << err;

    // SIGTERM during the settings dialog ends the program.
    ProcessOptions po{.env = {"DISPLAY=" + x.display()}, .unset_env = {"SDL_VIDEODRIVER"}, .while_running = [&](int pid) {
        ASSERT_TRUE(x11_wait_for_window(x.display(), "Config:", 30));
        kill(pid, SIGTERM);
    }};
    EXPECT_FALSE(run_process({glowcam_exe()}, po).timed_out);
    EXPECT_FALSE(x11_wait_for_window(x.display(), "Config:", 0));

    // A monitor the desktop lacks: one line, before the dialog.
    po.while_running = nullptr;
    ProcessResult r = run_process({glowcam_exe(), "--display", "5"}, po);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("--display 5: this desktop has 1 monitor,"), std::string::npos) << r.err;

    // The X server going away ends the show with a line, its recording whole.
    err = run({"--camera", "test", "--no-sound", "--record", video}, [&](int) {
        ASSERT_TRUE(wait_for_frame_stats(stats, 2, 20));
        x.stop();
    }, "ALSOFT_DRIVERS=null", 1);
    EXPECT_NE(err.find("the connection to the display was lost"), std::string::npos) << err;
    EXPECT_NE(err.find(" s into '" + video + "'"), std::string::npos) << err;
    std::filesystem::remove(camera);
    std::filesystem::remove(video);
}

// A recording ended by Escape, at 24 frames a second: its length and seek
// index as a player sees them on opening it, and a frame for every tick of
// the grid but those the program says it left out, each timed on a tick.
TEST(Program, RecordingEndedByEscapeHasItsLengthItsIndexAndASteadyRate)
{
    XServer x = xvfb(1024, 768);
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    const std::string stats = temp_path("steady.stats"), video = temp_path("steady.mkv");
    const ProcessOptions po{.env = {"DISPLAY=" + x.display(), "ALSOFT_DRIVERS=null", "GLOWCAM_FRAME_STATS=" + stats},
                            .unset_env = {"SDL_VIDEODRIVER"}, .while_running = [&](int) {
        ASSERT_TRUE(wait_for_frame_stats(stats, 3, 20));
        EXPECT_TRUE(x11_tap(x.display(), "Escape"));
    }};
    const ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "320x240", "--camera",
                                         "test", "--music", demo_track, "--record", video, "--record-fps", "24"}, po);
    EXPECT_EQ(r.exit_code, 27) << r.err;
    double seconds = 0.0;
    long long dropped = -1;
    const std::size_t said = r.err.find("glowcam: recorded ");
    ASSERT_TRUE(said != std::string::npos &&
                std::sscanf(r.err.c_str() + said, "glowcam: recorded %lf s into '%*[^']'; %lld", &seconds, &dropped) == 2)
        << r.err;
    EXPECT_NE(r.err.find(dropped == 1 ? " frame the encoder could not take in time was left out\n"
                                      : " frames the encoder could not take in time were left out\n"), std::string::npos);
    const DecodedVideo d = decode_video(video, true);
    EXPECT_TRUE(d.clean_end && d.tracks == 2 && seconds > 2.0) << seconds << " s";
    EXPECT_NEAR(d.duration, seconds, 0.2);
    EXPECT_EQ(d.frames + dropped, std::llround(seconds * 24)) << d.frames << " frames, " << dropped << " left out";
    EXPECT_LT(dropped, d.frames);
    long long last = -1;
    for (double t : d.times) {  // Matroska keeps times to the millisecond
        EXPECT_NEAR(t * 24, std::round(t * 24), 0.001 * 24) << t;
        EXPECT_GT(std::llround(t * 24), last) << t;
        last = std::llround(t * 24);
    }
    EXPECT_NE(read_file(video).find("\x1c\x53\xbb\x6b"), std::string::npos) << "no seek index (Cues)";
    EXPECT_NEAR(frame_after_seek(video, seconds / 2), seconds / 2, 1.0 / 24);
    std::filesystem::remove(video);
}

// SIGTERM stops a long render between frames, leaving only whole frames
// (that a render repeats exactly is the offline render test's).
TEST(Program, RenderStopsBetweenFramesOnSigterm)
{
    const std::string out = temp_path("render");
    const ProcessOptions po{.while_running = [&](int pid) {
        EXPECT_TRUE(poll_until([&] { return std::filesystem::exists(out + "/frame-000015.png"); }, 30.0, 10));
        kill(pid, SIGTERM);
    }};
    ProcessResult r = run_process({glowcam_exe(), "--render", out, "--camera", make_clip("render.webm"), "--duration",
                                   "3600", "--fps", "10", "--size", "128x72", "--music", "/nonexistent/glowcam.ogg"}, po);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.err.find("Video device connected"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("glowcam: interrupted after "), std::string::npos) << r.err;
    for (const auto& entry : std::filesystem::directory_iterator(out))
        EXPECT_TRUE(entry.path().extension() == ".png" && std::filesystem::file_size(entry.path()) > 100) << entry.path();
    std::filesystem::remove_all(out);
}
