#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The parsers under test open files by name, so each input is written into
// one memory file and handed over as /proc/self/fd/N: no disk, no clean-up.
std::string fuzz_input_file(const uint8_t* data, size_t size);
