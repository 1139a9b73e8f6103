#pragma once

#include <string>
#include <vector>

// A private X server for one test. It stops on destruction, or dies with the
// test's process when a time-out kills that: no server is left behind.
class XServer {
public:
    // Runs the server (argv plus -displayfd) and waits up to 15 s for the
    // display number it takes; says so on standard error when none comes.
    explicit XServer(std::vector<std::string> argv, std::string log = "");
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }  // ":N"
    std::string mode() const;  // the screen's present size, "1920x1080"; empty when unread
    void stop();               // ends the server, as a session's end or a crash would

private:
    int pid_ = -1;
    std::string display_, log_;
};

// Xvfb with one screen of the given size, and that one mode only.
XServer xvfb(int width, int height);

// Xorg with the dummy video driver and its own configuration
// (xorg-dummy.conf), for the tests of full screen: a 1920x1080 desktop whose
// display also offers 1024x768, 800x600 and 640x480 and really switches.
XServer xorg_dummy();
