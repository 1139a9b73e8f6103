#include "audio/sound_server.h"

#include <pulse/pulseaudio.h>

#include <chrono>

namespace {

struct Query {
    std::string sink, source;
    bool answered = false;
};

void on_server_info(pa_context*, const pa_server_info* info, void* data)
{
    auto* q = static_cast<Query*>(data);
    if (info) {
        q->sink = info->default_sink_name ? info->default_sink_name : "";
        q->source = info->default_source_name ? info->default_source_name : "";
    }
    q->answered = true;
}

}  // namespace

bool sound_server_defaults(std::string* monitor, std::string* input, std::string* why)
{
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = loop ? pa_context_new(pa_mainloop_get_api(loop), "glowcam") : nullptr;
    if (!context) {
        if (loop)
            pa_mainloop_free(loop);
        *why = "libpulse cannot start";
        return false;
    }
    why->clear();
    Query q;
    pa_operation* op = nullptr;
    // No autospawn: a server that is not running is reported, not started behind the user's back.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        *why = pa_strerror(pa_context_errno(context));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (why->empty() && !q.answered) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (!PA_CONTEXT_IS_GOOD(state)) {
            *why = pa_strerror(pa_context_errno(context));
            break;
        }
        if (state == PA_CONTEXT_READY && !op)
            op = pa_context_get_server_info(context, on_server_info, &q);
        if (std::chrono::steady_clock::now() >= deadline) {
            *why = "no answer within 3 s";
            break;
        }
        if (pa_mainloop_prepare(loop, 100000) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
            *why = "the connection broke";
    }
    if (op)
        pa_operation_unref(op);
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
    if (q.answered && q.sink.empty() && q.source.empty())
        *why = "the server has no default output or input";
    if (!why->empty())
        return false;
    *monitor = q.sink.empty() ? std::string() : q.sink + ".monitor";
    *input = q.source;
    return true;
}
