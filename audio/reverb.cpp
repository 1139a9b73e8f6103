#include "audio/reverb.h"

#include "audio/output.h"
#include "audio/sound_error.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alext.h>
#include <AL/efx.h>

#include <algorithm>
#include <cmath>

namespace {

// EFX allows 0.1, but OpenAL Soft 1.19 aborts on an internal assertion with
// ratios under about 0.2 at decay times from 0.5 to 1.1 s, the very range the
// show sweeps. 0.2 is as dark as the reverb can safely be.
constexpr float min_safe_hf_ratio = 0.2f;

struct Reverb {
    ALuint effect = 0;
    ALuint slot = 0;
    float time_ms = reverb_default_time_ms;
};
Reverb reverb;

float db_to_gain(float db) { return std::pow(10.0f, db / 20.0f); }

// OpenAL Soft reads an effect's properties only when it is attached, so the
// effect goes back into its slot after every change.
void apply_time()
{
    // Within the DirectX 8 range first, then within what EFX can do.
    const float decay_s = std::clamp(reverb.time_ms, 0.001f, 3000.0f) / 1000.0f;
    alEffectf(reverb.effect, AL_REVERB_DECAY_TIME,
              std::clamp(decay_s, AL_REVERB_MIN_DECAY_TIME, AL_REVERB_MAX_DECAY_TIME));
    alAuxiliaryEffectSloti(reverb.slot, AL_EFFECTSLOT_EFFECT, static_cast<ALint>(reverb.effect));
}

}  // namespace

bool reverb_create(unsigned source, int* error)
{
    if (!output_has_effects()) {
        *error = SOUND_ERROR_NO_EFFECT;
        return false;
    }
    alGetError();
    alGenEffects(1, &reverb.effect);
    alGenAuxiliaryEffectSlots(1, &reverb.slot);
    alEffecti(reverb.effect, AL_EFFECT_TYPE, AL_EFFECT_REVERB);
    if (alGetError() != AL_NO_ERROR) {
        reverb_destroy();
        *error = SOUND_ERROR_NO_EFFECT;
        return false;
    }
    alEffectf(reverb.effect, AL_REVERB_GAIN, db_to_gain(reverb_mix_db));
    alEffectf(reverb.effect, AL_REVERB_DECAY_HFRATIO,
              std::max(reverb_high_freq_rt_ratio, min_safe_hf_ratio));
    alAuxiliaryEffectSlotf(reverb.slot, AL_EFFECTSLOT_GAIN, db_to_gain(reverb_in_gain_db));
    apply_time();
    alSource3i(source, AL_AUXILIARY_SEND_FILTER, static_cast<ALint>(reverb.slot), 0,
               AL_FILTER_NULL);
    *error = SOUND_OK;
    return true;
}

void reverb_set_time(float ms)
{
    if (reverb.slot == 0)
        return;
    reverb.time_ms = ms;
    apply_time();
}

float reverb_time_ms() { return reverb.time_ms; }

void reverb_destroy()
{
    if (reverb.slot != 0) {
        alAuxiliaryEffectSloti(reverb.slot, AL_EFFECTSLOT_EFFECT, AL_EFFECT_NULL);
        alDeleteAuxiliaryEffectSlots(1, &reverb.slot);
    }
    if (reverb.effect != 0)
        alDeleteEffects(1, &reverb.effect);
    reverb.slot = 0;
    reverb.effect = 0;
    reverb.time_ms = reverb_default_time_ms;
}
