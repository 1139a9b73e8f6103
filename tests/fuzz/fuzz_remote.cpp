#include "app/remote_request.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The input is one request: a byte that says how its length is given (as
// the body's, none, one too many), then "METHOD\nPATH\nKEY\nBODY".
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    RemoteRequest r;
    size_t at = 0;
    for (std::string* field : {&r.method, &r.path, &r.key}) {
        const size_t nl = text.find('\n', at);
        *field = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? text.size() : nl + 1;
    }
    r.body = text.substr(at);
    const long long body = static_cast<long long>(r.body.size());
    r.length = data[0] % 3 == 0 ? body : data[0] % 3 == 1 ? -1 : body + 1;

    const std::string key = "fuzz-key";
    const RemoteReply early = remote_check_headers(r, key);
    const RemoteReply reply = remote_answer(r, key);
    if (r.key != key && (early.status != 403 || reply.status != 403))
        __builtin_trap();  // something answered without the key
    if (early.status != 0 && early.status != reply.status)
        __builtin_trap();  // the headers' refusal is the answer
    if (reply.status >= 400 && (reply.reason.empty() || reply.reason.find('\n') != std::string::npos))
        __builtin_trap();  // every refusal says why, in one line
    if (reply.status < 400 && reply.target == RemoteTarget::none)
        __builtin_trap();  // success on no path
    if (reply.status == 204) {
        Action again{};
        std::string why;
        if (body > remote_body_max || !action_parse(action_text(reply.action), &again, &why))
            __builtin_trap();  // accepted what the show cannot take
    }
    return 0;
}
