#include "tests/support/xorg.h"

#include "tests/support/process.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

const char* const config = R"(Section "ServerFlags"
    Option "AutoAddDevices" "false"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 32768
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
    Modeline "1920x1080" 148.50 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync
    Modeline "1024x768" 65.00 1024 1048 1184 1344 768 771 777 806 -hsync -vsync
    Modeline "800x600" 40.00 800 840 968 1056 600 601 605 628 +hsync +vsync
    Modeline "640x480" 25.18 640 656 752 800 480 490 492 525 -hsync -vsync
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1920x1080" "1024x768" "800x600" "640x480"
        Virtual 1920 1080
    EndSubSection
EndSection
)";

}  // namespace

XorgDummy::XorgDummy()
{
    char dir[] = "/tmp/glowcam-xorg-XXXXXX";
    if (!mkdtemp(dir))
        return;
    dir_ = dir;
    std::ofstream(dir_ + "/xorg.conf") << config;
    // -sharevts: a server run as root takes no console of its own.
    start({"Xorg", "-config", dir_ + "/xorg.conf", "-logfile", dir_ + "/Xorg.log", "-noreset",
           "-nolisten", "tcp", "-sharevts", "-novtswitch"});
}

XorgDummy::~XorgDummy()
{
    stop();
    if (!dir_.empty())
        std::filesystem::remove_all(dir_);
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
