// The show played from its remote page: Debian's Chromium opens the page as
// a phone does and taps it, the show follows and its picture comes back;
// what OSC or a key changes shows on the page within a quarter of a second;
// a flood of actions leaves the frame rate as it was; a port in use ends the
// program before the show.

#include "tests/reliability/show_support.h"
#include "tests/support/browser.h"
#include "tests/support/http.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
const std::string key = "remote-test-key";

// True once `done` holds, within `seconds`.
bool wait_until(const std::function<bool()>& done, double seconds)
{
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

std::string state(const std::string& base) { return http("GET", base + "/state?key=" + key).body; }

// The latest picture's mean level; -1 until there is one.
double picture_level(const std::string& base, int* width = nullptr, int* height = nullptr)
{
    HttpReply r = http("GET", base + "/preview.jpg?key=" + key);
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    if (r.status != 200 || r.type != "image/jpeg" || !decode_jpeg(r.body, &w, &h, &rgb))
        return -1.0;
    if (width)
        *width = w, *height = h;
    return mean_level(rgb);
}

// The saved cues' actions, joined by '|'.
std::string saved_actions(const std::string& path)
{
    std::ifstream in(path);
    std::string actions;
    for (std::string l; std::getline(in, l);)
        if (l[0] != '#')
            actions += l.substr(l.find(' ') + 1) + "|";
    return actions;
}

}  // namespace

