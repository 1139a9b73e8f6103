#pragma once

// glowcam-bench runs one named benchmark: glowcam-bench frame|convert|audio|play|record.
// Each benchmark file registers itself with a static BenchRegistration.

using BenchFn = int (*)(int argc, char** argv);

struct BenchRegistration {
    BenchRegistration(const char* name, BenchFn fn);
};
