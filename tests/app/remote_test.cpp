// The remote page's server: what each request gets, decided without a
// network; the picture, key, address and QR code; then the server itself
// over HTTP, with the show's side played by the test.

#include "app/remote.h"
#include "tests/support/http.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

namespace {
const std::string key = "k3y-0123";
}  // namespace

TEST(RemoteRequest, ABodyIsOneActionOfAtMostAKilobyteAsLongAsItsHeadersSay)
{
    const struct { std::string body; long long length; int status; const char* reason; } cases[] = {
        {"next" + std::string(1020, ' '), 1024, 204, ""},
        {"mode 1", 7, 400, "the body is not as long as its Content-Length"},
        {"next" + std::string(1021, ' '), 1025, 413, "an action is one line of at most 1024 bytes"},
        {"mode 1", -1, 411, "an action needs its Content-Length"}, {"", 0, 400, "no action"}};
    for (const auto& c : cases) {
        const RemoteReply r = remote_answer({"POST", "/action", key, c.length, c.body}, key);
        EXPECT_TRUE(r.status == c.status && r.reason == c.reason) << c.length << ": " << r.status << " " << r.reason;
    }
    EXPECT_EQ(remote_answer({"GET", "/", "", 0, ""}, "").status, 403) << "no key lets nothing in";
    // Refused on the headers alone, before a body is read.
    EXPECT_EQ(remote_check_headers({"POST", "/action", key, 1 << 30, ""}, key).status, 413);
    EXPECT_EQ(remote_check_headers({"POST", "/action", key, 6, ""}, key).status, 0);
}

TEST(RemotePicture, AFrameBecomesAnUprightJpeg320Wide)
{
    // As glReadPixels gives it, bottom row first: white above, black below.
    const int w = 640, h = 480;
    std::vector<unsigned char> frame(w * h * 3);
    for (int i = 0; i < w * h * 3; ++i)
        frame[i] = i / 3 / w >= h / 2 ? 255 : 0;
    std::string jpeg;
    int pw = 0, ph = 0;
    std::vector<unsigned char> rgb;
    ASSERT_TRUE(remote_preview_jpeg(frame.data(), w, h, &jpeg) && decode_jpeg(jpeg, &pw, &ph, &rgb));
    EXPECT_TRUE(pw == 320 && ph == 240 && rgb[(40 * pw) * 3] > 200 && rgb[(200 * pw) * 3] < 50) << pw << "x" << ph;
    ASSERT_TRUE(remote_preview_jpeg(frame.data(), 1280, 120, &jpeg) && decode_jpeg(jpeg, &pw, &ph, &rgb));
    EXPECT_TRUE(pw == 320 && ph == 30) << pw << "x" << ph;
    EXPECT_FALSE(remote_preview_jpeg(frame.data(), 0, 250, &jpeg));
}

TEST(RemoteAddress, ARandomKeyAnAddressToReachAndItsQrCode)
{
    std::set<std::string> keys;
    for (int i = 0; i < 20; ++i)
        keys.insert(remote_random_key());
    EXPECT_TRUE(keys.size() == 20 && keys.begin()->size() == 24 &&
                keys.begin()->find_first_not_of("0123456789abcdef") == std::string::npos) << *keys.begin();
    EXPECT_EQ(remote_page_url("192.168.4.2", 80, "k"), "http://192.168.4.2:80/?key=k");
    // On every interface: an address of this machine, not 0.0.0.0.
    const std::string url = remote_page_url("0.0.0.0", 9, "k"), host = url.substr(7, url.size() - 16);
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{AF_INET, 0, {}, {}};
    EXPECT_TRUE(url.ends_with(":9/?key=k") && inet_pton(AF_INET, host.c_str(), &a.sin_addr) == 1 &&
                host != "0.0.0.0" && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) << url;
    close(s);
    // Version 3: 29 modules and 2 of quiet zone each side, two rows a line,
    // each a half block in explicit black (30, 40) or white (97, 107).
    const std::string qr = remote_qr_text("http://192.168.1.20:8080/?key=0123456789abcdef01234567");
    std::string quiet;  // the top line, then the finder pattern's corner under two modules of quiet zone
    for (int i = 0; i < 37; ++i)
        quiet += i == 33 ? "\033[0m\n" : i == 36 ? "\033[30m\033[40m\u2580" : "\033[97m\033[107m\u2580";
    EXPECT_TRUE(std::count(qr.begin(), qr.end(), '\n') == 17 && qr.starts_with(quiet)) << qr;
    EXPECT_NE(remote_qr_text("http://192.168.1.21:8080/?key=0123456789abcdef01234567"), qr);
}