TEST(Remote, APhoneTapsThePageAndTheShowFollowsWhoeverPlaysIt)
{
    XServer x = xvfb(640, 480);
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    Browser browser;
    ASSERT_TRUE(browser.ok());
    const int port = free_tcp_port(), osc_port = free_tcp_port();
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    const std::string stats = temp_path("remote.stats"), saved = temp_path("remote.cues");
    auto page = [&](const char* id) { return browser.eval("document.getElementById('" + std::string(id) + "').textContent"); };
    auto pressed = [&](const char* label) {
        return browser.eval("[...document.querySelectorAll('button')].find(b => b.textContent === '" +
                            std::string(label) + "').getAttribute('aria-pressed')");
    };
    const ProcessOptions po{
        .env = {"DISPLAY=" + x.display(), "GLOWCAM_FRAME_STATS=" + stats}, .unset_env = {"SDL_VIDEODRIVER"},
        .timeout_s = 50.0, .while_running = [&](int) {
            ASSERT_TRUE(wait_for_frame_stats(stats, 1, 20));
            ASSERT_TRUE(browser.open(base + "/?key=" + key));
            // Made for a phone held upright: nothing to scroll sideways, every
            // control at least 48 px each way, labelled as the show's actions.
            EXPECT_EQ(browser.eval("document.documentElement.scrollWidth <= innerWidth"), "true");
            EXPECT_EQ(browser.eval("[...document.querySelectorAll('button, input')].every(e => {"
                                   " const r = e.getBoundingClientRect(); return r.width >= 48 && r.height >= 48; })"),
                      "true");
            EXPECT_EQ(browser.eval("[...document.querySelectorAll('button, label')].map(e => e.textContent).join('|')"),
                      "Mode 1|Mode 2|Mode 3|Previous|Next|Hold|Swell|Blackout|Sensitivity");
            ASSERT_TRUE(wait_until([&] { return page("mode") == "1"; }, 5)) << "the page never showed the state";

            ASSERT_TRUE(browser.tap("Mode 2"));
            EXPECT_TRUE(wait_until([&] { return state(base).find("\"mode\":1,") != std::string::npos; }, 3))
                << state(base);
            EXPECT_TRUE(wait_until([&] { return pressed("Mode 2") == "true" && page("mode") == "2"; }, 3));
            EXPECT_EQ(pressed("Mode 1"), "false");
            ASSERT_TRUE(browser.tap("Hold"));
            EXPECT_TRUE(wait_until([&] { return pressed("Hold") == "true"; }, 3));
            // Three quarters along the slider from 0 to 4.
            ASSERT_TRUE(browser.tap("Sensitivity", 0.75));
            EXPECT_TRUE(wait_until([&] { return std::abs(std::stod(page("sensitivity")) - 3.0) < 0.3; }, 3))
                << page("sensitivity");

            // The picture: the show's window, 320 px wide, lit; black after Blackout.
            int w = 0, h = 0;
            ASSERT_TRUE(wait_until([&] { return picture_level(base, &w, &h) >= 0.0; }, 5)) << "no picture";
            EXPECT_EQ(w, 320);
            EXPECT_EQ(h, 240);
            EXPECT_GT(picture_level(base), 10.0) << "the show's picture has light";
            EXPECT_TRUE(wait_until([&] { return browser.eval("document.getElementById('picture').naturalWidth") == "320"; }, 3))
                << "the page shows no picture";
            ASSERT_TRUE(browser.tap("Blackout"));
            EXPECT_TRUE(wait_until([&] { return pressed("Blackout") == "true" && page("blackout") == "on"; }, 3));
            EXPECT_TRUE(wait_until([&] { return picture_level(base) < 2.0; }, 5)) << picture_level(base);

            // Changes made elsewhere show on the page at once.
            const std::string oscsend = "oscsend 127.0.0.1 " + std::to_string(osc_port) + " /glowcam/mode i 2";
            EXPECT_EQ(std::system(oscsend.c_str()), 0);
            auto sent = Clock::now();
            EXPECT_TRUE(wait_until([&] { return page("mode") == "3"; }, 2));
            const double by_osc = since(sent);
            EXPECT_LT(by_osc, 0.25) << "OSC's mode 2 reached the page after " << by_osc << " s";
            EXPECT_EQ(std::system(("DISPLAY=" + x.display() + " xdotool key --delay 0 b").c_str()), 0);
            sent = Clock::now();
            EXPECT_TRUE(wait_until([&] { return page("blackout") == "off"; }, 2));
            const double by_key = since(sent);
            EXPECT_LT(by_key, 0.25) << "key B reached the page after " << by_key << " s";
            std::printf("remote page: OSC's change shown after %.3f s, a key's after %.3f s\n", by_osc, by_key);
            EXPECT_EQ(pressed("Blackout"), "false");
            EXPECT_EQ(std::system(("DISPLAY=" + x.display() + " xdotool key --delay 0 Escape").c_str()), 0);
        }};
    ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "320x240", "--camera", "test",
                                   "--no-sound", "--remote", std::to_string(port), "--remote-key", key, "--osc",
                                   std::to_string(osc_port), "--save-cues", saved},
                                  po);
    EXPECT_EQ(r.exit_code, 27) << r.err;
    EXPECT_NE(r.err.find("glowcam: remote control on " + base + "/?key=" + key + "\n"), std::string::npos) << r.err;
    // The page's actions are the operator's, kept with the others.
    EXPECT_EQ(std::regex_replace(saved_actions(saved), std::regex("sensitivity 2\\.[89]\\d*|sensitivity 3[.\\d]*"), "S"),
              "mode 1|hold on|S|blackout on|mode 2|blackout off|");
}

