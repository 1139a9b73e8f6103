#pragma once

#include <string>
#include <vector>

// A private X server for one test. It stops on destruction, or dies with the
// test's process when a time-out kills that: no server is left behind.
class XServer {
public:
    ~XServer() { stop(); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }  // ":N"

protected:
    XServer() = default;
    // Runs the server (argv plus -displayfd) and waits up to 15 s for the
    // display number it takes; says so on standard error when none comes.
    void start(std::vector<std::string> argv);
    void stop();

private:
    int pid_ = -1;
    std::string display_;
};

// Xvfb with one screen of the given size, for tests of windows, keys, message
// boxes and dialogs. It offers that one mode only.
class Xvfb : public XServer {
public:
    Xvfb(int width, int height);
};
