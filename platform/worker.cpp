#include "platform/worker.h"

#include <chrono>
#include <cstdio>
#include <system_error>

namespace {

WorkerSlot worker_slots[worker_slot_count];
std::atomic<int> running_workers{0};
std::mutex slots_mutex;  // start and stop may come from different threads

// Sleeps ms, or less when the worker is stopped meanwhile. Returns whether it
// is still running.
bool worker_sleep(WorkerSlot& w, unsigned ms)
{
    std::unique_lock<std::mutex> lock(w.mutex);
    w.wake.wait_for(lock, std::chrono::milliseconds(ms),
                    [&w] { return !w.running.load(std::memory_order_relaxed); });
    return w.running.load(std::memory_order_relaxed);
}

void worker_thread(int slot)
{
    WorkerSlot& w = worker_slots[slot];
    if (worker_sleep(w, w.initial_delay_ms)) {
        for (;;) {
            w.function(0);
            bool alive = worker_sleep(w, w.period_ms);
            while (alive && w.paused.load(std::memory_order_relaxed))
                alive = worker_sleep(w, w.period_ms);
            if (!alive)
                break;
        }
    }
    std::lock_guard<std::mutex> lock(w.mutex);
    w.finished = true;
    w.wake.notify_all();
}

}  // namespace

int worker_start(WorkerFn function, unsigned period_ms, unsigned initial_delay_ms)
{
    std::lock_guard<std::mutex> guard(slots_mutex);
    // The first free slot, so that stopping one worker never hands a running
    // worker's slot to the next start.
    int slot = 0;
    while (slot < worker_slot_count && worker_slots[slot].thread.joinable())
        ++slot;
    if (slot == worker_slot_count)
        return -1;

    WorkerSlot& w = worker_slots[slot];
    w.paused.store(false, std::memory_order_relaxed);
    w.period_ms = period_ms;
    w.initial_delay_ms = initial_delay_ms;
    w.function = function;
    w.finished = false;
    w.running.store(true, std::memory_order_relaxed);
    try {
        w.thread = std::thread(worker_thread, slot);
    } catch (const std::system_error& e) {
        w.running.store(false, std::memory_order_relaxed);
        std::fprintf(stderr, "worker: cannot start a thread: %s\n", e.what());
        return -1;
    }
    w.thread_id = w.thread.get_id();
    running_workers.fetch_add(1, std::memory_order_relaxed);
    return slot;
}

void worker_stop(int slot)
{
    if (slot < 0 || slot >= worker_slot_count)
        return;
    std::lock_guard<std::mutex> guard(slots_mutex);
    WorkerSlot& w = worker_slots[slot];
    if (!w.thread.joinable() || !w.running.load(std::memory_order_relaxed))
        return;
    {
        std::unique_lock<std::mutex> lock(w.mutex);
        w.running.store(false, std::memory_order_relaxed);
        w.wake.notify_all();
        // A worker whose function is still busy gets a second to finish; the
        // thread is joined either way, so none outlives its stop.
        if (!w.wake.wait_for(lock, std::chrono::milliseconds(1000), [&w] { return w.finished; }))
            std::fprintf(stderr, "worker: slot %d did not stop within 1000 ms, still waiting\n", slot);
    }
    w.thread.join();
    w.thread_id = {};
    running_workers.fetch_sub(1, std::memory_order_relaxed);
}

int worker_count() { return running_workers.load(std::memory_order_relaxed); }
