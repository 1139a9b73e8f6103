#pragma once

#include "tests/support/xvfb.h"

#include <string>

// Xorg with the dummy video driver and a configuration of its own, for the
// tests of full screen: a 1920x1080 desktop whose display also offers
// 1024x768, 800x600 and 640x480, and really switches between them.
class XorgDummy : public XServer {
public:
    XorgDummy();
    ~XorgDummy();

    // The screen's size as xrandr reads it, "1920x1080"; empty when unread.
    std::string mode() const;

private:
    std::string dir_;  // its configuration and log
};
