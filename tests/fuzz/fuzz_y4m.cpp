#include "capture/source.h"
#include "tests/fuzz/fuzz_input_file.h"

#include <cstddef>
#include <cstdint>

// A .y4m file as the --camera option hands it to the file source: open, then
// frames at a few show times, as the grab and the offline render ask for them.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int width = 0, height = 0;
    if (!y4m_source.open(fuzz_input_file(data, size), &width, &height))
        return 0;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192)
        __builtin_trap();  // accepted a size it promises to refuse
    for (double t : {0.0, 41.0, 999.5, 60000.0, 1e12}) {
        CaptureFrame frame;
        if (!y4m_source.frame(t, &frame) || frame.width != width || frame.height != height)
            __builtin_trap();  // an open file always has a frame, of the size it opened with
        // The pipeline reads only frames that say they are whole; each plane
        // of these must hold its last byte (the sanitizer checks the read).
        volatile unsigned sum = 0;
        for (int p = 0; capture_frame_complete(frame) && p < 3; ++p)
            sum = sum + (frame.sizes[p] > 0 ? frame.planes[p][0] + frame.planes[p][frame.sizes[p] - 1] : 0u);
    }
    y4m_source.close();
    return 0;
}
