#include "app/remote.h"

// The generated header is plain C.
extern "C" {
#include "glowcam_remote_page.h"
}

#include <GL/gl.h>
#include <SDL.h>
#include <libsoup/soup.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

namespace {

constexpr size_t inbox_max = 256;      // actions not yet taken: more is a flood
constexpr size_t live_max = 16;        // pages listening at once
constexpr long long preview_ms = 1000;  // between two frames read back
constexpr long long wanted_ms = 5000;   // a page that asked this recently still wants pictures

struct Remote {
    std::thread thread;
    GMainContext* context = nullptr;
    std::string key;
    // The server's thread only.
    GMainLoop* loop = nullptr;
    GBytes* page = nullptr;
    std::vector<SoupWebsocketConnection*> live;
    std::string jpeg;
    // Handed between the threads.
    std::mutex lock;
    std::vector<Action> inbox;           // guarded by lock
    RemoteState state{};                 // guarded by lock
    std::vector<unsigned char> frame;    // guarded by lock: read back, not yet encoded
    int frame_width, frame_height;       // guarded by lock
    std::atomic<long long> wanted_at{-wanted_ms};  // when a page last asked for a picture
    // The main thread only.
    long long read_at = -preview_ms;
    std::vector<unsigned char> reading;
};
Remote remote;

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Runs `f` once on the server's thread, from any thread.
void post(GSourceFunc f)
{
    GSource* source = g_idle_source_new();
    g_source_set_callback(source, f, nullptr, nullptr);
    g_source_attach(source, remote.context);
    g_source_unref(source);
}

RemoteState snapshot()
{
    std::lock_guard<std::mutex> hold(remote.lock);
    return remote.state;
}

// Sends where the show stands to every page listening. Show time moves on
// by itself: the pages count it on from the last it heard.
gboolean tell(gpointer)
{
    const std::string json = remote_state_json(snapshot());
    // A copy: a connection that fails as it is written to leaves the list.
    for (SoupWebsocketConnection* c : std::vector<SoupWebsocketConnection*>(remote.live))
        if (soup_websocket_connection_get_state(c) == SOUP_WEBSOCKET_STATE_OPEN)
            soup_websocket_connection_send_text(c, json.c_str());
    return G_SOURCE_REMOVE;
}

gboolean encode(gpointer)
{
    std::vector<unsigned char> rgb;
    int w, h;
    {
        std::lock_guard<std::mutex> hold(remote.lock);
        rgb.swap(remote.frame);
        w = remote.frame_width;
        h = remote.frame_height;
    }
    std::string jpeg;
    if (!rgb.empty() && remote_preview_jpeg(rgb.data(), w, h, &jpeg))
        remote.jpeg.swap(jpeg);
    return G_SOURCE_REMOVE;
}

gboolean quit(gpointer)
{
    g_main_loop_quit(remote.loop);
    return G_SOURCE_REMOVE;
}

void respond(SoupServerMessage* msg, int status, const char* type, const void* data, size_t size)
{
    soup_server_message_set_status(msg, static_cast<guint>(status), nullptr);
    soup_server_message_set_response(msg, type, SOUP_MEMORY_COPY, static_cast<const char*>(data), size);
}

// A refusal: its reason on one line.
void refuse(SoupServerMessage* msg, int status, const std::string& reason)
{
    const std::string line = reason + "\n";
    respond(msg, status, "text/plain; charset=utf-8", line.data(), line.size());
}

// The body is empty until it is read: the early handler sees none.
RemoteRequest request_of(SoupServerMessage* msg, const char* path, GHashTable* query)
{
    RemoteRequest r;
    r.method = soup_server_message_get_method(msg);
    r.path = path;
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(msg);
    const char* key = query ? static_cast<const char*>(g_hash_table_lookup(query, "key")) : nullptr;
    if (!key)
        key = soup_message_headers_get_one(headers, remote_key_header);
    r.key = key ? key : "";
    switch (soup_message_headers_get_encoding(headers)) {
    case SOUP_ENCODING_NONE: r.length = 0; break;
    case SOUP_ENCODING_CONTENT_LENGTH: r.length = soup_message_headers_get_content_length(headers); break;
    default: r.length = -1; break;
    }
    GBytes* body = soup_message_body_flatten(soup_server_message_get_request_body(msg));
    const char* data = static_cast<const char*>(g_bytes_get_data(body, nullptr));
    r.body.assign(data ? data : "", g_bytes_get_size(body));
    g_bytes_unref(body);
    return r;
}

// Once the headers are in: a request they refuse is answered without
// keeping its body.
void headers_read(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable* query, gpointer)
{
    RemoteReply reply = remote_check_headers(request_of(msg, path, query), remote.key);
    if (reply.status == 0)
        return;
    soup_message_body_set_accumulate(soup_server_message_get_request_body(msg), FALSE);
    refuse(msg, reply.status, reply.reason);
}

void request_read(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable* query, gpointer)
{
    RemoteReply reply = remote_answer(request_of(msg, path, query), remote.key);
    if (reply.status >= 400)
        return refuse(msg, reply.status, reply.reason);
    switch (reply.target) {
    case RemoteTarget::page:
        return respond(msg, 200, "text/html; charset=utf-8", g_bytes_get_data(remote.page, nullptr),
                       g_bytes_get_size(remote.page));
    case RemoteTarget::state: {
        const std::string json = remote_state_json(snapshot());
        return respond(msg, 200, "application/json", json.data(), json.size());
    }
    case RemoteTarget::preview:
        remote.wanted_at = now_ms();
        if (remote.jpeg.empty())
            return refuse(msg, 503, "no picture yet: ask again in a second");
        return respond(msg, 200, "image/jpeg", remote.jpeg.data(), remote.jpeg.size());
    case RemoteTarget::live:
        // Left without a status, the request goes on to the WebSocket handshake.
        if (remote.live.size() >= live_max)
            refuse(msg, 503, "too many pages listening");
        return;
    case RemoteTarget::action: {
        std::lock_guard<std::mutex> hold(remote.lock);
        if (remote.inbox.size() >= inbox_max)
            return refuse(msg, 503, "too many actions at once");
        remote.inbox.push_back(reply.action);
        return respond(msg, 204, nullptr, nullptr, 0);
    }
    case RemoteTarget::none:
        break;
    }
}

void live_closed(SoupWebsocketConnection* c, gpointer)
{
    std::erase(remote.live, c);
    g_object_unref(c);
}

void live_opened(SoupServer*, SoupServerMessage*, const char*, SoupWebsocketConnection* c, gpointer)
{
    remote.live.push_back(static_cast<SoupWebsocketConnection*>(g_object_ref(c)));
    g_signal_connect(c, "closed", G_CALLBACK(live_closed), nullptr);
    soup_websocket_connection_set_keepalive_interval(c, 10);
    soup_websocket_connection_send_text(c, remote_state_json(snapshot()).c_str());
}

// "Error binding to address 127.0.0.1:80: Permission denied": the reason
// only, the address is said already.
std::string last_part(const std::string& message)
{
    const size_t at = message.rfind(": ");
    return at == std::string::npos ? message : message.substr(at + 2);
}

// The server's thread: says whether the port is bound, then serves until
// remote_stop.
void serve(std::promise<std::string>* started, std::string host, int port)
{
    g_main_context_push_thread_default(remote.context);
    g_autoptr(SoupServer) server = soup_server_new("server-header", "glowcam", nullptr);
    for (const char* path : {static_cast<const char*>(nullptr), "/live"}) {
        soup_server_add_early_handler(server, path, headers_read, nullptr, nullptr);
        soup_server_add_handler(server, path, request_read, nullptr, nullptr);
    }
    soup_server_add_websocket_handler(server, "/live", nullptr, nullptr, live_opened, nullptr, nullptr);
    const std::string name = host + ":" + std::to_string(port);
    g_autoptr(GSocketAddress) address = g_inet_socket_address_new_from_string(host.c_str(), static_cast<guint>(port));
    g_autoptr(GError) error = nullptr;
    std::string failure;
    if (!address)
        failure = "cannot serve the remote page on " + name + ": not an IPv4 address";
    else if (!soup_server_listen(server, address, static_cast<SoupServerListenOptions>(0), &error))
        failure = "cannot serve the remote page on " + name + ": " + last_part(error->message);
    started->set_value(failure);
    if (failure.empty())
        g_main_loop_run(remote.loop);
    for (SoupWebsocketConnection* c : std::vector<SoupWebsocketConnection*>(remote.live))
        soup_websocket_connection_close(c, SOUP_WEBSOCKET_CLOSE_GOING_AWAY, nullptr);
    soup_server_disconnect(server);
    for (int i = 0; i < 100 && g_main_context_iteration(remote.context, FALSE); ++i) {
    }
    for (SoupWebsocketConnection* c : std::exchange(remote.live, {}))
        g_object_unref(c);
    g_main_context_pop_thread_default(remote.context);
}

}  // namespace

