// The remote page's server: what each request gets, decided without a
// network; the picture, key, address and QR code; then the server itself,
// over HTTP and a WebSocket, with the show's side played by the test.

#include "app/remote.h"
#include "tests/support/http.h"

#include <gtest/gtest.h>
#include <libsoup/soup.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <set>

namespace {

const std::string key = "k3y-0123";

RemoteReply answer(const char* method, const char* path, const std::string& body = "", const std::string& given = key,
                   long long length = -2)
{
    return remote_answer({method, path, given, length == -2 ? static_cast<long long>(body.size()) : length, body}, key);
}

}  // namespace

TEST(RemoteRequest, OnlyThePagesPathsWithTheKeyAreAnswered)
{
    using T = RemoteTarget;
    const struct { const char* method; const char* path; std::string given; int status; T target; } cases[] = {
        {"GET", "/", key, 200, T::page}, {"GET", "/state", key, 200, T::state},
        {"GET", "/preview.jpg", key, 200, T::preview}, {"GET", "/live", key, 200, T::live},
        // Without the key nothing, not even whether a path exists.
        {"GET", "/", "", 403, T::none}, {"GET", "/state", "k3y-012", 403, T::none},
        {"GET", "/state", "k3y-01234", 403, T::none}, {"GET", "/state", "K3y-0123", 403, T::none},
        {"GET", "/etc/passwd", "", 403, T::none}, {"POST", "/action", "x", 403, T::none},
        {"GET", "/etc/passwd", key, 404, T::none}, {"GET", "/index.html", key, 404, T::none},
        {"GET", "/state/", key, 404, T::none}, {"GET", "", key, 404, T::none},
        {"POST", "/state", key, 405, T::none}, {"GET", "/action", key, 405, T::none}};
    for (const auto& c : cases) {
        const RemoteReply r = answer(c.method, c.path, "", c.given);
        EXPECT_TRUE(r.status == c.status && r.target == c.target) << c.method << " " << c.path << ": " << r.status;
        EXPECT_EQ(r.reason.empty(), c.status < 400) << c.path;
    }
    EXPECT_EQ(answer("GET", "/", "", "").reason, "this needs the key the show printed at start");
    EXPECT_EQ(remote_answer({"GET", "/", "", 0, ""}, "").status, 403) << "no key lets nothing in";
    EXPECT_EQ(answer("GET", "/state", "abc").status, 400) << "a body where none belongs";
}

TEST(RemoteRequest, ActionsAreTheCueFilesWordsAndRefusedWithTheirReason)
{
    RemoteReply r = answer("POST", "/action", "mode 1");
    EXPECT_TRUE(r.status == 204 && r.action.kind == ActionKind::mode && r.action.value == 1.0);
    r = answer("POST", "/action", "sensitivity 1.5\n");
    EXPECT_TRUE(r.status == 204 && r.action.kind == ActionKind::sensitivity && r.action.value == 1.5);
    r = answer("POST", "/action", "next" + std::string(1020, ' '));  // 1 kB, padding included
    EXPECT_TRUE(r.status == 204 && r.action.kind == ActionKind::next) << r.reason;
    const struct { std::string body; long long length; int status; const char* reason; } bad[] = {
        {"mode 3", 6, 400, "mode wants 0, 1 or 2, not 3"}, {"dance", 5, 400, "unknown action 'dance'"},
        {"", 0, 400, "no action"}, {"mode 1\nnext", 11, 400, "'next' after the action"},
        {"mode 1", 7, 400, "the body is not as long as its Content-Length"},
        {"next" + std::string(1021, ' '), 1025, 413, "an action is one line of at most 1024 bytes"},
        {"mode 1", -1, 411, "an action needs its Content-Length"}};
    for (const auto& b : bad) {
        r = answer("POST", "/action", b.body, key, b.length);
        EXPECT_TRUE(r.status == b.status && r.reason == b.reason) << b.body << ": " << r.status << " " << r.reason;
    }
    // Refused on the headers alone, before a body is read.
    EXPECT_EQ(remote_check_headers({"POST", "/action", key, 1 << 30, ""}, key).status, 413);
    EXPECT_EQ(remote_check_headers({"POST", "/action", key, 6, ""}, key).status, 0);
}

