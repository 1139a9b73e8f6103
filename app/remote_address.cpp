#include "app/remote.h"

#include <qrencode.h>

#include <cstdio>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/random.h>
#include <unistd.h>

namespace {

// This machine's IPv4 address on its network: the one it reaches the world
// from (a UDP socket is connected, nothing is sent), else that of the first
// interface up (a machine that is the network's hotspot may have no route
// out), else 127.0.0.1.
std::string network_address()
{
    in_addr found{htonl(INADDR_LOOPBACK)};
    sockaddr_in a{AF_INET, htons(9), {htonl(0xC0000201)}, {}};  // 192.0.2.1, kept for documentation
    socklen_t size = sizeof a;
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifaddrs* all = nullptr;
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        found = a.sin_addr;
    else if (getifaddrs(&all) == 0)
        for (const ifaddrs* i = all; i && found.s_addr == htonl(INADDR_LOOPBACK); i = i->ifa_next)
            if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET && (i->ifa_flags & IFF_UP) &&
                !(i->ifa_flags & IFF_LOOPBACK))
                found = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
    if (all)
        freeifaddrs(all);
    close(s);
    char text[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &found, text, sizeof text);
}

}  // namespace

std::string remote_random_key()
{
    // Up to 256 bytes come whole once the kernel's pool is ready.
    unsigned char bytes[12];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        return "";
    std::string key;
    for (unsigned char b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        key += hex;
    }
    return key;
}

std::string remote_page_url(const std::string& host, int port, const std::string& key)
{
    return "http://" + (host == "0.0.0.0" ? network_address() : host) + ":" + std::to_string(port) + "/?key=" + key;
}

std::string remote_qr_text(const std::string& url)
{
    QRcode* code = QRcode_encodeString(url.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1);
    if (!code)
        return "";
    // Two modules of quiet zone around the code, as scanners want.
    const int quiet = 2, side = code->width + 2 * quiet;
    auto dark = [&](int x, int y) {
        x -= quiet;
        y -= quiet;
        return x >= 0 && y >= 0 && x < code->width && y < code->width && (code->data[y * code->width + x] & 1);
    };
    // Each character shows a module above (its foreground, the upper half
    // block) and one below (its background).
    std::string text;
    for (int y = 0; y < side; y += 2) {
        for (int x = 0; x < side; ++x) {
            text += dark(x, y) ? "\033[30m" : "\033[97m";
            text += dark(x, y + 1) ? "\033[40m" : "\033[107m";
            text += "\u2580";
        }
        text += "\033[0m\n";
    }
    QRcode_free(code);
    return text;
}
