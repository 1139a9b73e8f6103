// The show played from its remote page: Debian's Chromium opens the page as
// a phone does and taps it, the show follows and its picture comes back;
// what OSC or a key changes shows on the page within a quarter of a second;
// a flood of actions leaves the frame rate as it was; the page's address is
// printed, as a QR code on a terminal, and a port in use ends the program.

#include "tests/reliability/show_support.h"
#include "tests/support/browser.h"
#include "tests/support/http.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
const std::string key = "remote-test-key";

// The seconds it took until `done` held; -1 when it did not within 5 s.
double seconds_until(const std::function<bool()>& done)
{
    const auto start = Clock::now();
    return poll_until(done, 5.0, 5) ? std::chrono::duration<double>(Clock::now() - start).count() : -1.0;
}

// The live show with its remote page and OSC on `port`, its actions saved
// in `saved`, played by `drive`; ended by its Escape key.
ProcessResult show(const XServer& x, int port, const std::string& stats, const std::string& saved,
                   const std::function<void()>& drive)
{
    const std::string p = std::to_string(port);
    return run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "320x240", "--camera", "test", "--no-sound",
                        "--remote", p, "--remote-key", key, "--osc", p, "--save-cues", saved},
                       {.env = {"DISPLAY=" + x.display(), "GLOWCAM_FRAME_STATS=" + stats},
                        .unset_env = {"SDL_VIDEODRIVER"}, .timeout_s = 50.0, .while_running = [&](int) {
                            ASSERT_TRUE(wait_for_frame_stats(stats, 1, 20));
                            drive();
                            std::system(("DISPLAY=" + x.display() + " xdotool key Escape").c_str());
                        }});
}

}  // namespace

TEST(Remote, APhoneTapsThePageAndTheShowFollowsWhoeverPlaysIt)
{
    XServer x = xvfb(640, 480);
    Browser browser;
    ASSERT_TRUE(x.ok() && browser.ok());
    const int port = free_tcp_port();
    const std::string base = "http://127.0.0.1:" + std::to_string(port), q = "?key=" + key;
    auto shown = [&](const std::string& id, const char* what = "textContent") {
        return browser.eval("document.getElementById('" + id + "')." + what);
    };
    auto level = [&] {  // the picture's mean level, when it is one of the show 320 x 240
        int w = 0, h = 0;
        std::vector<unsigned char> rgb;
        const HttpReply r = http("GET", base + "/preview.jpg" + q);
        const bool ok = r.type == "image/jpeg" && decode_jpeg(r.body, &w, &h, &rgb) && w == 320 && h == 240;
        return ok ? std::accumulate(rgb.begin(), rgb.end(), 0.0) / static_cast<double>(rgb.size()) : -1.0;
    };
    ProcessResult r = show(x, port, temp_path("remote.stats"), temp_path("remote.cues"), [&] {
        ASSERT_TRUE(browser.open(base + "/" + q));
        // Made for a phone held upright: nothing to scroll sideways, every
        // control at least 48 px each way, labelled as the show's actions.
        EXPECT_EQ(browser.eval("document.documentElement.scrollWidth <= innerWidth && [...document.querySelectorAll("
                               "'button, input')].every(e => Math.min(e.offsetWidth, e.offsetHeight) >= 48)"), "true");
        EXPECT_EQ(browser.eval("[...document.querySelectorAll('button, label')].map(e => e.textContent).join('|')"),
                  "Mode 1|Mode 2|Mode 3|Previous|Next|Hold|Swell|Blackout|Sensitivity");
        ASSERT_GE(seconds_until([&] { return shown("mode") == "1" && level() > 10.0; }), 0) << "no state or picture";
        EXPECT_GE(seconds_until([&] { return shown("picture", "naturalWidth") == "320"; }), 0);
        // Sixteen pages listen at most, the page itself one; those that leave free their places.
        auto listening = [&](int more) {  // how many more could listen
            return browser.eval("Promise.all([...Array(" + std::to_string(more) + ")].map(() => new Promise(r => {"
                                " const w = new WebSocket('ws://' + location.host + '/live' + location.search);"
                                " w.onopen = () => r(w); w.onerror = () => r(null); })))"
                                ".then(ws => ws.filter(w => w && !w.close()).length)");
        };
        EXPECT_EQ(listening(16), "15");
        EXPECT_GE(seconds_until([&] { return listening(15) == "15"; }), 0);

        ASSERT_TRUE(browser.tap("Mode 2"));
        EXPECT_GE(seconds_until([&] { return http("GET", base + "/state" + q).body.starts_with("{\"mode\":1,"); }), 0);
        EXPECT_GE(seconds_until([&] { return shown("mode") == "2"; }), 0);
        EXPECT_EQ(browser.eval("[...document.querySelectorAll('[aria-pressed=true]')].map(e => e.textContent)"),
                  "Mode 2");
        ASSERT_TRUE(browser.tap("Sensitivity", 0.75));  // three quarters along the slider from 0 to 4
        EXPECT_GE(seconds_until([&] { return std::abs(std::stod(shown("sensitivity")) - 3.0) < 0.3; }), 0);
        ASSERT_TRUE(browser.tap("Blackout"));
        EXPECT_GE(seconds_until([&] { return shown("blackout") == "on" && level() < 2.0; }), 0) << level();

        // Changes made elsewhere show on the page at once.
        EXPECT_EQ(std::system(("oscsend 127.0.0.1 " + std::to_string(port) + " /glowcam/mode i 2").c_str()), 0);
        const double by_osc = seconds_until([&] { return shown("mode") == "3"; });
        EXPECT_EQ(std::system(("DISPLAY=" + x.display() + " xdotool key b").c_str()), 0);
        const double by_key = seconds_until([&] { return shown("blackout") == "off"; });
        EXPECT_TRUE(by_osc >= 0 && by_osc < 0.25 && by_key >= 0 && by_key < 0.25) << by_osc << " " << by_key;
        std::printf("remote page: OSC's change shown after %.3f s, a key's after %.3f s\n", by_osc, by_key);
    });
    EXPECT_EQ(r.exit_code, 27) << r.err;
    EXPECT_NE(r.err.find("glowcam: remote control on " + base + "/" + q + "\n"), std::string::npos) << r.err;
}

