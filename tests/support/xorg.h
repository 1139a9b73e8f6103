#pragma once

#include "tests/support/xvfb.h"

#include <string>

// Xorg with the dummy video driver and its own configuration
// (xorg-dummy.conf), for the tests of full screen: a 1920x1080 desktop whose
// display also offers 1024x768, 800x600 and 640x480 and really switches.
class XorgDummy : public XServer {
public:
    XorgDummy();
    ~XorgDummy();
    // The screen's size as xrandr reads it, "1920x1080"; empty when unread.
    std::string mode() const;

private:
    std::string log_;
};
