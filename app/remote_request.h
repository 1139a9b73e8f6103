#pragma once

#include "show/actions.h"

#include <string>

// What the remote page's server answers, decided without any network: the
// paths that exist, the key every request must carry, the limits on what a
// request may hold. The server thread asks twice: once the headers are in
// (so that a request refused by them is answered without reading its body),
// then with the body.

enum class RemoteTarget { none, page, action, state, preview, live };

struct RemoteRequest {
    std::string method;      // "GET", "POST", ...
    std::string path;        // decoded, without the query
    std::string key;         // from ?key= or the X-Glowcam-Key header; empty when neither
    long long length = 0;    // the body's length as the headers give it; -1 when they do not
    std::string body;        // in the second call only
};

constexpr long long remote_body_max = 1024;
constexpr const char* remote_key_header = "X-Glowcam-Key";

struct RemoteReply {
    int status = 0;           // 0 after the headers: read the body and ask again
    RemoteTarget target = RemoteTarget::none;
    std::string reason;       // a refusal's reason, one line
    Action action{};          // for POST /action answered 204
};

// `key` is the one the server was started with.
RemoteReply remote_check_headers(const RemoteRequest& request, const std::string& key);
RemoteReply remote_answer(const RemoteRequest& request, const std::string& key);

// Where the show stands, as GET /state and the live channel give it.
struct RemoteState {
    PlayState play;
    double show_time;  // seconds
};
// {"mode":1,"hold":false,"blackout":false,"sensitivity":1.5,"show_time":12.25}
std::string remote_state_json(const RemoteState& state);
