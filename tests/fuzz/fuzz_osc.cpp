#include "app/osc.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The input is one UDP datagram.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Action action{};
    std::string why;
    if (osc_read_message(data, size, &action, &why)) {
        Action again{};
        if (!action_parse(action_text(action), &again, &why))
            __builtin_trap();  // accepted a value the show cannot take
    } else if (why.empty() || why.find('\n') != std::string::npos) {
        __builtin_trap();  // every refusal is one line
    }
    return 0;
}
