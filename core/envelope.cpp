#include "core/envelope.h"

#include "core/clock.h"

#include <cmath>

Envelope envelopes[envelope_count];

namespace {
int wrap(int slot) { return slot & (envelope_count - 1); }
}

void env_trigger(int slot, int duration_ms, float curve, bool force)
{
    Envelope& e = envelopes[wrap(slot)];
    if (!force && e.active)
        return;
    e.start = show_time_ms();
    e.duration = static_cast<double>(duration_ms);
    e.curve = std::fabs(curve);
    e.active = true;
}

void env_stop(int slot)
{
    Envelope& e = envelopes[wrap(slot)];
    e.active = false;
    e.value = 0.0f;
}

double env_value(int slot)
{
    slot = wrap(slot);
    Envelope& e = envelopes[slot];
    double elapsed = show_time_ms() - e.start;
    // A slot with no length (never triggered, or triggered with 0 ms) has
    // nothing to run: it reads 0 rather than 0/0.
    if (elapsed > e.duration || e.duration <= 0.0) {
        env_stop(slot);
        return 0.0;
    }
    double value = std::pow(1.0 - elapsed / e.duration, static_cast<double>(e.curve));
    e.value = static_cast<float>(value);
    return value;
}

void env_reset_all()
{
    for (Envelope& e : envelopes)
        e = Envelope{};
}