TEST(Remote, AFloodOfActionsLeavesTheFrameRateAsItWas)
{
    XServer x = xvfb(640, 480);
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    const int port = free_tcp_port();
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    const std::string stats = temp_path("flood.stats"), saved = temp_path("flood.cues");
    // Actions that leave the picture's cost as it is: mode 1 held.
    const char* flood[] = {"mode 1", "hold on", "sensitivity 1.25", "sensitivity 1"};
    int applied = 0, sent = 0;
    size_t before = 0;
    const ProcessOptions po{
        .env = {"DISPLAY=" + x.display(), "GLOWCAM_FRAME_STATS=" + stats}, .unset_env = {"SDL_VIDEODRIVER"},
        .timeout_s = 50.0, .while_running = [&](int) {
            ASSERT_TRUE(wait_for_frame_stats(stats, 1, 20));
            ASSERT_EQ(http("POST", base + "/action?key=" + key, "mode 1").status, 204);
            ASSERT_EQ(http("POST", base + "/action?key=" + key, "hold on").status, 204);
            before = read_frame_stats(stats).size();
            ASSERT_TRUE(wait_for_frame_stats(stats, before + 5, 20));
            before = read_frame_stats(stats).size();
            // 100 a second for 5 s, each on its own connection, as the
            // clock says, not as the answers come.
            const auto start = Clock::now();
            for (; sent < 500; ++sent) {
                std::this_thread::sleep_until(start + std::chrono::milliseconds(10 * sent));
                applied += http("POST", base + "/action?key=" + key, flood[sent % 4]).status == 204;
            }
            EXPECT_LT(since(start), 6.0) << "the answers were slow";
            ASSERT_TRUE(wait_for_frame_stats(stats, before + 5, 20));
            EXPECT_EQ(std::system(("DISPLAY=" + x.display() + " xdotool key --delay 0 Escape").c_str()), 0);
        }};
    ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "320x240", "--camera", "test",
                                   "--no-sound", "--remote", std::to_string(port), "--remote-key", key, "--save-cues",
                                   saved},
                                  po);
    EXPECT_EQ(r.exit_code, 27) << r.err;
    EXPECT_EQ(applied, 500);
    const std::string actions = saved_actions(saved);
    EXPECT_EQ(std::count(actions.begin(), actions.end(), '|'), 502) << "every one saved";
    // Frames a second in the 5 s before the flood and the 5 s of it.
    const std::vector<FrameStatsLine> lines = read_frame_stats(stats);
    ASSERT_GE(lines.size(), before + 5);
    double calm = 0, flooded = 0, longest = 0;
    for (size_t i = before - 5; i < before; ++i)
        calm += lines[i].frames / 5.0;
    for (size_t i = before; i < before + 5; ++i) {
        flooded += lines[i].frames / 5.0;
        longest = std::max(longest, lines[i].longest_gap_ms);
    }
    std::printf("remote flood: %.1f frames a second before, %.1f during 100 actions a second; longest gap %.1f ms\n",
                calm, flooded, longest);
    EXPECT_GT(flooded, 0.8 * calm);
}

TEST(Remote, TheProgramSaysWhereItsPageIsOrEndsBeforeTheShow)
{
    // On a terminal, listening on the network, the address comes as a QR
    // code too; then, without a display, the show cannot start.
    const int port = free_tcp_port();
    auto on_terminal = [&](const std::string& where) {
        return run_process({"/usr/bin/script", "-qec", glowcam_exe() + " --no-dialog --camera none --remote " + where +
                            " --remote-key k", "/dev/null"}, {.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"}, .timeout_s = 20});
    };
    // A root without /dev/pts (a bare chroot) has no terminal to give.
    const int pty = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty < 0) {
        std::fprintf(stderr, "no pseudo-terminal here (%s): the QR code is not checked\n", std::strerror(errno));
    } else {
        close(pty);
        ProcessResult r = on_terminal("0.0.0.0:" + std::to_string(port));
        EXPECT_EQ(r.out.find("0.0.0.0"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(":" + std::to_string(port) + "/?key=k\r\n\033[97m\033[107m\u2580"), std::string::npos)
            << r.out;
        r = on_terminal(std::to_string(port));
        EXPECT_NE(r.out.find("glowcam: remote control on http://127.0.0.1:" + std::to_string(port) + "/?key=k\r\n"),
                  std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("\u2580"), std::string::npos) << "a phone cannot reach 127.0.0.1";
    }

    // A port in use ends the program with one line, before the show.
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    ASSERT_TRUE(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(s, 1) == 0);
    ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--remote", std::to_string(port), "--camera", "none"},
                    {.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"}, .timeout_s = 20});
    close(s);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "glowcam: cannot serve the remote page on 127.0.0.1:" + std::to_string(port) +
                         ": Address already in use\n");
}
