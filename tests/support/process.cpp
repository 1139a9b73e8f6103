#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

std::string glowcam_exe() { return GLOWCAM_EXE; }

ProcessResult run_process(const std::vector<std::string>& argv, const ProcessOptions& options)
{
    ProcessResult result;
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        return result;
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        // Its own process group, so helpers it leaves behind (SDL shows
        // message boxes from a child process) can be ended with it; and it
        // dies with the test when a time-out kills that.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
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
    setpgid(pid, pid);
    close(out_pipe[1]);
    close(err_pipe[1]);
    fcntl(out_pipe[0], F_SETFL, O_NONBLOCK);
    fcntl(err_pipe[0], F_SETFL, O_NONBLOCK);

    // Read in the background so a chatty child never blocks on a full pipe.
    // Once the child has ended, a descendant that escaped its process group
    // (a daemon it started) may still hold the pipes: give up on them after
    // a short drain.
    std::atomic<bool> child_ended{false};
    std::thread reader([&] {
        pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
        int open_fds = 2;
        std::chrono::steady_clock::time_point give_up{};
        while (open_fds > 0) {
            int ready = poll(fds, 2, 100);
            if (ready < 0)
                break;
            if (ready == 0 && child_ended.load()) {
                auto now = std::chrono::steady_clock::now();
                if (give_up == std::chrono::steady_clock::time_point{})
                    give_up = now + std::chrono::seconds(2);
                else if (now > give_up)
                    break;
            }
            for (pollfd& f : fds) {
                if (f.fd < 0 || !(f.revents & (POLLIN | POLLHUP)))
                    continue;
                std::string* into = f.fd == out_pipe[0] ? &result.out : &result.err;
                char buf[4096];
                ssize_t n = read(f.fd, buf, sizeof buf);
                if (n > 0) {
                    into->append(buf, static_cast<size_t>(n));
                } else {
                    f.fd = -1;
                    --open_fds;
                }
            }
        }
    });

    if (options.while_running)
        options.while_running(pid);

    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration<double>(options.timeout_s);
    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timed_out = true;
            std::fprintf(stderr, "gave up waiting for %s to end after %.0f s; killed it\n",
                         argv[0].c_str(), options.timeout_s);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Whatever the child left running would hold its pipes open.
    kill(-pid, SIGKILL);
    child_ended.store(true);
    reader.join();
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (!result.timed_out && WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    return result;
}
