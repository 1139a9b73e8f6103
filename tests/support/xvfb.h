#pragma once

#include <string>

// A private X server (Xvfb) with one screen of the given size, for tests of
// windows, keys, full screen, message boxes and dialogs. Stopped on
// destruction.
class Xvfb {
public:
    Xvfb(int width, int height);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }  // ":N"

private:
    int pid_ = -1;
    std::string display_;
};
