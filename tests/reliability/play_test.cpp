// The show played live, as an operator does: key taps in the window, OSC from
// liblo's own oscsend and from a control surface that reads the answers,
// everything kept by --save-cues; then that file rendered offline shows the
// same modes at the saved times.

#include "tests/reliability/show_support.h"
#include "tests/support/frames.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>
#include <lo/lo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

std::vector<std::string> lines_of(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        if (!l.empty() && l[0] != '#')
            lines.push_back(l);
    return lines;
}

// Waits until the saved cues hold `count` lines: each action is written as
// the frame that applies it starts.
bool wait_for_lines(const std::string& path, size_t count)
{
    return poll_until([&] { return lines_of(path).size() >= count; }, 10.0);
}

// A saved line "SECONDS ACTION" without its time.
std::string action_of(const std::string& line) { return line.substr(line.find(' ') + 1); }

}  // namespace

TEST(Play, KeysAndOscPlayTheShowAndItsSavedCuesRenderTheSameModes)
{
    XServer x = xvfb(640, 480);
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    const std::string stats = temp_path("play.stats"), saved = temp_path("played.cues");
    lo_server surface = lo_server_new(nullptr, nullptr);
    ASSERT_NE(surface, nullptr);
    std::string answers;
    lo_server_add_method(surface, "/glowcam/state", "iifi", [](const char*, const char*, lo_arg** argv, int,
                                                                lo_message, void* out) {
        // liblo's arguments are not always aligned as its union would need.
        int32_t mode, hold, blackout;
        float sensitivity;
        std::memcpy(&mode, argv[0], 4), std::memcpy(&hold, argv[1], 4);
        std::memcpy(&sensitivity, argv[2], 4), std::memcpy(&blackout, argv[3], 4);
        char text[64];
        std::snprintf(text, sizeof text, "%d %d %g %d;", mode, hold, sensitivity, blackout);
        *static_cast<std::string*>(out) += text;
        return 0;
    }, &answers);
    // A port free a moment ago: the surface's own, given up for the show.
    const int port = 47200 + getpid() % 500;
    lo_address show = lo_address_new("127.0.0.1", std::to_string(port).c_str());

    const std::vector<std::pair<const char*, const char*>> taps = {
        {"3", "mode 2"}, {"Right", "next"}, {"space", "hold on"}, {"s", "swell"}, {"plus", "sensitivity 1.25"},
        {"KP_Subtract", "sensitivity 1"}, {"minus", "sensitivity 0.8"}, {"0", "sensitivity 1"}, {"Left", "previous"},
        {"space", "hold off"}, {"1", "mode 0"}, {"2", "mode 1"}};
    const ProcessOptions po{
        .env = {"DISPLAY=" + x.display(), "GLOWCAM_FRAME_STATS=" + stats}, .unset_env = {"SDL_VIDEODRIVER"},
        .timeout_s = 50.0, .while_running = [&](int) {
            ASSERT_TRUE(wait_for_frame_stats(stats, 2, 20));
            size_t count = 0;
            for (const auto& [key, action] : taps) {
                EXPECT_TRUE(x11_tap(x.display(), key));
                ASSERT_TRUE(wait_for_lines(saved, ++count)) << key;
                EXPECT_EQ(action_of(lines_of(saved).back()), action) << key;
            }
            const std::string oscsend = "oscsend 127.0.0.1 " + std::to_string(port);
            EXPECT_EQ(std::system((oscsend + " /glowcam/mode f 2.0").c_str()), 0);
            // Bad ones at once: the first is said, the rest within the second not.
            lo_send_from(show, surface, LO_TT_IMMEDIATE, "/glowcam/dance", "i", 1);
            lo_send_from(show, surface, LO_TT_IMMEDIATE, "/glowcam/mode", "i", 7);
            lo_send_from(show, surface, LO_TT_IMMEDIATE, "/glowcam/blackout", "s", "on");
            ASSERT_TRUE(wait_for_lines(saved, ++count));
            lo_send_from(show, surface, LO_TT_IMMEDIATE, "/glowcam/hold", "i", 1);
            for (int i = 0; i < 300 && answers.empty(); ++i)
                lo_server_recv_noblock(surface, 20);
            EXPECT_EQ(answers, "2 1 1 0;") << "mode 2 from oscsend, held from the surface";
            EXPECT_TRUE(x11_tap(x.display(), "b"));
            ASSERT_TRUE(wait_for_lines(saved, count + 2));
            EXPECT_TRUE(x11_tap(x.display(), "Escape"));
        }};
    ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "160x120", "--camera", "test",
                                   "--no-sound", "--osc", "127.0.0.1:" + std::to_string(port), "--save-cues", saved},
                                  po);
    EXPECT_EQ(r.exit_code, 27) << r.err;
    EXPECT_NE(r.err.find("OSC message ignored: unknown address /glowcam/dance\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("ignored", r.err.find("ignored") + 1), std::string::npos) << "one line a second at most";
    lo_address_free(show);
    lo_server_free(surface);

    // The saved performance, each line "SECONDS ACTION", rendered again: the
    // first frame at or after each pick shows the mode the live show showed,
    // where no other action came before that frame.
    const std::vector<std::string> lines = lines_of(saved);
    ASSERT_EQ(lines.size(), taps.size() + 3);
    EXPECT_TRUE(action_of(lines[taps.size()]) == "mode 2" && action_of(lines.back()) == "blackout on");
    std::vector<double> times;
    for (const std::string& l : lines)
        times.push_back(std::stod(l));
    const double start = times.front() - 0.05, seconds = times.back() - start;
    // About 200 frames: the slower the live show took the keys (a sanitizer
    // build), the further apart its actions, the fewer frames it needs.
    const int fps = std::clamp(static_cast<int>(200.0 / seconds), 10, 200);
    const std::vector<std::string> timing = {"--fps", std::to_string(fps), "--start", std::to_string(start), "--duration",
                                             std::to_string(seconds)};
    const auto replayed = render_with_cues(temp_path("replayed"), read_file(saved), timing);
    // The same performance with one mode held throughout: the swell and the
    // sensitivity as played, so only the mode tells the renders apart.
    std::string rest;
    for (const std::string& l : lines)
        if (const std::string a = action_of(l); a.rfind("mode", 0) && a.rfind("hold", 0) && a != "next" && a != "previous")
            rest += l + "\n";
    const auto held = render_held_modes(temp_path("held"), rest, timing);
    // The second frame at or after it, safely past it.
    const int after[] = {2, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0, 1, 2};  // the mode after each line
    int checked = 0;
    for (size_t i = 0; i < std::size(after); ++i) {
        const size_t k = static_cast<size_t>(std::ceil((times[i] - start) * fps)) + 1;
        if (k >= replayed.size() || start + static_cast<double>(k) / fps + 0.005 >= times[i + 1])
            continue;
        EXPECT_EQ(nearest_mode(replayed, held, k), after[i]) << lines[i];
        ++checked;
    }
    EXPECT_GE(checked, 6) << "actions came too close together to be seen";
    for (const char* name : {"replayed", "held0", "held1", "held2", "played.cues", "play.stats", "replayed.cues",
                             "held0.cues", "held1.cues", "held2.cues"})
        std::filesystem::remove_all(temp_path(name));
}

// What cannot be played stops the program before the show starts, with one
// line: a cue file with a mistake (2), a --save-cues file or an OSC port that
// cannot be had (1).
TEST(Play, BadCuesAFileOrAPortThatCannotBeHadEndBeforeTheShow)
{
    const std::string cues = temp_path("bad.cues");
    std::ofstream(cues) << "1 mode 1\n2 mode 5\n";
    lo_server taken = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
    ASSERT_NE(taken, nullptr);
    const std::string port = std::to_string(lo_server_get_port(taken));
    const struct { std::vector<std::string> args; int code; std::string line; } cases[] = {
        {{"--cues", cues}, 2, "glowcam: " + cues + ":2: mode wants 0, 1 or 2, not 5\n"},
        {{"--render", temp_path("never"), "--cues", temp_path("missing.cues")}, 2,
         "glowcam: cannot read " + temp_path("missing.cues") + ": No such file or directory\n"},
        {{"--save-cues", "/nonexistent/set.cues"}, 1,
         "glowcam: cannot write /nonexistent/set.cues: No such file or directory\n"},
        {{"--osc", port}, 1, "glowcam: cannot listen for OSC on 127.0.0.1:" + port + ": Address already in use\n"}};
    for (const auto& c : cases) {
        std::vector<std::string> argv = {glowcam_exe(), "--no-dialog"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ProcessResult r = run_process(argv, {.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"}});
        EXPECT_EQ(r.exit_code, c.code) << r.err;
        EXPECT_EQ(r.err, c.line);
    }
    EXPECT_FALSE(std::filesystem::exists(temp_path("never")));
    lo_server_free(taken);
}