TEST(RemotePicture, AFrameBecomesAnUprightJpeg320Wide)
{
    // As glReadPixels gives it, bottom row first: white above, black below,
    // the left quarter red.
    const int w = 640, h = 480;
    std::vector<unsigned char> frame(w * h * 3);
    for (int i = 0; i < w * h; ++i) {
        const bool top = i / w >= h / 2, left = i % w < w / 4;
        frame[i * 3] = left || top ? 255 : 0;
        frame[i * 3 + 1] = frame[i * 3 + 2] = !left && top ? 255 : 0;
    }
    std::string jpeg;
    int pw = 0, ph = 0;
    std::vector<unsigned char> rgb;
    ASSERT_TRUE(remote_preview_jpeg(frame.data(), w, h, &jpeg) && decode_jpeg(jpeg, &pw, &ph, &rgb));
    ASSERT_TRUE(pw == 320 && ph == 240) << pw << "x" << ph;
    auto at = [&](int x, int y, int c) { return static_cast<int>(rgb[(y * pw + x) * 3 + c]); };
    EXPECT_TRUE(at(240, 40, 1) > 200 && at(240, 200, 1) < 50) << "white above, black below";
    EXPECT_TRUE(at(20, 200, 0) > 200 && at(20, 200, 1) < 50) << "red on the left";
    std::vector<unsigned char> wide(1000 * 250 * 3, 128);
    ASSERT_TRUE(remote_preview_jpeg(wide.data(), 1000, 250, &jpeg) && decode_jpeg(jpeg, &pw, &ph, &rgb));
    EXPECT_TRUE(pw == 320 && ph == 80 && std::abs(mean_level(rgb) - 128) < 3) << pw << "x" << ph;
    EXPECT_FALSE(remote_preview_jpeg(wide.data(), 0, 250, &jpeg));
}

