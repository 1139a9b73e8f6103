#include "tests/support/xorg.h"

#include "tests/support/process.h"

#include <unistd.h>

#include <cstdio>

XorgDummy::XorgDummy() : log_("/tmp/glowcam-xorg-" + std::to_string(getpid()) + ".log")
{
    // -sharevts: a server run as root takes no console of its own.
    start({"Xorg", "-config", GLOWCAM_SOURCE_DIR "/tests/support/xorg-dummy.conf", "-logfile", log_,
           "-noreset", "-nolisten", "tcp", "-sharevts", "-novtswitch"});
}

XorgDummy::~XorgDummy()
{
    stop();
    std::remove(log_.c_str());
}

std::string XorgDummy::mode() const
{
    ProcessOptions po;
    po.env = {"DISPLAY=" + display()};
    po.timeout_s = 10;
    std::string out = run_process({"/usr/bin/xrandr", "--current"}, po).out;
    // "Screen 0: minimum 64 x 64, current 1920 x 1080, maximum ..."
    size_t at = out.find("current ");
    int w = 0, h = 0;
    if (at == std::string::npos || std::sscanf(out.c_str() + at, "current %d x %d", &w, &h) != 2)
        return "";
    return std::to_string(w) + "x" + std::to_string(h);
}