TEST(RemoteServer, ServesThePageStateAndActionsOverHttpAndNothingElse)
{
    const int port = free_tcp_port();
    const std::string base = "http://127.0.0.1:" + std::to_string(port), q = "?key=" + key;
    const std::string by_header = std::string(remote_key_header) + ": " + key;
    std::string error;
    ASSERT_TRUE(remote_start("127.0.0.1", port, key, &error)) << error;
    remote_publish({{1, true, 2.0, false}, 3.5});
    const struct { const char* method; std::string path, body, header; int status; const char *type, *start; } cases[] =
    {
        {"GET", "/", "", "", 403, "text/plain", "this needs the key the show printed at start\n"},
        {"GET", "/" + q, "", "", 200, "text/html", "<!DOCTYPE html>"},
        {"GET", "/state", "", by_header, 200, "application/json",
         "{\"mode\":1,\"hold\":true,\"blackout\":false,\"sensitivity\":2,\"show_time\":3.500}"},
        {"POST", "/action" + q, "blackout on", "", 204, "", ""}, {"POST", "/action", "mode 2", by_header, 204, "", ""},
        {"POST", "/action" + q, "mode 7", "", 400, "text/plain", "mode wants 0, 1 or 2, not 7\n"},
        {"POST", "/action" + q, std::string(5000, 'x'), "", 413, "text/plain", "an action is one line"},
        {"POST", "/action?key=k3y-012", "mode 1", "", 403, "text/plain", "this needs"},
        {"GET", "/state?key=k3y-01234", "", "", 403, "", ""}, {"GET", "/state?key=K3y-0123", "", "", 403, "", ""},
        {"GET", "/etc/passwd", "", "", 403, "", ""}, {"GET", "/state/" + q, "", "", 404, "", ""},
        {"POST", "/state" + q, "", "", 405, "text/plain", "/state takes GET\n"},
        {"GET", "/action" + q, "", "", 405, "", ""},
        {"GET", "/state" + q, "abc", "", 400, "", "a request here has no body"},
        {"POST", "/action" + q, "sensitivity 1.5\n", "", 204, "", ""},
        {"GET", "/../etc/passwd" + q, "", "", 404, "text/plain", "no such page\n"},
        {"GET", "/live" + q, "", "", 400, "", ""},  // not a WebSocket handshake
        {"GET", "/preview.jpg" + q, "", "", 503, "text/plain", "no picture yet"}};  // no frame drawn
    for (const auto& c : cases) {
        const HttpReply r = http(c.method, base + c.path, c.body, {c.header.empty() ? "Accept: */*" : c.header});
        EXPECT_TRUE(r.status == c.status && r.type.starts_with(c.type) && r.body.starts_with(c.start))
            << c.method << " " << c.path << ": " << r.status << " " << r.type << " " << r.body.substr(0, 80);
    }
    const std::string page = http("GET", base + "/" + q).body;
    EXPECT_TRUE(page.find("http:") == page.find("https:")) << "the page fetches nothing from elsewhere";
    // A body too long is refused on its headers: a client that waits to be told to go on is not.
    sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    const timeval limit{5, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const std::string head =
        "POST /action" + q + " HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 1000000\r\n\r\n";
    char got[13] = {};
    EXPECT_TRUE(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && send(s, head.data(), head.size(), 0) &&
                recv(s, got, 12, MSG_WAITALL) == 12 && std::string(got) == "HTTP/1.1 413") << got;
    close(s);
    std::vector<Action> taken = remote_take();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_TRUE(taken[0].kind == ActionKind::blackout && taken[1].kind == ActionKind::mode && taken[1].value == 2.0 &&
                taken[2].kind == ActionKind::sensitivity && taken[2].value == 1.5);
    // What the show has not taken yet is bounded: a flood is refused.
    int accepted = 0;
    for (int i = 0; i < 300; ++i)
        accepted += http("POST", base + "/action" + q, "swell").status == 204;
    EXPECT_EQ(accepted, 256);
    EXPECT_EQ(remote_take().size(), 256u);
    remote_stop();

    // A port taken or an address that is none: one line; nothing is left of a start that failed.
    const int taken_by = socket(AF_INET, SOCK_STREAM, 0), reuse = 1;  // past the server's closed connections
    setsockopt(taken_by, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    ASSERT_TRUE(bind(taken_by, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(taken_by, 1) == 0);
    EXPECT_FALSE(remote_start("127.0.0.1", port, key, &error));
    EXPECT_EQ(error, "cannot serve the remote page on 127.0.0.1:" + std::to_string(port) + ": Address already in use");
    close(taken_by);
    EXPECT_FALSE(remote_start("300.1.1.1", port, key, &error));
    EXPECT_EQ(error, "cannot serve the remote page on 300.1.1.1:" + std::to_string(port) + ": not an IPv4 address");
    ASSERT_TRUE(remote_start("127.0.0.1", port, key, &error)) << error;
    EXPECT_EQ(http("GET", base + "/state" + q).status, 200);
    remote_stop();
}
