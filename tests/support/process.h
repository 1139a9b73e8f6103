#pragma once

#include <functional>
#include <string>
#include <vector>

// Runs a program as a child process with extra environment settings, feeds it
// nothing on standard input, and collects what it writes.
struct ProcessResult {
    int exit_code = -1;     // -1 when it did not exit normally
    bool timed_out = false; // killed after the time limit
    std::string out, err;
};

struct ProcessOptions {
    std::vector<std::string> env = {};  // "NAME=value" added to or replacing the environment
    std::vector<std::string> unset_env = {};
    double timeout_s = 30.0;  // then killed, with a line saying so
    // Called once the child runs, with its pid, on the caller's thread; the
    // child keeps running while it does (for tests that drive a window).
    std::function<void(int pid)> while_running = {};
};

ProcessResult run_process(const std::vector<std::string>& argv, const ProcessOptions& options = {});
std::string glowcam_exe();  // the program built beside the tests
// Asks `done` every period_ms until it holds, for up to limit_s (at least once); its last answer.
bool poll_until(const std::function<bool()>& done, double limit_s, int period_ms = 20);
std::string read_file(const std::string& path);  // its bytes; empty when it cannot be read
