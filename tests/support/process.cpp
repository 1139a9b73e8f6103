#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

std::string glowcam_exe() { return GLOWCAM_EXE; }

bool poll_until(const std::function<bool()>& done, double limit_s, int period_ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit_s);
    for (;; std::this_thread::sleep_for(std::chrono::milliseconds(period_ms)))
        if (done())
            return true;
        else if (std::chrono::steady_clock::now() > deadline)
            return false;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

namespace {

// The child writes into unlinked files, not pipes: it never blocks on a full
// one, and nothing it leaves behind can keep the test waiting for their end.
std::string read_all(std::FILE* f)
{
    const std::string text = read_file("/proc/self/fd/" + std::to_string(fileno(f)));
    std::fclose(f);
    return text;
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, const ProcessOptions& options)
{
    ProcessResult result;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    pid_t parent = getpid();
    pid_t pid = out && err ? fork() : -1;
    if (pid == 0) {
        // Its own process group, so helpers it leaves behind (SDL shows
        // message boxes from a child process) can be ended with it; and it
        // dies with the test when a time-out kills that.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(fileno(out), 1);
        dup2(fileno(err), 2);
        for (const std::string& name : options.unset_env)
            unsetenv(name.c_str());
        for (const std::string& kv : options.env) {
            size_t eq = kv.find('=');
            setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
        }
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    if (pid < 0) {
        for (std::FILE* f : {out, err})
            if (f)
                std::fclose(f);
        return result;
    }
    setpgid(pid, pid);
    if (options.while_running)
        options.while_running(pid);

    int status = 0;
    if (!poll_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, options.timeout_s, 5)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        result.timed_out = true;
        std::fprintf(stderr, "gave up waiting for %s to end after %.0f s; killed it\n", argv[0].c_str(), options.timeout_s);
    }
    kill(-pid, SIGKILL);  // whatever the child left running
    result.out = read_all(out);
    result.err = read_all(err);
    if (!result.timed_out && WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    return result;
}
