#pragma once

// Every cause of an audio failure, one code each. The numbers are shown to the
// user in boxes ("... (bass error code: N)"), so they never change meaning;
// numbers that fell out of use (10, 15) are not given again.
enum SoundError {
    SOUND_OK = 0,
    SOUND_ERROR_NO_EFX = 1,         // the OpenAL library has no EFX (no reverb effects)
    SOUND_ERROR_DEVICE = 2,         // the output device could not be opened
    SOUND_ERROR_CONTEXT = 3,        // the device opened but gave no mixing context
    SOUND_ERROR_NOT_INIT = 4,       // the music part was not started before this call
    SOUND_ERROR_ALREADY = 5,        // an output is open already
    SOUND_ERROR_FILE_OPEN = 6,      // the file is missing or cannot be read
    SOUND_ERROR_FILE_FORMAT = 7,    // the file is not audio that can be decoded
    SOUND_ERROR_FILE_EMPTY = 8,     // the file holds no decodable frame
    SOUND_ERROR_FILE_CHANNELS = 9,  // more than two channels
    SOUND_ERROR_LOADED = 11,        // the music is loaded already: one file at a time
    SOUND_ERROR_NO_EFFECT = 12,     // the device cannot run the reverb
    SOUND_ERROR_OPENAL = 13,        // OpenAL refused a source or buffer
    SOUND_ERROR_THREAD = 14,        // the streaming thread could not be started
    SOUND_ERROR_FFT = 16,           // FFTW gave no plan
};
