#include "audio/output.h"

#include "audio/sound_error.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstdlib>

namespace {

struct Output {
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    std::atomic<OutputKind> kind{OutputKind::none};
    bool latency_query = false;
};
Output output;

// OpenAL Soft reads its log level when first used; set it now, before main
// and so before any thread that might read the environment, unless the user
// asked for a level. A machine without a sound card is normal for the show
// (a projector box, a stream server) and the show says so itself.
const bool library_log_quiet = [] { return setenv("ALSOFT_LOGLEVEL", "0", 0) == 0; }();

// ALSA's library writes its own lines while OpenAL Soft probes for a card.
void ignore_alsa_error(const char*, int, const char*, int, const char*, ...) {}

bool open_context(const ALCint* attributes, OutputKind kind, int* error)
{
    output.context = alcCreateContext(output.device, attributes);
    if (output.context == nullptr || alcMakeContextCurrent(output.context) == ALC_FALSE) {
        if (output.context != nullptr)
            alcDestroyContext(output.context);
        output.context = nullptr;
        alcCloseDevice(output.device);
        output.device = nullptr;
        *error = SOUND_ERROR_CONTEXT;
        return false;
    }
    output.latency_query = alIsExtensionPresent("AL_SOFT_source_latency") == AL_TRUE;
    output.kind.store(kind, std::memory_order_relaxed);
    *error = SOUND_OK;
    return true;
}

}  // namespace

bool output_library_ok()
{
    return alGetProcAddress("alGenEffects") != nullptr &&
           alGetProcAddress("alAuxiliaryEffectSloti") != nullptr;
}

bool output_open_device(int rate, int* error)
{
    if (output.device != nullptr) {
        *error = SOUND_ERROR_ALREADY;
        return false;
    }
    snd_lib_error_set_handler(ignore_alsa_error);
    output.device = alcOpenDevice(nullptr);
    snd_lib_error_set_handler(nullptr);
    if (output.device == nullptr) {
        *error = SOUND_ERROR_DEVICE;
        return false;
    }
    const ALCint attributes[] = {ALC_FREQUENCY, rate, 0};
    return open_context(attributes, OutputKind::device, error);
}

bool output_open_loopback(int rate, int* error)
{
    if (output.device != nullptr) {
        *error = SOUND_ERROR_ALREADY;
        return false;
    }
    output.device = alcLoopbackOpenDeviceSOFT(nullptr);
    if (output.device == nullptr) {
        *error = SOUND_ERROR_DEVICE;
        return false;
    }
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,     ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,            rate,
                                 0};
    return open_context(attributes, OutputKind::loopback, error);
}

OutputKind output_kind() { return output.kind.load(std::memory_order_relaxed); }

bool output_has_effects()
{
    return output.device != nullptr && alcIsExtensionPresent(output.device, "ALC_EXT_EFX");
}

bool output_has_latency_query() { return output.latency_query; }

void output_mix(float* stereo, int frames)
{
    alcRenderSamplesSOFT(output.device, stereo, frames);
}

void output_close()
{
    output.kind.store(OutputKind::none, std::memory_order_relaxed);
    if (output.context != nullptr) {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(output.context);
        output.context = nullptr;
    }
    if (output.device != nullptr) {
        alcCloseDevice(output.device);
        output.device = nullptr;
    }
    output.latency_query = false;
}
