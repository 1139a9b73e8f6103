#include "platform/window.h"

#include "platform/main_thread.h"
#include "platform/message_box.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

unsigned char keys[256];
bool window_active = true;

namespace {

// The window's own state, gathered in one place.
struct WindowState {
    SDL_Window* handle = nullptr;
    SDL_GLContext gl_context = nullptr;
    bool video_started = false;
    bool full_screen = false;  // in a switched mode or at the desktop's size
    int display = 0;
    SDL_Rect windowed{};  // where the window was made, for a return from full screen
    bool size_changed = false;
    // Keys pressed since the loop last looked: a tap whose press and release
    // both come between two frames must still be seen.
    unsigned char pressed[256] = {};
    void (*on_display_lost)() = nullptr;
};
WindowState win;

// The failure lines are the program's own, in its original wording.
void say(const char* line)
{
    std::fputs(line, stdout);
    std::fflush(stdout);
}

// Xlib's own handler calls exit(), whose destructors meet threads still
// running; this one says what happened and ends the program at once.
int display_lost(Display*)
{
    std::fputs("glowcam: the connection to the display was lost (its X server stopped); the show ends\n", stderr);
    if (win.on_display_lost)
        win.on_display_lost();
    std::_Exit(1);
}

bool display_has_mode(int width, int height)
{
    int count = SDL_GetNumDisplayModes(win.display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(win.display, i, &mode) == 0 && mode.w == width && mode.h == height)
            return true;
    }
    return false;
}

// SDL may report success without changing anything (as under Xvfb), so the
// switch counts only when the display and the drawable really have the size.
bool full_screen_took(int width, int height)
{
    SDL_DisplayMode current;
    if (SDL_GetCurrentDisplayMode(SDL_GetWindowDisplayIndex(win.handle), &current) != 0)
        return false;
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(win.handle, &dw, &dh);
    return current.w == width && current.h == height && dw == width && dh == height;
}

// Without a display SDL falls back to its offscreen driver, where a show
// would run unseen for ever: only use it when it was asked for by name.
bool display_found()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || (SDL_strcmp(driver, "offscreen") != 0 && SDL_strcmp(driver, "dummy") != 0))
        return true;
    const char* wanted = SDL_getenv("SDL_VIDEODRIVER");
    return wanted && SDL_strcasecmp(wanted, driver) == 0;
}

void set_gl_attributes(int bits)
{
    int channel = bits >= 24 ? 8 : 5;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

// The video subsystem on a real display, with the GL library loaded.
bool start_video()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        say("ERROR: registrazione della Window Class fallita.\n");
        return false;
    }
    win.video_started = true;
    if (!display_found()) {
        window_destroy();
        say("ERROR: registrazione della Window Class fallita.\n");
        return false;
    }
    if (!main_thread_init() || SDL_GL_LoadLibrary(nullptr) != 0) {
        window_destroy();
        return false;
    }
    return true;
}

// At the top-left corner of the chosen monitor; one unplugged since the
// program counted them gives way to the first.
SDL_Window* make_window(const char* title, int width, int height, bool full_screen)
{
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (full_screen)
        flags |= SDL_WINDOW_FULLSCREEN;
    SDL_Rect at{};
    if (SDL_GetDisplayBounds(win.display, &at) != 0)
        SDL_GetDisplayBounds(win.display = 0, &at);
    win.windowed = {at.x, at.y, width, height};
    return SDL_CreateWindow(title, at.x, at.y, width, height, flags);
}

bool window_manager_running(Display* d)
{
    Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", True), type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* value = nullptr;
    bool running = check != None && XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW,
                                                       &type, &format, &count, &after, &value) == Success &&
                   count == 1;
    XFree(value);
    return running;
}

// SDL asks the window manager for full screen at the desktop's size; in a bare
// X session (an installation's kiosk, a test server) nobody answers, so the
// window is placed by hand.
void place_without_window_manager(bool full)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(win.handle, &info) || info.subsystem != SDL_SYSWM_X11 ||
        window_manager_running(info.info.x11.display))
        return;
    SDL_Rect r = win.windowed;
    if (full)
        SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(win.handle), &r);
    XMoveResizeWindow(info.info.x11.display, info.info.x11.window, r.x, r.y, static_cast<unsigned>(r.w),
                      static_cast<unsigned>(r.h));
    XFlush(info.info.x11.display);
}

// SDL changes the display mode only when a full-screen window is shown, so
// the window is shown here and the switch judged afterwards. A switch that
// did not take is undone with the window: nothing stays half switched.
bool switch_to_full_screen(const char* title, int width, int height)
{
    if (!display_has_mode(width, height))
        return false;
    win.handle = make_window(title, width, height, true);
    if (!win.handle)
        return false;
    SDL_ShowWindow(win.handle);
    if (full_screen_took(width, height)) {
        SDL_ShowCursor(SDL_DISABLE);
        return true;
    }
    SDL_DestroyWindow(win.handle);
    win.handle = nullptr;
    return false;
}

// A refused mode: the user may go on in a window, or end the program.
bool windowed_instead()
{
    win.full_screen = false;
    if (message_box("Warning:",
                    "Requested fullscreen mode not supported by your video card.\n"
                    "Use Windowed Mode Instead?",
                    MESSAGE_BOX_YES_NO, MESSAGE_ICON_WARNING))
        return true;
    say("ERROR: Program Will Now Close.\n");
    window_destroy();
    return false;
}

