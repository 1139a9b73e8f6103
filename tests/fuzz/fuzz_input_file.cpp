#include "tests/fuzz/fuzz_input_file.h"

#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

std::string fuzz_input_file(const uint8_t* data, size_t size)
{
    static int fd = memfd_create("glowcam-fuzz", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0)
        std::abort();
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}
