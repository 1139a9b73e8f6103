#include "audio/music_file.h"
#include "audio/sound_error.h"
#include "tests/fuzz/fuzz_input_file.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

// Any file given as --music, through the loader the stream plays from: open,
// a few blocks round the loop, a far seek and more blocks, close.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int error = -1;
    MusicFile* file = music_file_open(fuzz_input_file(data, size), &error);
    if (!file) {
        if (error == SOUND_OK)
            __builtin_trap();  // a refusal must say why
        return 0;
    }
    if (error != SOUND_OK || music_file_rate(file) <= 0)
        __builtin_trap();
    constexpr int block = 1024;
    std::vector<float> stereo(2 * block);
    for (int pass = 0; pass < 8; ++pass) {
        if (pass == 4)
            music_file_seek_looped(file, int64_t{1} << 40);
        int got = music_file_read(file, stereo.data(), block);
        if (got < 0 || got > block)
            __builtin_trap();
        for (int i = 0; i < 2 * got; ++i)
            if (!std::isfinite(stereo[i]))
                __builtin_trap();  // the mixer would carry it for ever
    }
    music_file_close(file);
    return 0;
}
