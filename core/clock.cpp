#include "core/clock.h"

#include <atomic>
#include <chrono>

namespace {

using steady = std::chrono::steady_clock;

// Written once during start-up before other threads exist, read afterwards.
std::atomic<steady::rep> timer_start{0};
std::atomic<double> show_origin_ms{0.0};
// Threads started before the show (capture, audio) read 0 until it starts,
// not the time since the machine booted.
std::atomic<bool> show_started{false};
std::atomic<ShowClockSource> clock_source{nullptr};
std::atomic<double> manual_ms{0.0};

double manual_source() { return manual_ms.load(std::memory_order_relaxed); }

}  // namespace

void timer_init()
{
    timer_start.store(steady::now().time_since_epoch().count(), std::memory_order_relaxed);
}

double timer_now_ms()
{
    steady::duration elapsed(steady::now().time_since_epoch().count() -
                             timer_start.load(std::memory_order_relaxed));
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

void show_clock_start()
{
    show_origin_ms.store(timer_now_ms(), std::memory_order_relaxed);
    show_started.store(true, std::memory_order_relaxed);
}

double show_time_ms()
{
    if (ShowClockSource source = clock_source.load(std::memory_order_relaxed))
        return source();
    if (!show_started.load(std::memory_order_relaxed))
        return 0.0;
    return timer_now_ms() - show_origin_ms.load(std::memory_order_relaxed);
}

void show_clock_set_source(ShowClockSource source)
{
    clock_source.store(source, std::memory_order_relaxed);
}

void show_clock_use_manual(double ms)
{
    manual_ms.store(ms, std::memory_order_relaxed);
    clock_source.store(manual_source, std::memory_order_relaxed);
}

void show_clock_set_manual(double ms) { manual_ms.store(ms, std::memory_order_relaxed); }
