#include "app/remote.h"

#include <qrencode.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/random.h>

namespace {

// The interface that the default route leaves by, from /proc/net/route.
std::string default_route_interface()
{
    std::ifstream in("/proc/net/route");
    std::string line, name, destination;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        if (fields >> name >> destination && destination == "00000000")
            return name;
    }
    return "";
}

// This machine's IPv4 address on its network: that of the default route's
// interface, else of the first other one up; 127.0.0.1 where there is none.
std::string network_address()
{
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0)
        return "127.0.0.1";
    const std::string preferred = default_route_interface();
    std::string found;
    for (const ifaddrs* a = all; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK) ||
            !(a->ifa_flags & IFF_UP))
            continue;
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
        if (found.empty() || a->ifa_name == preferred)
            found = text;
        if (a->ifa_name == preferred)
            break;
    }
    freeifaddrs(all);
    return found.empty() ? "127.0.0.1" : found;
}

}  // namespace

std::string remote_random_key()
{
    unsigned char bytes[12];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0)
            got += static_cast<size_t>(n);
    }
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
