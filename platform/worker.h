#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Periodic workers: a thread that calls its function, sleeps the period, and
// calls it again until stopped. The time the function takes adds to the
// period, so it is called at most once per period.

using WorkerFn = void (*)(int);

struct WorkerSlot {
    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<bool> paused{false};  // keeps sleeping without calling; nothing sets it yet
    unsigned period_ms = 0;
    unsigned initial_delay_ms = 0;
    std::thread::id thread_id;
    WorkerFn function = nullptr;

    // Wakes the sleeps at stop, and tells the stopping thread that the worker ended.
    std::mutex mutex;
    std::condition_variable wake;
    bool finished = false;
};

constexpr int worker_slot_count = 128;

// Starts function(0) after initial_delay_ms and then every period_ms in a slot
// of its own. Returns the slot, or -1 when all slots are taken or no thread
// could be started.
int worker_start(WorkerFn function, unsigned period_ms, unsigned initial_delay_ms);

// Stops the worker in the slot and waits for its thread to end. Stopping a
// slot that is not running does nothing.
void worker_stop(int slot);

// Workers started and not yet stopped.
int worker_count();