bool remote_start(const std::string& host, int port, const std::string& key, std::string* error)
{
    remote.key = key;
    remote.page = g_resource_lookup_data(glowcam_remote_page_get_resource(), "/org/glowcam/remote.html",
                                         G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    remote.context = g_main_context_new();
    remote.loop = g_main_loop_new(remote.context, FALSE);
    std::promise<std::string> started;
    std::future<std::string> bound = started.get_future();
    remote.thread = std::thread(serve, &started, host, port);
    *error = bound.get();
    if (error->empty())
        return true;
    remote_stop();
    return false;
}

void remote_stop()
{
    if (!remote.thread.joinable())
        return;
    post(quit);
    remote.thread.join();
    g_main_loop_unref(remote.loop);
    g_main_context_unref(remote.context);
    g_bytes_unref(remote.page);
}

std::vector<Action> remote_take()
{
    std::vector<Action> taken;
    std::lock_guard<std::mutex> hold(remote.lock);
    taken.swap(remote.inbox);
    return taken;
}

void remote_publish(const RemoteState& state)
{
    std::lock_guard<std::mutex> hold(remote.lock);
    const PlayState& was = remote.state.play;
    if (was.mode != state.play.mode || was.hold != state.play.hold || was.sensitivity != state.play.sensitivity ||
        was.blackout != state.play.blackout)
        post(tell);  // which takes the lock once this returns
    remote.state = state;
}

void remote_frame_drawn()
{
    const long long now = now_ms();
    if (now - remote.wanted_at > wanted_ms || now - remote.read_at < preview_ms)
        return;
    remote.read_at = now;
    int w, h;  // the show's window: it has a size
    SDL_GL_GetDrawableSize(SDL_GL_GetCurrentWindow(), &w, &h);
    remote.reading.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    // From the back buffer, the read buffer of the show's double-buffered
    // context. Every reader of pixels sets the alignment it wants.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, remote.reading.data());
    {
        std::lock_guard<std::mutex> hold(remote.lock);
        remote.frame.swap(remote.reading);
        remote.frame_width = w;
        remote.frame_height = h;
    }
    post(encode);
}
