#include "tests/support/xvfb.h"

#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

XServer::XServer(std::vector<std::string> argv, std::string log) : log_(std::move(log))
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
    pid_ = pid;
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (pid > 0 && poll(&p, 1, 15000) > 0) {
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

XServer::~XServer()
{
    stop();
    if (!log_.empty())
        std::remove(log_.c_str());
}

void XServer::stop()
{
    if (pid_ > 0 && kill(pid_, SIGTERM) == 0)
        waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

// A new connection is told the screen's present size.
std::string XServer::mode() const
{
    Display* d = XOpenDisplay(display_.c_str());
    if (!d)
        return "";
    std::string mode = std::to_string(DisplayWidth(d, 0)) + "x" + std::to_string(DisplayHeight(d, 0));
    XCloseDisplay(d);
    return mode;
}

XServer xvfb(int width, int height)
{
    return XServer({"Xvfb", "-screen", "0", std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten",
                    "tcp", "-noreset"});
}

XServer xorg_dummy()
{
    // -sharevts: a server run as root takes no console of its own.
    std::string log = "/tmp/glowcam-xorg-" + std::to_string(getpid()) + ".log";
    return XServer({"Xorg", "-config", GLOWCAM_SOURCE_DIR "/tests/support/xorg-dummy.conf", "-logfile", log,
                    "-noreset", "-nolisten", "tcp", "-sharevts", "-novtswitch"}, log);
}
