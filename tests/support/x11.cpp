#include "tests/support/x11.h"

#include "tests/support/process.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>

namespace {

// A shown top-level window (there is no window manager to reparent them)
// named so through the UTF-8 property, which SDL, its message boxes and GTK
// all set. Windows exist, titled, a moment before they are shown.
Window find_by_title(Display* d, const std::string& title)
{
    Window root, parent, *children = nullptr, found = 0;
    unsigned int n = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n))
        return 0;
    for (unsigned int i = 0; i < n && !found; ++i) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* value = nullptr;
        if (XGetWindowProperty(d, children[i], XInternAtom(d, "_NET_WM_NAME", False), 0, 1024, False,
                               XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after, &value) ==
                Success && value) {
            XWindowAttributes a{};
            if (title == std::string(reinterpret_cast<char*>(value), count) &&
                XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable)
                found = children[i];
            XFree(value);
        }
    }
    if (children)
        XFree(children);
    return found;
}

// Waits up to timeout_s for the window and hands it to `act`; false when it never appeared.
bool with_window(const std::string& display, const std::string& title, double timeout_s,
                 const std::function<void(Display*, Window)>& act)
{
    Display* d = XOpenDisplay(display.c_str());
    if (!d)
        return false;
    // A window may go while we look at it; Xlib's own handler would end the test.
    XErrorHandler before = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Window w = 0;
    poll_until([&] { return (w = find_by_title(d, title)) != 0; }, timeout_s, 10);
    if (w)
        act(d, w);
    else if (timeout_s > 0)
        std::fprintf(stderr, "gave up after %.0f s waiting for a window titled '%s'\n", timeout_s, title.c_str());
    XSync(d, False);
    XSetErrorHandler(before);
    XCloseDisplay(d);
    return w != 0;
}

}  // namespace

bool x11_wait_for_window(const std::string& display, const std::string& title, double timeout_s)
{
    return with_window(display, title, timeout_s, [](Display*, Window) {});
}

std::string x11_window_geometry(const std::string& display, const std::string& title, int* row_colours)
{
    XWindowAttributes a{};
    std::set<unsigned long> colours;
    with_window(display, title, 0, [&](Display* d, Window w) {
        XImage* row = XGetWindowAttributes(d, w, &a) ? XGetImage(d, w, 0, a.height / 4, static_cast<unsigned>(a.width),
                                                                 1, AllPlanes, ZPixmap)
                                                     : nullptr;
        for (int x = 0; row && x < a.width; x += 4)
            colours.insert(XGetPixel(row, x, 0));
        if (row)
            XDestroyImage(row);
    });
    if (row_colours)
        *row_colours = static_cast<int>(colours.size());
    return std::to_string(a.width) + "x" + std::to_string(a.height) + "+" + std::to_string(a.x) + "+" + std::to_string(a.y);
}

bool x11_close_window(const std::string& display, const std::string& title, double timeout_s)
{
    return with_window(display, title, timeout_s, [](Display* d, Window w) {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = w;
        ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, w, False, NoEventMask, &ev);
        XFlush(d);
    });
}

bool x11_tap(const std::string& display, const std::string& keys, const std::string& title)
{
    const std::string focus = "search --sync --onlyvisible --name '^" + title + "$' windowfocus --sync ";
    return std::system(("DISPLAY=" + display + " xdotool " + (title.empty() ? "key --delay 0 " : focus + "key --delay 50 ") +
                        keys + " >/dev/null 2>&1").c_str()) == 0;
}
