#include "tests/support/xvfb.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

void XServer::start(std::vector<std::string> argv)
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    argv.push_back("-displayfd");
    argv.push_back(std::to_string(fds[1]));
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
        close(fds[0]);
        std::vector<char*> args;
        for (std::string& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return;
    }
    pid_ = pid;
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 15000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty())
        std::fprintf(stderr, "%s gave no display number within 15 s\n", argv[0].c_str());
    else
        display_ = ":" + number;
}

void XServer::stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

Xvfb::Xvfb(int width, int height)
{
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    start({"Xvfb", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"});
}
