#pragma once

union SDL_Event;

// Work that must run on the main thread (it owns the GL context) is posted as
// an SDL user event; the main loop runs it when it retrieves that event, one
// event per pass like any window message.

using MainThreadFn = void (*)(void* arg);

// Registers the event type. Needs SDL's event subsystem; called by the window
// set-up. Returns false when no event type is left.
bool main_thread_init();

// Queues fn(arg) for the main thread. Any thread. False when it could not be
// queued (SDL not running, queue full): the caller must not wait for it.
bool main_thread_post(MainThreadFn fn, void* arg);

// Runs the posted call if ev is one and returns true; false for other events.
bool main_thread_dispatch(const SDL_Event& ev);