bool make_desktop_window(const char* title, int width, int height)
{
    win.handle = make_window(title, width, height, false);
    if (win.handle)
        return true;
    // The pixel format is chosen with the window.
    window_destroy();
    say("ERRORE: impossibile impostare il PixelFormat.\n");
    return false;
}

bool make_gl_context()
{
    win.gl_context = SDL_GL_CreateContext(win.handle);
    if (!win.gl_context) {
        window_destroy();
        say("ERRORE: impossibile creare un GL Rendering Context.\n");
        return false;
    }
    if (SDL_GL_MakeCurrent(win.handle, win.gl_context) != 0) {
        window_destroy();
        say("ERRORE: impossibile attivare il GL Rendering Context.\n");
        return false;
    }
    // Frames are drawn back to back; the show follows the clock, not vsync.
    SDL_GL_SetSwapInterval(0);
    return true;
}

void show_and_focus(int width, int height)
{
    SDL_ShowWindow(win.handle);
    SDL_RaiseWindow(win.handle);
    SDL_DisableScreenSaver();
    window_active = true;
    window_resize(width, height);
}

}  // namespace

void window_drawable_size(int* width, int* height)
{
    *width = *height = 0;
    if (win.handle)
        SDL_GL_GetDrawableSize(win.handle, width, height);
}

bool window_size_changed(int* width, int* height)
{
    bool changed = win.size_changed;
    win.size_changed = false;
    window_drawable_size(width, height);
    return changed;
}

bool window_create(const char* title, int width, int height, int bits, bool full_screen, int display)
{
    win.full_screen = full_screen;
    win.display = display;
    if (!start_video())
        return false;
    set_gl_attributes(bits);
    if (win.full_screen && !switch_to_full_screen(title, width, height) && !windowed_instead())
        return false;
    if (!win.handle && !make_desktop_window(title, width, height))
        return false;
    if (!make_gl_context())
        return false;
    XSetIOErrorHandler(display_lost);
    show_and_focus(width, height);
    return true;
}

bool window_full_screen() { return win.full_screen; }

bool window_switch_full_screen()
{
    bool full = !win.full_screen;
    if (SDL_SetWindowFullscreen(win.handle, full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
        return win.full_screen;
    place_without_window_manager(full);
    SDL_ShowCursor(full ? SDL_DISABLE : SDL_ENABLE);
    return win.full_screen = full;
}

int window_display_count()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return 0;
    int count = display_found() ? SDL_GetNumVideoDisplays() : 0;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return count > 0 ? count : 0;
}

void window_on_display_lost(void (*stop)()) { win.on_display_lost = stop; }

void window_destroy()
{
    if (win.full_screen && win.handle) {
        SDL_SetWindowFullscreen(win.handle, 0);  // back to the desktop mode
        SDL_ShowCursor(SDL_ENABLE);
    }
    win.full_screen = false;
    if (win.gl_context) {
        SDL_GL_MakeCurrent(win.handle, nullptr);
        SDL_GL_DeleteContext(win.gl_context);
        win.gl_context = nullptr;
    }
    if (win.handle) {
        SDL_DestroyWindow(win.handle);
        win.handle = nullptr;
    }
    if (win.video_started) {
        SDL_EnableScreenSaver();
        SDL_GL_UnloadLibrary();
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        win.video_started = false;
    }
}

bool window_key_pressed(int vk)
{
    bool pressed = win.pressed[vk] != 0;
    win.pressed[vk] = 0;
    return pressed;
}

void window_keys_release()
{
    std::memset(keys, 0, sizeof keys);
    std::memset(win.pressed, 0, sizeof win.pressed);
}

void window_resize(int width, int height)
{
    if (height == 0)
        height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(60.0, static_cast<double>(width) / static_cast<double>(height), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void window_swap()
{
    if (win.handle)
        SDL_GL_SwapWindow(win.handle);
}

// Only the keys the show reads have a code: Escape ends it, F11 switches
// full screen, the rest play the show. '+' is also the '=' key it shares.
static int virtual_key_code(int k)
{
    switch (k) {
    case SDLK_ESCAPE: return 0x1B;
    case SDLK_F11: return 0x7A;
    case SDLK_0: case SDLK_1: case SDLK_2: case SDLK_3: return 0x30 + (k - SDLK_0);
    case SDLK_SPACE: return 0x20;
    case SDLK_LEFT: return 0x25;
    case SDLK_RIGHT: return 0x27;
    case SDLK_b: return 0x42;
    case SDLK_s: return 0x53;
    case SDLK_KP_PLUS: return 0x6B;
    case SDLK_KP_MINUS: return 0x6D;
    case SDLK_PLUS: case SDLK_EQUALS: return 0xBB;
    case SDLK_MINUS: return 0xBD;
    default: return 0;
    }
}

void window_proc(const SDL_Event& ev)
{
    switch (ev.type) {
    case SDL_WINDOWEVENT:
        if (ev.window.event == SDL_WINDOWEVENT_MINIMIZED)
            window_active = false;
        else if (ev.window.event == SDL_WINDOWEVENT_RESTORED)
            window_active = true;
        else if (ev.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
            win.size_changed = true;
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        // Keys pressed with Alt held are system keys: not recorded.
        if (ev.key.keysym.mod & KMOD_ALT)
            break;
        int vk = virtual_key_code(ev.key.keysym.sym);
        if (vk != 0) {
            keys[vk] = ev.type == SDL_KEYDOWN ? 1 : 0;
            win.pressed[vk] |= keys[vk];
        }
        break;
    }
    default:
        break;
    }
}
