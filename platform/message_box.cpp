#include "platform/message_box.h"

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::atomic<bool> to_stderr{false};
std::atomic<MessageBoxHook> hook{nullptr};
std::mutex box_mutex;  // one box at a time, and whole lines on stderr

bool write_to_stderr(const std::string& caption, const std::string& text)
{
    std::fprintf(stderr, "%s\n", message_box_line(caption, text).c_str());
    std::fflush(stderr);
    return true;
}

Uint32 sdl_icon_flags(MessageBoxIcon icon)
{
    switch (icon) {
    case MESSAGE_ICON_ERROR: return SDL_MESSAGEBOX_ERROR;
    case MESSAGE_ICON_WARNING: return SDL_MESSAGEBOX_WARNING;
    case MESSAGE_ICON_INFO: return SDL_MESSAGEBOX_INFORMATION;
    case MESSAGE_ICON_NONE: break;
    }
    return 0;
}

}  // namespace

std::string message_box_line(const std::string& caption, const std::string& text)
{
    std::string line = caption;
    if (line.empty() || line.back() != ':')
        line += ':';
    line += ' ';
    line += text;
    return line;
}

void message_box_use_stderr(bool on) { to_stderr.store(on, std::memory_order_relaxed); }

void message_box_set_hook(MessageBoxHook h) { hook.store(h, std::memory_order_relaxed); }

bool message_box(const std::string& caption, const std::string& text, MessageBoxKind kind,
                 MessageBoxIcon icon)
{
    std::lock_guard<std::mutex> lock(box_mutex);
    if (MessageBoxHook h = hook.load(std::memory_order_relaxed))
        return h(caption, text, kind);
    if (to_stderr.load(std::memory_order_relaxed))
        return write_to_stderr(caption, text);

    const SDL_MessageBoxButtonData ok_buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 1, "OK"},
    };
    const SDL_MessageBoxButtonData yes_no_buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
    };
    SDL_MessageBoxData data{};
    data.flags = sdl_icon_flags(icon);
    data.title = caption.c_str();
    data.message = text.c_str();
    if (kind == MESSAGE_BOX_YES_NO) {
        data.numbuttons = 2;
        data.buttons = yes_no_buttons;
    } else {
        data.numbuttons = 1;
        data.buttons = ok_buttons;
    }
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0)
        return write_to_stderr(caption, text);  // no display: say it where it can be read
    return pressed == 1;
}