TEST(Remote, AFloodOfActionsLeavesTheFrameRateAsItWas)
{
    XServer x = xvfb(640, 480);
    ASSERT_TRUE(x.ok());
    const int port = free_tcp_port();
    const std::string action = "http://127.0.0.1:" + std::to_string(port) + "/action?key=" + key;
    const std::string stats = temp_path("flood.stats"), saved = temp_path("flood.cues");
    size_t before = 0;
    int applied = 0;
    ProcessResult r = show(x, port, stats, saved, [&] {
        // Actions that leave the picture's cost as it is: mode 1 held.
        ASSERT_TRUE(http("POST", action, "mode 1").status == 204 && http("POST", action, "hold on").status == 204);
        ASSERT_TRUE(wait_for_frame_stats(stats, read_frame_stats(stats).size() + 6, 20));
        before = read_frame_stats(stats).size();
        // 100 a second for 5 s, each on its own connection, as the clock says.
        const auto start = Clock::now();
        for (int sent = 0; sent < 500; ++sent) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(10 * sent));
            applied += http("POST", action, sent % 2 ? "sensitivity 1" : "sensitivity 1.25").status == 204;
        }
        ASSERT_TRUE(wait_for_frame_stats(stats, before + 5, 20));
    });
    EXPECT_EQ(r.exit_code, 27) << r.err;
    const std::string cues = read_file(saved);
    const auto kept = std::count(cues.begin(), cues.end(), '\n') - 1;  // the actions, under a line of heading
    EXPECT_TRUE(applied == 500 && kept == 502) << applied << " applied, " << kept << " saved";
    // Frames a second in the 5 s before the flood and the 5 s of it.
    const std::vector<FrameStatsLine> lines = read_frame_stats(stats);
    double calm = 0, flooded = 0;
    for (size_t i = 0; i < 5; ++i) {
        calm += lines.at(before - 5 + i).frames / 5.0;
        flooded += lines.at(before + i).frames / 5.0;
    }
    std::printf("remote flood: %.1f frames a second before, %.1f during 100 actions a second\n", calm, flooded);
    EXPECT_GT(flooded, 0.8 * calm);
}

TEST(Remote, TheProgramSaysWhereItsPageIsOrEndsBeforeTheShow)
{
    // A port in use ends the program with one line, before the show, and
    // what had started (OSC on the same number, over UDP) ends cleanly.
    const int port = free_tcp_port(), s = socket(AF_INET, SOCK_STREAM, 0);
    const std::string p = std::to_string(port);
    sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    ASSERT_TRUE(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(s, 1) == 0);
    const ProcessOptions no_display{.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"}, .timeout_s = 20};
    ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--camera", "none", "--osc", p, "--remote", p}, no_display);
    close(s);
    EXPECT_TRUE(r.exit_code == 1 && r.err == "glowcam: OSC on 127.0.0.1:" + p + "\nglowcam: cannot serve the remote page on "
                                             "127.0.0.1:" + p + ": Address already in use\n") << r.exit_code << r.err;
    r = run_process({glowcam_exe(), "--no-dialog", "--camera", "none"}, no_display);
    EXPECT_EQ(r.err.find("remote"), std::string::npos) << "nothing listens unless asked: " << r.err;
    // On a terminal, listening on the network, the address comes as a QR
    // code too, not on the loopback, which no phone reaches.
    const int pty = posix_openpt(O_RDWR | O_NOCTTY);  // none in a bare chroot without /dev/pts
    if (pty < 0)
        GTEST_SKIP() << "no pseudo-terminal here: the QR code is not checked";
    close(pty);
    for (const std::string& where : {"0.0.0.0:" + p, p}) {
        const std::string command = glowcam_exe() + " --no-dialog --camera none --remote " + where + " --remote-key k";
        r = run_process({"/usr/bin/script", "-qec", command, "/dev/null"}, no_display);
        EXPECT_EQ(r.out.find("0.0.0.0") == std::string::npos && r.out.find("/?key=k\r\n") != std::string::npos &&
                  r.out.find("\033[97m\033[107m\u2580") != std::string::npos, where.size() > 5) << r.out;
    }
}
