#include "show/cues.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The input is a cue file's text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<Cue> cues;
    std::string error;
    if (cues_parse(std::string(reinterpret_cast<const char*>(data), size), "f.cues", &cues, &error)) {
        for (size_t i = 0; i < cues.size(); ++i) {
            if (!(cues[i].t >= 0.0) || (i > 0 && cues[i].t < cues[i - 1].t))
                __builtin_trap();  // a time it must refuse, or out of order
            Action again{};
            if (!action_parse(action_text(cues[i].action), &again, &error))
                __builtin_trap();  // what --save-cues would write cannot be read back
        }
    } else if (error.rfind("f.cues:", 0) != 0) {
        __builtin_trap();  // every refusal names the file and line
    }
    return 0;
}
