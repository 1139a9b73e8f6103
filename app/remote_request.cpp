#include "app/remote_request.h"

#include <cstdio>

namespace {

struct Route {
    const char* path;
    const char* method;
    RemoteTarget target;
};

const Route routes[] = {
    {"/", "GET", RemoteTarget::page},         {"/action", "POST", RemoteTarget::action},
    {"/state", "GET", RemoteTarget::state},   {"/preview.jpg", "GET", RemoteTarget::preview},
    {"/live", "GET", RemoteTarget::live},
};

// Takes as long whatever the key given, so that its time tells nothing.
bool same_key(const std::string& given, const std::string& key)
{
    if (key.empty() || given.size() != key.size())
        return false;
    unsigned char differ = 0;
    for (size_t i = 0; i < key.size(); ++i)
        differ |= static_cast<unsigned char>(given[i] ^ key[i]);
    return differ == 0;
}

RemoteReply refuse(int status, const std::string& reason)
{
    RemoteReply reply;
    reply.status = status;
    reply.reason = reason;
    return reply;
}

}  // namespace

RemoteReply remote_check_headers(const RemoteRequest& request, const std::string& key)
{
    if (!same_key(request.key, key))
        return refuse(403, "this needs the key the show printed at start");
    const Route* route = nullptr;
    for (const Route& r : routes)
        if (request.path == r.path)
            route = &r;
    if (!route)
        return refuse(404, "no such page");
    if (request.method != route->method)
        return refuse(405, route->path + std::string(" takes ") + route->method);
    if (route->target != RemoteTarget::action && request.length != 0)
        return refuse(400, "a request here has no body");
    if (route->target == RemoteTarget::action && request.length < 0)
        return refuse(411, "an action needs its Content-Length");
    if (request.length > remote_body_max)
        return refuse(413, "an action is one line of at most " + std::to_string(remote_body_max) + " bytes");
    RemoteReply reply;
    reply.target = route->target;
    return reply;
}

RemoteReply remote_answer(const RemoteRequest& request, const std::string& key)
{
    RemoteReply reply = remote_check_headers(request, key);
    if (reply.status != 0)
        return reply;
    if (static_cast<long long>(request.body.size()) != request.length)
        return refuse(400, "the body is not as long as its Content-Length");
    if (reply.target != RemoteTarget::action) {
        reply.status = 200;
        return reply;
    }
    std::string why;
    if (!action_parse(request.body, &reply.action, &why))
        return refuse(400, why);
    reply.status = 204;
    return reply;
}

std::string remote_state_json(const RemoteState& state)
{
    char text[160];
    std::snprintf(text, sizeof text,
                  "{\"mode\":%d,\"hold\":%s,\"blackout\":%s,\"sensitivity\":%.4g,\"show_time\":%.3f}",
                  state.play.mode, state.play.hold ? "true" : "false", state.play.blackout ? "true" : "false",
                  state.play.sensitivity, state.show_time);
    return text;
}
