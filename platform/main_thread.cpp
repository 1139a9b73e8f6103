#include "platform/main_thread.h"

#include <SDL.h>

#include <atomic>

namespace {
std::atomic<Uint32> call_event{0};
}

bool main_thread_init()
{
    if (call_event.load(std::memory_order_relaxed) != 0)
        return true;
    Uint32 type = SDL_RegisterEvents(1);
    if (type == static_cast<Uint32>(-1))
        return false;
    call_event.store(type, std::memory_order_relaxed);
    return true;
}

bool main_thread_post(MainThreadFn fn, void* arg)
{
    Uint32 type = call_event.load(std::memory_order_relaxed);
    if (type == 0 || SDL_WasInit(SDL_INIT_EVENTS) == 0)
        return false;
    SDL_Event ev{};
    ev.type = type;
    ev.user.data1 = reinterpret_cast<void*>(fn);
    ev.user.data2 = arg;
    return SDL_PushEvent(&ev) == 1;
}

bool main_thread_dispatch(const SDL_Event& ev)
{
    Uint32 type = call_event.load(std::memory_order_relaxed);
    if (type == 0 || ev.type != type)
        return false;
    auto fn = reinterpret_cast<MainThreadFn>(ev.user.data1);
    fn(ev.user.data2);
    return true;
}
