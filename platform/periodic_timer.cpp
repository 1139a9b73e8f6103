#include "platform/periodic_timer.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using steady = std::chrono::steady_clock;

struct Timer {
    unsigned id = 0;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;
};

std::mutex timers_mutex;
std::vector<std::unique_ptr<Timer>> timers;
unsigned next_id = 1;

void run_timer(Timer* timer, steady::duration period, TimerCallback callback)
{
    const steady::time_point start = steady::now();
    steady::time_point deadline = start + period;
    std::unique_lock<std::mutex> lock(timer->mutex);
    for (;;) {
        if (timer->wake.wait_until(lock, deadline, [timer] { return timer->stop; }))
            return;
        lock.unlock();
        callback();
        lock.lock();
        deadline = periodic_next_deadline(start, period, std::max(deadline, steady::now()));
    }
}

}  // namespace

steady::time_point periodic_next_deadline(steady::time_point start, steady::duration period,
                                          steady::time_point now)
{
    if (period <= steady::duration::zero() || now < start)
        return start + period;
    return start + ((now - start) / period + 1) * period;
}

unsigned time_set_event(int period_ms, TimerCallback callback)
{
    if (period_ms <= 0 || callback == nullptr)
        return 0;
    auto timer = std::make_unique<Timer>();
    std::lock_guard<std::mutex> lock(timers_mutex);
    timer->id = next_id++;
    if (next_id == 0)
        next_id = 1;
    try {
        timer->thread = std::thread(run_timer, timer.get(),
                                    std::chrono::duration_cast<steady::duration>(
                                        std::chrono::milliseconds(period_ms)),
                                    callback);
    } catch (const std::system_error&) {
        return 0;
    }
    timers.push_back(std::move(timer));
    return timers.back()->id;
}

void time_kill_event(unsigned id)
{
    std::unique_ptr<Timer> timer;
    {
        std::lock_guard<std::mutex> lock(timers_mutex);
        for (auto it = timers.begin(); it != timers.end(); ++it) {
            if ((*it)->id == id) {
                timer = std::move(*it);
                timers.erase(it);
                break;
            }
        }
    }
    if (!timer)
        return;
    {
        std::lock_guard<std::mutex> lock(timer->mutex);
        timer->stop = true;
    }
    timer->wake.notify_one();
    timer->thread.join();
}
