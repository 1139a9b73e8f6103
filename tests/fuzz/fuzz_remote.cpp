#include "app/remote_request.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

// The input is one request: a byte that says how its length is given (as
// the body's, none, one too many), then "METHOD\nPATH\nKEY\nBODY".
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    RemoteRequest r;
    for (std::string* field : {&r.method, &r.path, &r.key}) {
        const size_t nl = std::min(text.find('\n'), text.size());
        *field = text.substr(0, nl);
        text.erase(0, nl + 1);
    }
    r.body = text;
    const long long body = static_cast<long long>(r.body.size());
    r.length = data[0] % 3 == 0 ? body : data[0] % 3 == 1 ? -1 : body + 1;
    const std::string key = "fuzz-key";
    const RemoteReply early = remote_check_headers(r, key), reply = remote_answer(r, key);
    Action again{};
    std::string why;
    if ((r.key != key && (early.status != 403 || reply.status != 403)) ||  // something answered without the key
        (early.status != 0 && early.status != reply.status) ||             // the headers' refusal is not the answer
        (reply.status >= 400 && (reply.reason.empty() || reply.reason.find('\n') != std::string::npos)) ||  // no reason
        (reply.status < 400 && reply.target == RemoteTarget::none) ||     // success on no path
        // accepted what the show cannot take:
        (reply.status == 204 && (body > remote_body_max || !action_parse(action_text(reply.action), &again, &why))))
        __builtin_trap();
    return 0;
}
