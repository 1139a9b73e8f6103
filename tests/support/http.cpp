#include "tests/support/http.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <libsoup/soup.h>

#include <cstdio>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

HttpReply http(const std::string& method, const std::string& url, const std::string& body,
               const std::vector<std::string>& headers)
{
    HttpReply reply;
    // Straight to the show: no proxy the environment may name.
    SoupSession* session = soup_session_new_with_options("timeout", 10, "proxy-resolver", nullptr, nullptr);
    SoupMessage* msg = soup_message_new(method.c_str(), url.c_str());
    for (const std::string& h : headers)
        soup_message_headers_append(soup_message_get_request_headers(msg), h.substr(0, h.find(':')).c_str(),
                                    h.substr(h.find(':') + 2).c_str());
    if (method == "POST" || !body.empty()) {
        GBytes* bytes = g_bytes_new(body.data(), body.size());
        soup_message_set_request_body_from_bytes(msg, "text/plain", bytes);
        g_bytes_unref(bytes);
    }
    GError* error = nullptr;
    if (GBytes* got = soup_session_send_and_read(session, msg, nullptr, &error)) {
        reply.status = static_cast<int>(soup_message_get_status(msg));
        const char* type = soup_message_headers_get_content_type(soup_message_get_response_headers(msg), nullptr);
        reply.type = type ? type : "";
        gsize size = 0;
        const char* data = static_cast<const char*>(g_bytes_get_data(got, &size));
        reply.body.assign(data ? data : "", size);
        g_bytes_unref(got);
    } else {
        std::fprintf(stderr, "http: %s %s: %s\n", method.c_str(), url.c_str(), error->message);
        g_error_free(error);
    }
    g_object_unref(msg);
    g_object_unref(session);
    return reply;
}

bool decode_jpeg(const std::string& bytes, int* width, int* height, std::vector<unsigned char>* rgb)
{
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("jpeg", nullptr);
    const bool written = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(),
                                                 nullptr);
    GdkPixbuf* p = gdk_pixbuf_loader_close(loader, nullptr) && written ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    if (p) {
        *width = gdk_pixbuf_get_width(p);
        *height = gdk_pixbuf_get_height(p);
        const guchar* pixels = gdk_pixbuf_read_pixels(p);
        rgb->clear();
        for (const guchar* row = pixels; row < pixels + *height * gdk_pixbuf_get_rowstride(p);
             row += gdk_pixbuf_get_rowstride(p))  // a JPEG's rows are RGB, maybe padded
            rgb->insert(rgb->end(), row, row + *width * 3);
    }
    g_object_unref(loader);
    return p != nullptr;
}

int free_tcp_port()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof a;
    const bool ok = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0;
    close(s);
    return ok ? ntohs(a.sin_port) : 0;
}