TEST(RemoteAddress, ARandomKeyAnAddressToReachAndItsQrCode)
{
    std::set<std::string> keys;
    for (int i = 0; i < 20; ++i)
        keys.insert(remote_random_key());
    EXPECT_EQ(keys.size(), 20u);
    EXPECT_TRUE(keys.begin()->size() == 24 && keys.begin()->find_first_not_of("0123456789abcdef") == std::string::npos);
    EXPECT_EQ(remote_page_url("192.168.4.2", 80, "k"), "http://192.168.4.2:80/?key=k");
    // On every interface: the address of this machine that a phone reaches,
    // not the loopback where a default route leads elsewhere.
    const std::string url = remote_page_url("0.0.0.0", 9, "k");
    ASSERT_TRUE(url.starts_with("http://") && url.ends_with(":9/?key=k")) << url;
    const std::string host = url.substr(7, url.size() - 16);
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{AF_INET, 0, {}, {}};
    EXPECT_TRUE(inet_pton(AF_INET, host.c_str(), &a.sin_addr) == 1 && host != "0.0.0.0" &&
                bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) << host << " is not this machine's";
    close(s);
    std::ifstream routes("/proc/net/route");
    const bool routed = std::string(std::istreambuf_iterator<char>(routes), {}).find("\t00000000\t") != std::string::npos;
    EXPECT_TRUE(host != "127.0.0.1" || !routed) << "the loopback, with a route out";

    // Version 3: 29 modules and 2 of quiet zone each side, two rows a line,
    // each a half block in explicit black (30, 40) or white (97, 107).
    const std::string qr = remote_qr_text("http://192.168.1.20:8080/?key=0123456789abcdef01234567");
    std::vector<std::string> lines;
    for (size_t at = 0, nl; (nl = qr.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(qr.substr(at, nl - at));
    ASSERT_EQ(lines.size(), 17u);
    const std::string white = "\033[97m\033[107m\u2580", dark_over_white = "\033[30m\033[107m\u2580";
    const std::string dark = "\033[30m\033[40m\u2580", white_over_dark = "\033[97m\033[40m\u2580";
    std::string quiet, finder;  // the top line; the finder pattern's first two rows
    for (int i = 0; i < 33; ++i)
        quiet += white;
    finder = white + white + dark;
    for (int i = 0; i < 5; ++i)
        finder += dark_over_white;
    finder += dark + white;
    EXPECT_EQ(lines[0], quiet + "\033[0m");
    EXPECT_EQ(lines[1].substr(0, finder.size()), finder);
    EXPECT_NE(remote_qr_text("http://192.168.1.21:8080/?key=0123456789abcdef01234567"), qr);
}

TEST(RemoteServer, ServesThePageStateAndActionsOverHttp)
{
    const int port = free_tcp_port();
    const std::string base = "http://127.0.0.1:" + std::to_string(port), q = "?key=" + key;
    std::string error;
    ASSERT_TRUE(remote_start("127.0.0.1", port, key, &error)) << error;
    remote_publish({{1, true, 2.0, false}, 3.5});
    HttpReply r = http("GET", base + "/");
    EXPECT_TRUE(r.status == 403 && r.body == "this needs the key the show printed at start\n") << r.body;
    r = http("GET", base + "/" + q);
    EXPECT_TRUE(r.status == 200 && r.type == "text/html");
    for (const char* label : {">Mode 1<", ">Mode 2<", ">Mode 3<", ">Previous<", ">Next<", ">Hold<", ">Swell<",
                              ">Blackout<", ">Sensitivity<", "min=\"0\" max=\"4\""})
        EXPECT_NE(r.body.find(label), std::string::npos) << label;
    EXPECT_EQ(r.body.find("http"), std::string::npos) << "the page fetches nothing from elsewhere";
    r = http("GET", base + "/state", "", {std::string(remote_key_header) + ": " + key});
    EXPECT_EQ(r.type, "application/json");
    EXPECT_EQ(r.body, "{\"mode\":1,\"hold\":true,\"blackout\":false,\"sensitivity\":2,\"show_time\":3.500}");

    EXPECT_EQ(http("POST", base + "/action" + q, "blackout on").status, 204);
    EXPECT_EQ(http("POST", base + "/action", "mode 2", {std::string(remote_key_header) + ": " + key}).status, 204);
    r = http("POST", base + "/action" + q, "mode 7");
    EXPECT_TRUE(r.status == 400 && r.body == "mode wants 0, 1 or 2, not 7\n") << r.body;
    EXPECT_EQ(http("POST", base + "/action" + q, std::string(5000, 'x')).status, 413);
    EXPECT_EQ(http("POST", base + "/action?key=wrong", "mode 1").status, 403);
    EXPECT_EQ(http("GET", base + "/../etc/passwd" + q).status, 404);
    EXPECT_EQ(http("GET", base + "/live" + q).status, 400) << "not a WebSocket handshake";
    EXPECT_EQ(http("GET", base + "/preview.jpg" + q).status, 503) << "no frame drawn yet";
    std::vector<Action> taken = remote_take();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_TRUE(taken[0].kind == ActionKind::blackout && taken[1].kind == ActionKind::mode && taken[1].value == 2.0);
    // What the show has not taken yet is bounded: a flood is refused.
    int accepted = 0;
    for (int i = 0; i < 300; ++i)
        accepted += http("POST", base + "/action" + q, "swell").status == 204;
    EXPECT_EQ(accepted, 256);
    EXPECT_EQ(remote_take().size(), 256u);
    remote_stop();

    // A port taken is said in one line.
    const int taken_by = socket(AF_INET, SOCK_STREAM, 0), reuse = 1;  // past the server's closed connections
    setsockopt(taken_by, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    ASSERT_TRUE(bind(taken_by, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(taken_by, 1) == 0);
    EXPECT_FALSE(remote_start("127.0.0.1", port, key, &error));
    EXPECT_EQ(error, "cannot serve the remote page on 127.0.0.1:" + std::to_string(port) + ": Address already in use");
    close(taken_by);
    EXPECT_FALSE(remote_start("300.1.1.1", port, key, &error));
    EXPECT_EQ(error, "cannot serve the remote page on 300.1.1.1:" + std::to_string(port) + ": not an IPv4 address");
    // Nothing is left of a start that failed.
    ASSERT_TRUE(remote_start("127.0.0.1", port, key, &error)) << error;
    EXPECT_EQ(http("GET", base + "/state" + q).status, 200);
    remote_stop();
}

namespace {
struct Listener { SoupWebsocketConnection* ws = nullptr; bool failed = false; std::vector<std::string> got; };
}  // namespace

TEST(RemoteServer, PagesListeningHearOfAChangeAtOnce)
{
    const int port = free_tcp_port();
    std::string error;
    ASSERT_TRUE(remote_start("127.0.0.1", port, key, &error)) << error;
    remote_publish({{0, false, 1.0, false}, 1.0});
    Listener l;
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    auto run_until = [&](auto done, double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done() && std::chrono::steady_clock::now() < end)
            g_main_context_iteration(context, FALSE);
        return done();
    };
    SoupSession* session = soup_session_new_with_options("proxy-resolver", nullptr, nullptr);
    SoupMessage* msg = soup_message_new("GET", ("ws://127.0.0.1:" + std::to_string(port) + "/live?key=" + key).c_str());
    soup_session_websocket_connect_async(session, msg, nullptr, nullptr, G_PRIORITY_DEFAULT, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* l = static_cast<Listener*>(data);
            l->ws = soup_session_websocket_connect_finish(SOUP_SESSION(source), result, nullptr);
            l->failed = !l->ws;
            if (l->ws)
                g_signal_connect(l->ws, "message", G_CALLBACK(+[](SoupWebsocketConnection*, gint, GBytes* b, gpointer d) {
                    gsize n = 0;
                    const char* text = static_cast<const char*>(g_bytes_get_data(b, &n));
                    static_cast<Listener*>(d)->got.emplace_back(text, n);
                }), l);
        }, &l);
    ASSERT_TRUE(run_until([&] { return l.ws || l.failed; }, 10) && l.ws) << "no WebSocket";
    // Where the show stands at once; then each change within a quarter of
    // a second, and the time once a second.
    ASSERT_TRUE(run_until([&] { return !l.got.empty(); }, 5));
    EXPECT_EQ(l.got[0], "{\"mode\":0,\"hold\":false,\"blackout\":false,\"sensitivity\":1,\"show_time\":1.000}");
    const RemoteState changes[] = {{{0, true, 1.0, false}, 1.2}, {{0, true, 1.5, false}, 1.3},
                                   {{2, true, 1.5, false}, 1.4}, {{2, true, 1.5, true}, 1.5}};
    std::string changed;
    for (const RemoteState& c : changes) {
        const auto changed_at = std::chrono::steady_clock::now();
        remote_publish(c);
        changed = remote_state_json(c);
        ASSERT_TRUE(run_until([&] { return l.got.back() == changed; }, 5)) << changed;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - changed_at).count(), 0.25);
    }
    const size_t told = l.got.size();
    ASSERT_TRUE(run_until([&] { return l.got.size() > told; }, 3));
    EXPECT_EQ(l.got.back(), changed);
    remote_stop();  // closes the page's connection
    EXPECT_TRUE(run_until([&] { return soup_websocket_connection_get_state(l.ws) == SOUP_WEBSOCKET_STATE_CLOSED; }, 5));
    for (gpointer object : {static_cast<gpointer>(l.ws), static_cast<gpointer>(msg), static_cast<gpointer>(session)})
        g_object_unref(object);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
}
