#include "app/cmdline.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

// The input is the argument list with NUL between arguments.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> args{"glowcam"};
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    for (std::string arg; std::getline(in, arg, '\0');)
        args.push_back(arg);
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    Options options;
    std::string error;
    if (parse_command_line(static_cast<int>(argv.size()), argv.data(), &options, &error)) {
        if (options.width < 64 || options.width > 8192 || options.height < 64 || options.height > 8192 ||
            !(options.fps > 0.0) || options.start < 0.0 || options.duration < 0.0)
            __builtin_trap();  // accepted something it must refuse
    } else if (error.empty() || error.find('\n') != std::string::npos) {
        __builtin_trap();  // every refusal is one line
    }
    return 0;
}
