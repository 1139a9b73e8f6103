#include "bench/bench.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Bench {
    const char* name;
    BenchFn fn;
};

std::vector<Bench>& registry()
{
    static std::vector<Bench> benches;
    return benches;
}

}  // namespace

BenchRegistration::BenchRegistration(const char* name, BenchFn fn)
{
    registry().push_back({name, fn});
}

int main(int argc, char** argv)
{
    if (argc >= 2) {
        for (const Bench& b : registry())
            if (std::strcmp(argv[1], b.name) == 0)
                return b.fn(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "usage: glowcam-bench NAME, NAME one of:");
    for (const Bench& b : registry())
        std::fprintf(stderr, " %s", b.name);
    std::fprintf(stderr, "\n");
    return 2;
}
